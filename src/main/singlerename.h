#pragma once

#include <QString>

// What Enter in the new-name boxes does with the chosen file, decided before the disk is touched.
enum class SingleRenameVerdict {
    Rename,             // move the chosen file to `newName`
    EmptyName,          // nothing typed into the name box
    NoFileChosen,       // no entry of the file list is chosen
    ForbiddenCharacter, // "/" would move the file into another folder; NUL cuts the name short
    ReservedName,       // "." and ".." name folders, never a file
    HiddenName,         // starts with ".": the file would vanish from the file list
    NameTooLong,        // longer than the folder's filesystem takes
    SameName,           // the file already has that name: nothing to do
};

struct SingleRenamePlan
{
    SingleRenameVerdict verdict = SingleRenameVerdict::Rename;
    QString newName; // the composed name, once a name was typed
};

// The new name: the typed name, followed by "." and the extension when the automatic extension is
// on. An empty extension adds no dot, since a trailing dot does not stay in a file name where the
// program comes from; a dot the user typed stays.
QString composeNewName(const QString &typedName, const QString &extension, bool autoExtension);

// Checks in the order the user should hear about them: the typed name, the chosen file, the
// composed name. `maxNameBytes` is the folder's limit in bytes. The typed name is written in
// UTF-8, so a file whose name is in another encoding gets a UTF-8 name even when the text reads
// the same; an extension left as the box showed it is the chosen file's own, whose bytes that no
// encoding explains stay as they are. `chosenName` and the new name are in the lossless form of
// filename.h.
SingleRenamePlan planSingleRename(const QString &chosenName, const QString &typedName, const QString &extension,
                                  bool autoExtension, int maxNameBytes);
