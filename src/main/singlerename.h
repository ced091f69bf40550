#pragma once

#include "platform/namerules.h"

#include <QString>

// What Enter in the new-name boxes does with the chosen file, decided before the disk is touched.
enum class SingleRenameVerdict {
    Rename,             // move the chosen file to `newName`
    EmptyName,          // nothing typed into the name box
    NoFileChosen,       // no entry of the file list is chosen
    ForbiddenCharacter, // "/" would move the file into another folder; NUL cuts the name short
    ReservedName,       // "." and ".." name folders, never a file
    HiddenName,         // starts with ".": the file would vanish from the file list
    NameTooLong,        // longer than the folder's filesystem takes, in bytes
    SameName,           // the file already has that name: nothing to do
    RefusedHere,        // the folder's filesystem does not take the name (`refusal` says why)
    ChangeOfCase,       // only the case changes, where the filesystem takes both spellings for one
                        // name: a rename onto the same file, done in two steps as a batch does
};

struct SingleRenamePlan
{
    SingleRenameVerdict verdict = SingleRenameVerdict::Rename;
    QString newName; // the composed name, once a name was typed
    NameVerdict refusal = {};
};

// The new name: the typed name, followed by "." and the extension when the automatic extension is
// on. An empty extension adds no dot, since a trailing dot does not stay in a file name where the
// program comes from; a dot the user typed stays.
QString composeNewName(const QString &typedName, const QString &extension, bool autoExtension);

// Checks in the order the user should hear about them: the typed name, the chosen file, the
// composed name. `maxNameBytes` is the folder's limit in bytes, `rules` what its filesystem
// takes (the byte limit does not apply where it counts UTF-16 units). The typed name is written in
// UTF-8, so a file whose name is in another encoding gets a UTF-8 name even when the text reads
// the same; an extension left as the box showed it is the chosen file's own, whose bytes that no
// encoding explains stay as they are. `chosenName` and the new name are in the lossless form of
// filename.h.
SingleRenamePlan planSingleRename(const QString &chosenName, const QString &typedName, const QString &extension,
                                  bool autoExtension, int maxNameBytes, const NameRules &rules = NameRules());
