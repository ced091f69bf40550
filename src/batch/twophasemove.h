#pragma once

#include "batch/namerule.h"
#include "platform/filename.h"
#include "platform/filesystem.h"
#include "platform/listing.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
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
    // For a collision: the name that shows the same as the new name in other bytes (another encoding).
    QString lookAlike{};
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

class BatchMover;

// Watches a batch as it runs, for a record that outlives a crash. Every hook runs on the caller's
// thread, between two moves.
class BatchObserver
{
public:
    virtual ~BatchObserver() = default;
    // Everything is checked and nothing has moved yet; a failure refuses the batch.
    virtual FsResult planned(const BatchMover &batch);
    virtual void moving(const BatchMove &move);
    virtual void moved(const BatchMove &move, const FsResult &result);
    virtual void finished(const BatchReport &report);
};

// The new names of a batch and every check of them against the disk as it is when the plan is
// made: which listed files are there, which names are free, where the files would wait between
// the phases. Reads the folder once; makes nothing on disk and tells no observer. A confirmation
// shows a plan; the batch moves a plan made just before its first move.
class BatchPlan
{
public:
    // Forms every new name of the request and checks them.
    BatchPlan(FileSystem &fileSystem, BatchRequest request);
    // The names `shown` formed (formed again only where the folder now reads case otherwise),
    // with every check made again on the disk as it is now.
    BatchPlan(FileSystem &fileSystem, const BatchPlan &shown);

    bool ok() const { return m_report.problems.isEmpty(); }
    // The plan as a refused batch would report it: the folders, and every problem found.
    const BatchReport &report() const { return m_report; }
    const QString &folder() const { return m_request.folder; }
    const QString &holdingFolder() const { return m_report.holdingFolder; }
    const QList<PlannedMove> &moves() const { return m_moves; }
    // The problem found with the planned move at `index`, if any.
    const BatchFileProblem *problemOf(qsizetype index) const;

private:
    friend class BatchMover;

    struct FormedName
    {
        QString name;
        QString refusal;  // the rule's, when it gives no name
        bool writable;    // the old name's encoding has bytes for every character
        qsizetype bytes;  // the length of those bytes
    };
    FormedName formName(qsizetype index, const QString &oldName) const;
    void check(FileSystem &fs);
    void formNames();
    FsResult listedFromNames(FileSystem &fs);
    bool readHoldingFolder(FileSystem &fs, QSet<QString> &inHolding, int &limit);
    void checkNames(const QSet<QString> &inHolding, int limit, const NameRules &rules);
    QString key(const QString &name) const { return nameKey(name, m_foldCase); }

    BatchRequest m_request;
    BatchReport m_report;
    bool m_foldCase = false;
    QList<PlannedMove> m_moves;
    // What forming each new name told.
    struct Formed
    {
        qint32 earlier = 0; // the earlier file with the same new name, counted from 1
        qint32 bytes = 0;   // the new name's length in its encoding; -1 when it has no bytes there
    };
    QList<Formed> m_formed;
    QHash<qsizetype, QString> m_refusals; // the rule's reasons, by file
    // What the folder read says of each listed file, until the names are checked.
    enum class Listed : char { Present, Again, Missing, Folder };
    QList<Listed> m_listed;
    // The keys of the folder's entries that the listing does not name.
    QSet<QString> m_unlisted;
    QStringList m_unlistedNames; // the same entries, by name, until the names are checked
    // Second names that a batch killed between the link and the unlink of a move left in the
    // holding folder (first), with the folder's name of the same file (second).
    QList<std::pair<QString, QString>> m_extraNames;
    QHash<qsizetype, qsizetype> m_problemOfMove;
};

// Renames every file of a plan in two phases: all files out into the holding folder under their
// new names, then all back, so that a new name may be another listed file's old name. Makes the
// folders the plan names, looks at every file once more and lets the observer record the plan
// before the first move; undoes every move when the file system refuses one.
class BatchMover
{
public:
    BatchMover(FileSystem &fileSystem, BatchPlan plan, BatchObserver *observer = nullptr);

    // `whileOut` runs once every file has left, before the first comes back.
    const BatchReport &run(const std::function<void()> &whileOut = {});

    const BatchReport &report() const { return m_report; }
    const QString &folder() const { return m_plan.folder(); }
    const QString &holdingFolder() const { return m_report.holdingFolder; }
    const QList<PlannedMove> &moves() const { return m_plan.moves(); }
    // What stood at each old name just before the first move, in plan order.
    const QList<FileStamp> &plannedFiles() const { return m_planned; }

private:
    enum class Where { InFolder, InHolding, BackInFolder };

    bool prepare();
    bool moveOut();
    void moveBack();
    bool takenAfterBatch(const QString &name);
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
    const BatchPlan m_plan;
    BatchObserver *m_observer;
    BatchReport m_report;
    QList<Where> m_where;
    // What stood at each old name just before the first move: only that file moves.
    QList<FileStamp> m_planned;
    // The keys of the new names, made once a leftover asks.
    QSet<QString> m_newNames;
    QSet<QString> m_swept;
    // The folder (first) and the holding folder (second) while files move between them.
    std::unique_ptr<FolderPair> m_folders;
    bool m_stableIds = false;
};
