#pragma once

#include "batch/twophasemove.h"
#include "platform/filesystem.h"
#include "platform/listing.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The record of the last completed rename, beside the work folder. It outlives the program, so
// that the rename can be taken back after a restart, until the next rename replaces it. Hidden,
// so that a batch in the program folder never lists it.
QString lastRenamePathOf(const QString &programFolder);

// What the record allows: to undo the rename, or to redo the rename that an undo took back.
enum class TakeBack { Undo, Redo };

struct RenamedFile
{
    QString name;       // its name now
    QString formerName; // the name that taking the rename back gives it again
    FileStamp stamp;    // the file as the rename left it
};

struct LastRename
{
    TakeBack direction = TakeBack::Undo;
    QString folder;
    QList<RenamedFile> files; // in the order the rename moved them
};

// Records the moves just made in `folder`, each file found under its new name; a move that kept
// its name is left out. With no file renamed, or when the files cannot all be found, the record
// is removed instead: an older rename is never offered in place of this one. `planned`: what
// stood at each old name when the batch was planned, in the moves' order, which stands for the
// files under their new names where a rename keeps a file's number, size and time.
FsResult recordLastRename(FileSystem &fileSystem, const QString &programFolder, TakeBack direction,
                          const QString &folder, const QList<PlannedMove> &moves, const QList<FileStamp> &planned = {});

// Writes the record in place of any older one; a record without files removes it.
FsResult writeLastRename(const QString &programFolder, const LastRename &record);

// The record as written: a version line, the direction, the folder, one line per file, and a
// checksum of everything before it.
QByteArray lastRenameText(const LastRename &record);
// False when the text is no record of this version or was changed after it was written.
bool parseLastRename(const QByteArray &text, LastRename &record);
// False with an empty `problem` when there is no record; with a reason when there is one that
// cannot be read.
bool readLastRename(const QString &programFolder, LastRename &record, QString &problem);

enum class FileChange {
    Missing,  // nothing under its name: moved, deleted or renamed again
    Replaced, // another file under its name
    Modified, // the same file, written to since
};

struct ChangedFile
{
    QString name;
    FileChange change;
};

// The files that are no longer as the rename left them, in record order.
QList<ChangedFile> changedSince(FileSystem &fileSystem, const LastRename &record);

struct TakeBackResult
{
    BatchReport report;
    QList<ChangedFile> changed; // not empty: the batch was refused for these files
    FsResult recorded;          // writing the opposite record, once every file was back
};

// Lets a caller follow the batch: handed the observer that checks and journals it, returns the
// one the batch reports to, which must hand every hook on.
using BatchFollower = std::function<BatchObserver &(BatchObserver &record)>;

// Takes the recorded rename back through the batch engine, with its checks, its journal and its
// all-or-nothing moves. The files are looked at again just before the first move; when one has
// changed, the batch is refused whole. Once every file has its former name, the record is
// replaced by the opposite one.
TakeBackResult takeBackLastRename(FileSystem &fileSystem, const QString &programFolder, const LastRename &record,
                                  const NameFilter &filter, const BatchFollower &follow = {});

// The words of the take-back: the confirmation's detailed text (every file, name now → name
// after) and the refusal that names the changed files.
QString takeBackText(const LastRename &record);
QString changedFilesMessage(const LastRename &record, const QList<ChangedFile> &changed);
