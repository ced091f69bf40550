#pragma once

#include "batch/twophasemove.h"
#include "platform/filesystem.h"
#include "platform/listing.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The history of completed renames, beside the work folder: one record per rename, numbered in
// the order they were made. It outlives the program, so that the renames can be taken back one by
// one after a restart. Hidden, so that a batch in the program folder never lists it.
QString renameHistoryPathOf(const QString &programFolder);
// The one record of the last rename that 2.00 kept: the oldest step of the history, until the
// history is next written and takes it in.
QString lastRenamePathOf(const QString &programFolder);

// How much history is kept: when a new rename makes more steps, or more bytes of records, the
// oldest go. The newest step always stays, however large.
struct HistoryBound
{
    int steps = 100;
    qint64 bytes = 50 * 1024 * 1024;
};

// What a step allows: to undo its rename, or to redo the rename that an undo took back.
enum class TakeBack { Undo, Redo };

struct RenamedFile
{
    QString name;       // its name now
    QString formerName; // the name that taking the rename back gives it again
    FileStamp stamp;    // the file as the rename left it
};

struct RenameStep
{
    TakeBack direction = TakeBack::Undo;
    QString folder;
    QList<RenamedFile> files; // in the order the rename moved them

    // A step of a folder's own name (the folder list's conversion): its one entry is a folder of
    // `folder`, and taking it back is one move of that folder.
    bool renamesFolder() const;
};

// Records the moves just made in `folder` as the newest step, each file found under its new
// name, or the one move of a folder's own name, the folder found under its new name; a move that
// kept its name is left out, and a rename of no file leaves the history as it was. The steps that
// an undo took back are cut first: they no longer follow from the files. When the step cannot be
// written, or the files cannot all be found, the whole history goes: an older rename is never
// offered before this one. `planned`: what stood at each old name when the batch was planned, in
// the moves' order, which stands for the files under their new names where a rename keeps a
// file's number, size and time.
FsResult recordInHistory(FileSystem &fileSystem, const QString &programFolder, const QString &folder,
                         const QList<PlannedMove> &moves, const QList<FileStamp> &planned = {},
                         const HistoryBound &bound = {});

// A step as written: a version line, the direction, the folder, one line per file, and a
// checksum of everything before it.
QByteArray renameStepText(const RenameStep &step);
// False when the text is no record of this version or was changed after it was written.
bool parseRenameStep(const QByteArray &text, RenameStep &step);

struct HistoryStep
{
    qint64 number = 0;
    QString path;
    RenameStep step;
};

// The step that undo takes (the newest one not taken back) or redo takes (the oldest one taken
// back). A record that is damaged or cut short is passed over: it is never offered and never
// hides the others. False with an empty `problem` when there is no such step; with the record's
// path and the reason when the only candidates cannot be read.
bool nextStep(const QString &programFolder, TakeBack direction, HistoryStep &found, QString &problem);

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

// The files that are no longer as the step left them, in record order. A folder counts as changed
// only when it is gone or another stands in its place: its time and size follow its files.
QList<ChangedFile> changedSince(FileSystem &fileSystem, const RenameStep &step);

struct TakeBackResult
{
    BatchReport report;
    QList<ChangedFile> changed; // not empty: the batch was refused for these files
    FsResult recorded;          // turning the step round, once every file was back
};

// Lets a caller follow the batch: handed the observer that checks and journals it, returns the
// one the batch reports to, which must hand every hook on.
using BatchFollower = std::function<BatchObserver &(BatchObserver &record)>;

// Takes the step back through the batch engine, with its checks, its journal and its
// all-or-nothing moves. The files are looked at again just before the first move; when one has
// changed, the batch is refused whole. A folder's step is one move of the folder, which never
// replaces anything, after the same look. Once every file has its former name, the step is turned
// round in its place: an undo becomes a redo and the other way. A step that cannot be turned
// round is removed, and after an undo so are the steps after it, which could no longer be redone
// in order.
TakeBackResult takeBackStep(FileSystem &fileSystem, const QString &programFolder, const HistoryStep &found,
                            const NameFilter &filter, const BatchFollower &follow = {});

// The words of the take-back: the confirmation's detailed text (every file, name now → name
// after) and the refusal that names the changed files (or the folder).
QString takeBackText(const RenameStep &step);
QString changedFilesMessage(const RenameStep &step, const QList<ChangedFile> &changed);
