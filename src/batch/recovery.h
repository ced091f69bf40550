#pragma once

#include "platform/filesystem.h"

#include <QList>
#include <QString>

enum class RecoveryOutcome {
    NoJournal,     // no batch was interrupted
    Completed,     // the batch had come to its end: its renames stand, the journal is gone
    Restored,      // every file the journal names is back under its old name
    Partial,       // some files could not be brought back; the journal is kept for the next start
    FolderMissing, // the batch's folder is gone: nothing moved, the journal is kept for the next start
    Unreadable,    // the journal is damaged: nothing moved, the journal is kept aside
    Unrecognised,  // files the journal does not describe, or another filesystem, stand where the
                   // batch's files should be: nothing moved, the journal is kept for the next start
};

// A file the recovery could not bring back; it still exists at `path`, or was not found at all
// when `path` is empty.
struct UnrestoredFile
{
    QString oldName;
    QString path;
    QString reason;
};

struct RecoveryReport
{
    RecoveryOutcome outcome = RecoveryOutcome::NoJournal;
    QString journalPath;
    QString folder;
    int restored = 0; // files this recovery moved back under their old names
    QList<UnrestoredFile> unrestored;
    QString keptAs;      // where the journal now lies when it was kept aside
    QString problem;     // why the journal could not be read, or could not be removed
    QString keepProblem; // why the journal could not be kept aside
    bool retried = false; // the journal was one kept by an earlier start
    QString holdingFolder; // where the batch's files waited between its phases
    QList<UnrestoredFile> unrecognised; // the files that stand where the batch's should be
    bool otherFilesystem = false;       // the folder now lies on another kind of filesystem
    bool otherMedium = false; // the folder is not on the medium the batch ran on (a copy of it, another card)
};

// Puts every file that an interrupted batch's journal names back under its old name in its
// folder, finding each in the work folder, the staging folder or the folder itself by its id,
// size and time (by its expected name, size and time where the filesystem renumbers its files).
// Moves never replace; nothing is deleted but a second name of one file. Running it again after
// it was itself interrupted finishes the job.
RecoveryReport recoverInterruptedBatch(FileSystem &fileSystem, const QString &programFolder);
// The same for the latest journal, then for every journal that an earlier start or batch kept
// because files were not home: one report for each journal found.
QList<RecoveryReport> recoverInterruptedBatches(FileSystem &fileSystem, const QString &programFolder);

// The one message that tells the user what the recovery did; empty when there is nothing to say.
QString recoveryMessage(const RecoveryReport &report);
