#pragma once

#include "batch/namerule.h"
#include "platform/filesystem.h"
#include "platform/listing.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

// The hidden folder, inside the renamed folder, that holds the files of a batch whose folder lies
// on another filesystem than the work folder: a rename never crosses filesystems.
QString stagingFolderOf(const QString &folder);

// What one batch is asked to do.
struct BatchRequest
{
    QString folder;      // the folder whose files are renamed
    QStringList listing; // the files to rename, in the order they move, as lossless names
    QString workFolder;  // the program's work folder
    NameFilter filter;   // the file list's filter: leftovers it hides stay where they are
    NameRule rule;
};

enum class BatchOutcome {
    Done,       // every listed file has its new name
    Refused,    // found wrong before anything moved; nothing moved
    RolledBack, // a move was refused; every file has its old name again
    Stranded,   // a move was refused and some files could not be brought back
};

enum class BatchProblem {
    RuleRefused,         // the command's rule gives this file no name (detail: why)
    ListedTwice,
    MissingFile,         // the listed file is not in the folder any more
    EmptyName,
    DotName,             // "." or ".."
    UnwritableName,      // the old name's encoding (CP932) has no bytes for a character of the new one
    BadCharacter,        // "/" or NUL
    HiddenName,          // starts with "." and would vanish from the file list
    NameTooLong,         // detail: the limit in bytes
    RefusedByFilesystem, // the folder's filesystem does not take the name (detail: the character or rule)
    SameNewName,         // detail: the earlier file that gets the same name
    TakenInHoldingFolder,
    TakenInFolder,       // by a file the listing does not show
    FolderUnreadable,    // detail: the system's reason
    WorkFolderUnavailable,
    StagingUnavailable,
    PlanRefused,         // an observer could not record the plan
    MoveRefused,         // the file system refused a move (detail: the system's reason)
};

struct BatchFileProblem
{
    BatchProblem problem;
    QString oldName; // empty for a problem of a whole folder
    QString newName;
    QString detail;
};

struct PlannedMove
{
    QString oldName;
    QString newName;
};

enum class LeftoverFate { Swept, NotShown, NameTaken, MoveRefused };

// A file that lay in the holding folder before the batch.
struct Leftover
{
    QString name;
    QString from; // the folder it lay in
    LeftoverFate fate;
    QString detail;
};

// A file that could not be brought back to its old name; it still exists at `path`.
struct StrandedFile
{
    QString oldName;
    QString path;
    QString reason;
};

struct BatchReport
{
    BatchOutcome outcome = BatchOutcome::Refused;
    QString folder;
    QString workFolder;
    QString holdingFolder; // the work folder, or the staging folder
    bool staged = false;
    int renamed = 0;
    // Why the batch was refused, or the one move that the file system refused.
    QList<BatchFileProblem> problems;
    int failedPhase = 0; // 1 or 2 when a move was refused
    QList<Leftover> leftovers;
    QList<StrandedFile> stranded;
};

enum class BatchStep { Out, Back, UndoBack, UndoOut, Sweep };

using IdKey = std::pair<quint64, quint64>;

struct BatchMove
{
    BatchStep step;
    int index; // into the plan; -1 for a leftover
};

class TwoPhaseMove;

// Watches a batch as it runs, for a record that outlives a crash. Every hook runs on the caller's
// thread, between two moves.
class BatchObserver
{
public:
    virtual ~BatchObserver() = default;
    // Everything is checked and nothing has moved yet; a failure refuses the batch.
    virtual FsResult planned(const TwoPhaseMove &batch);
    virtual void moving(const BatchMove &move);
    virtual void moved(const BatchMove &move, const FsResult &result);
    virtual void finished(const BatchReport &report);
};

// Renames every listed file of a folder in two phases: all files out into a holding folder under
// their new names, then all back, so that a new name may be another listed file's old name.
// Checks everything before the first move, and undoes every move when the file system refuses
// one. Callable in steps (plan, moveOut, moveBack) so that a window can follow the phases, or
// all at once through run().
class TwoPhaseMove
{
public:
    TwoPhaseMove(FileSystem &fileSystem, BatchRequest request, BatchObserver *observer = nullptr);

    // Chooses the holding folder, forms every new name and checks them. False: refused.
    bool plan();
    // Forms and checks every new name as plan() does, but only reads the disk: no folder is
    // made and no observer is told. The batch cannot run afterwards. False: it would be refused.
    bool preview();
    // Takes the new names that a preview of the same folder, listing and rule formed, so that
    // plan() need not form them again; the preview is spent. Names of another listing are left.
    void takeNamesFrom(TwoPhaseMove &previewed);
    // Phase 1. False: a move was refused and everything was undone as far as it could be.
    bool moveOut();
    // Phase 2, then the leftovers of earlier batches. False: as for moveOut.
    bool moveBack();
    const BatchReport &run();

    const BatchReport &report() const { return m_report; }
    const QString &folder() const { return m_request.folder; }
    // Known after plan().
    const QString &holdingFolder() const { return m_report.holdingFolder; }
    const QList<PlannedMove> &moves() const { return m_moves; }
    // The problem found with the planned move at `index`, if any.
    const BatchFileProblem *problemOf(qsizetype index) const;
    // What stood at each old name when the batch was planned, in plan order.
    const QList<FileStamp> &plannedFiles() const { return m_planned; }

private:
    enum class Stage { Fresh, Planned, Out, Finished };
    enum class Where { InFolder, InHolding, BackInFolder };

    struct FormedName
    {
        QString name;
        QString refusal;  // the rule's, when it gives no name
        bool writable;    // the old name's encoding has bytes for every character
        qsizetype bytes;  // the length of those bytes
    };
    FormedName formName(qsizetype index, const QString &oldName) const;
    bool readFolders(QStringList &holdingEntries, bool create);
    void formNames();
    FsResult listedFromNames();
    bool prepareHoldingFolder(QStringList &holdingEntries, bool create);
    void removeExtraNames(QStringList &holdingEntries);
    void checkNames(const QStringList &holdingEntries);
    bool folderAt(qsizetype index) const;
    bool takenAfterBatch(const QString &name);
    QString key(const QString &name) const { return m_foldCase ? name.toCaseFolded() : name; }
    bool refuse(BatchProblem problem, const QString &detail);
    FsResult moveFile(BatchStep step, int index, FolderPair::Side from, const QString &name, FolderPair::Side to,
                      const QString &newName, const FileStamp *seen = nullptr);
    const FileStamp *knownAfterOut(qsizetype index) const;
    bool stillPlanned(qsizetype index, const FileStamp &now) const;
    FsResult sweepFile(FolderPair &folders, const QString &name);
    void fail(int phase, int index, const FsResult &result);
    void rollBack();
    void sweepLeftovers(const QString &source);
    void finish();

    FileSystem &m_fs;
    BatchRequest m_request;
    BatchObserver *m_observer;
    Stage m_stage = Stage::Fresh;
    BatchReport m_report;
    QList<PlannedMove> m_moves;
    QList<Where> m_where;
    // What stood at each old name when the batch was planned: only that file moves.
    QList<FileStamp> m_planned;
    // What the folder held before the batch, and what leaves and comes back with it.
    // The keys of the folder's entries that the listing does not name.
    QSet<QString> m_unlisted;
    // What the folder read says of each listed file, until the names are checked.
    enum class Listed : char { Present, Again, Missing, Folder };
    QList<Listed> m_listed;
    // What forming each new name told, until the names are checked.
    struct Formed
    {
        qint32 earlier = 0; // the earlier file with the same new name, counted from 1
        qint32 bytes = 0;   // the new name's length in its encoding; -1 when it has no bytes there
    };
    QList<Formed> m_formed;
    QHash<qsizetype, QString> m_refusals; // the rule's reasons, by file
    // The keys of the new names, made once a leftover asks.
    QSet<QString> m_newNames;
    QHash<qsizetype, qsizetype> m_problemOfMove;
    QSet<QString> m_swept;
    QString m_staging;
    // The folder (first) and the holding folder (second) while files move between them.
    std::unique_ptr<FolderPair> m_folders;
    bool m_stableIds = false;
    bool m_sweptStaging = false;
    bool m_previewOnly = false;
    bool m_makeStaging = false;
    bool m_foldCase = false;
    // The names were taken from a preview that read case as m_namesFoldCase says.
    bool m_namesTaken = false;
    bool m_namesFoldCase = false;
};
