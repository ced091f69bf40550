#include "batch/twophasemove.h"

#include "platform/filename.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

QString stagingFolderOf(const QString &folder)
{
    return joinPath(folder, QStringLiteral(".xxxxxxx"));
}

FsResult BatchObserver::planned(const TwoPhaseMove &)
{
    return FsResult::success();
}

void BatchObserver::moving(const BatchMove &) {}
void BatchObserver::moved(const BatchMove &, const FsResult &) {}
void BatchObserver::finished(const BatchReport &) {}

namespace {

// The problem a name has in itself, whatever folder it goes to; false when it has none.
bool nameProblem(const QString &name, BatchProblem *problem)
{
    if (name.isEmpty())
        *problem = BatchProblem::EmptyName;
    else if (name == QLatin1String(".") || name == QLatin1String(".."))
        *problem = BatchProblem::DotName;
    else if (name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        *problem = BatchProblem::BadCharacter;
    else if (name.startsWith(QLatin1Char('.')))
        *problem = BatchProblem::HiddenName;
    else
        return false;
    return true;
}


} // namespace

TwoPhaseMove::TwoPhaseMove(FileSystem &fileSystem, BatchRequest request, BatchObserver *observer)
    : m_fs(fileSystem)
    , m_request(std::move(request))
    , m_observer(observer)
{
    m_report.folder = m_request.folder;
    m_report.workFolder = m_request.workFolder;
}

const BatchReport &TwoPhaseMove::run()
{
    if (plan() && moveOut())
        moveBack();
    return m_report;
}

bool TwoPhaseMove::readFolders(QStringList &folderEntries, QStringList &holdingEntries, bool create)
{
    FsResult read;
    folderEntries = m_fs.entryNames(m_request.folder, &read);
    if (!read.ok())
        return refuse(BatchProblem::FolderUnreadable, read.reason());
    return prepareHoldingFolder(holdingEntries, create);
}

bool TwoPhaseMove::preview()
{
    if (m_stage != Stage::Fresh)
        return false;
    QStringList folderEntries;
    QStringList holdingEntries;
    m_previewOnly = true;
    m_stage = Stage::Finished;
    if (!readFolders(folderEntries, holdingEntries, false))
        return false;
    checkNames(folderEntries, holdingEntries);
    m_report.outcome = BatchOutcome::Refused;
    return m_report.problems.isEmpty();
}

const BatchFileProblem *TwoPhaseMove::problemOf(qsizetype index) const
{
    const auto found = m_problemOfMove.constFind(index);
    return found == m_problemOfMove.cend() ? nullptr : &m_report.problems.at(found.value());
}

bool TwoPhaseMove::plan()
{
    if (m_stage != Stage::Fresh)
        return false;
    QStringList folderEntries;
    QStringList holdingEntries;
    if (!readFolders(folderEntries, holdingEntries, true))
        return false;
    checkNames(folderEntries, holdingEntries);
    if (!m_report.problems.isEmpty()) {
        m_report.outcome = BatchOutcome::Refused;
        finish();
        return false;
    }
    if (m_observer) {
        const FsResult recorded = m_observer->planned(*this);
        if (!recorded.ok())
            return refuse(BatchProblem::PlanRefused, recorded.reason());
    }
    m_stage = Stage::Planned;
    return true;
}

// Decides where the files wait between the phases before any of them moves: the work folder
// when a rename can reach it, else the staging folder inside the renamed folder itself. Without
// `create`, a holding folder that does not exist yet counts as empty.
bool TwoPhaseMove::prepareHoldingFolder(QStringList &holdingEntries, bool create)
{
    const QString &work = m_request.workFolder;
    if (create && !m_fs.exists(work)) {
        const FsResult made = m_fs.makeFolder(work);
        if (!made.ok() && made.error != EEXIST)
            return refuse(BatchProblem::WorkFolderUnavailable, made.reason());
    }
    m_staging = stagingFolderOf(m_request.folder);
    const FileId folderId = m_fs.fileId(m_request.folder);
    // Renaming the work folder's own files through itself would make every name collide with itself.
    const bool isWorkFolder = folderId.valid() && folderId == m_fs.fileId(work);
    m_report.staged = isWorkFolder || !m_fs.sameFilesystem(m_request.folder, work);
    m_report.holdingFolder = m_report.staged ? m_staging : work;

    // A staging folder is made only once the batch's record names it (moveOut), so that a crash
    // never leaves one that no record explains.
    m_makeStaging = m_report.staged && !m_fs.exists(m_staging);
    if (m_makeStaging || (!create && !m_fs.exists(m_report.holdingFolder)))
        return true;
    FsResult read;
    holdingEntries = m_fs.entryNames(m_report.holdingFolder, &read);
    if (!read.ok()) {
        return refuse(m_report.staged ? BatchProblem::StagingUnavailable : BatchProblem::WorkFolderUnavailable,
                      read.reason());
    }
    if (create)
        removeExtraNames(holdingEntries);
    return true;
}

// A batch killed between the link and the unlink of a move left its file under two names, one
// in the folder and one in the holding folder: the holding folder's goes, the file stays.
void TwoPhaseMove::removeExtraNames(QStringList &holdingEntries)
{
    if (holdingEntries.isEmpty())
        return;
    QHash<IdKey, QString> folderNames;
    const QHash<QString, FileId> folderIds = m_fs.entryIds(m_request.folder);
    for (auto entry = folderIds.cbegin(); entry != folderIds.cend(); ++entry)
        folderNames.insert({entry.value().device, entry.value().inode}, entry.key());
    const QHash<QString, FileId> holdingIds = m_fs.entryIds(m_report.holdingFolder);
    for (auto entry = holdingIds.cbegin(); entry != holdingIds.cend(); ++entry) {
        const auto name = folderNames.constFind({entry.value().device, entry.value().inode});
        if (name == folderNames.cend())
            continue;
        const QString extra = joinPath(m_report.holdingFolder, entry.key());
        if (m_fs.removeExtraName(extra, joinPath(m_request.folder, name.value())).ok())
            holdingEntries.removeOne(entry.key());
    }
}

void TwoPhaseMove::checkNames(const QStringList &folderEntries, const QStringList &holdingEntries)
{
    const QStringList &listing = m_request.listing;
    // Where the folder's filesystem takes two spellings for one name, so does every check.
    m_foldCase = m_fs.ignoresCase(m_request.folder);
    auto keysOf = [this](const QStringList &names) {
        QSet<QString> keys;
        keys.reserve(names.size());
        for (const QString &name : names)
            keys.insert(key(name));
        return keys;
    };
    m_present = keysOf(folderEntries);
    m_listed = keysOf(listing);
    const QSet<QString> inHolding = keysOf(holdingEntries);
    // Only a listing that names a file twice needs to be told which entry came first.
    const bool listsTwice = m_listed.size() != listing.size();
    QSet<QString> seen;
    m_byNewName.reserve(listing.size());
    // A staging folder not made yet lies on the folder's own filesystem.
    const int limit = m_makeStaging ? m_fs.maxNameLength(m_request.folder)
                                    : std::min(m_fs.maxNameLength(m_request.folder), m_fs.maxNameLength(m_report.holdingFolder));

    m_moves.reserve(listing.size());
    for (qsizetype i = 0; i < listing.size(); ++i) {
        const QString &oldName = listing.at(i);
        // The rule sees characters; the new name is written in the old name's own encoding, so
        // that the parts it keeps keep their bytes.
        const FileName old = FileName::fromName(oldName);
        const NewName formed = m_request.rule(int(i), old.text());
        const std::optional<FileName> written = FileName::fromText(formed.name, old.encoding());
        const QString newName = written ? written->name() : formed.name;
        auto problem = [&](BatchProblem kind, const QString &detail = QString()) {
            m_problemOfMove.insert(i, m_report.problems.size());
            m_report.problems.append({kind, oldName, newName, detail});
        };
        bool listedBefore = false;
        if (listsTwice) {
            listedBefore = seen.contains(oldName);
            seen.insert(oldName);
        }
        const QString newKey = key(newName);
        const auto earlier = m_byNewName.constFind(newKey);
        BatchProblem kind;
        if (!formed.refusal.isEmpty())
            problem(BatchProblem::RuleRefused, formed.refusal);
        else if (listedBefore)
            problem(BatchProblem::ListedTwice);
        else if (!m_present.contains(key(oldName)))
            problem(BatchProblem::MissingFile);
        else if (!written)
            problem(BatchProblem::UnwritableName);
        else if (nameProblem(newName, &kind))
            problem(kind);
        else if (written->bytes().size() > limit)
            problem(BatchProblem::NameTooLong, QString::number(limit));
        else if (earlier != m_byNewName.cend())
            problem(BatchProblem::SameNewName, listing.at(earlier.value()));
        else if (inHolding.contains(newKey))
            problem(BatchProblem::TakenInHoldingFolder);
        else if (m_present.contains(newKey) && !m_listed.contains(newKey))
            problem(BatchProblem::TakenInFolder);
        if (earlier == m_byNewName.cend())
            m_byNewName.insert(newKey, i);
        m_moves.append({oldName, newName});
    }
    m_where = QList<Where>(m_moves.size(), Where::InFolder);

    // One look at every listed file, from the open folder rather than path by path.
    m_planned = m_fs.fileStamps(m_request.folder, listing);
    for (qsizetype i = 0; i < m_moves.size(); ++i) {
        const PlannedMove &move = m_moves.at(i);
        // The listing shows files and links to them; a folder there now took a file's place.
        if (m_planned.at(i).type == S_IFDIR) {
            m_problemOfMove.insert(i, m_report.problems.size());
            m_report.problems.append({BatchProblem::MissingFile, move.oldName, move.newName, QString()});
        }
    }
}

// Whether the file at the old name is still the one the batch was planned with.
bool TwoPhaseMove::stillPlanned(qsizetype index)
{
    const FileStamp now = m_fs.fileStamp(joinPath(m_request.folder, m_moves.at(index).oldName));
    const FileStamp &planned = m_planned.at(index);
    return now.exists() && now.id == planned.id && now.type == planned.type;
}

// Whether a name is taken in the folder once every planned file is back.
bool TwoPhaseMove::takenAfterBatch(const QString &name) const
{
    const QString nameKey = key(name);
    return (m_present.contains(nameKey) && !m_listed.contains(nameKey)) || m_byNewName.contains(nameKey) || m_swept.contains(nameKey);
}

bool TwoPhaseMove::refuse(BatchProblem problem, const QString &detail)
{
    m_report.problems.append({problem, QString(), QString(), detail});
    m_report.outcome = BatchOutcome::Refused;
    finish();
    return false;
}

FsResult TwoPhaseMove::moveFile(BatchStep step, int index, const QString &from, const QString &to)
{
    if (!m_observer)
        return m_fs.move(from, to);
    const BatchMove move{step, index, from, to};
    m_observer->moving(move);
    const FsResult result = m_fs.move(from, to);
    m_observer->moved(move, result);
    return result;
}

bool TwoPhaseMove::moveOut()
{
    if (m_stage != Stage::Planned)
        return false;
    if (m_makeStaging) {
        const FsResult made = m_fs.makeFolder(m_staging);
        if (!made.ok())
            return refuse(BatchProblem::StagingUnavailable, made.reason());
    }
    m_stage = Stage::Out;
    const QString &folder = m_request.folder;
    const QString &holding = m_report.holdingFolder;
    for (qsizetype i = 0; i < m_moves.size(); ++i) {
        const PlannedMove &move = m_moves.at(i);
        if (!stillPlanned(i)) {
            fail(1, int(i), FsResult::failure(QStringLiteral("一覧を読んだ後に、別のファイルかフォルダに置き換えられました")));
            return false;
        }
        const FsResult result = moveFile(BatchStep::Out, int(i), joinPath(folder, move.oldName), joinPath(holding, move.newName));
        if (!result.ok()) {
            fail(1, int(i), result);
            return false;
        }
        m_where[i] = Where::InHolding;
    }
    return true;
}

bool TwoPhaseMove::moveBack()
{
    if (m_stage != Stage::Out)
        return false;
    const QString &folder = m_request.folder;
    const QString &holding = m_report.holdingFolder;
    for (qsizetype i = 0; i < m_moves.size(); ++i) {
        const PlannedMove &move = m_moves.at(i);
        const FsResult result = moveFile(BatchStep::Back, int(i), joinPath(holding, move.newName), joinPath(folder, move.newName));
        if (!result.ok()) {
            fail(2, int(i), result);
            return false;
        }
        m_where[i] = Where::BackInFolder;
    }
    m_report.outcome = BatchOutcome::Done;
    m_report.renamed = int(m_moves.size());

    sweepLeftovers(holding);
    // A staging folder left by a batch that took the other route holds leftovers too.
    if (!m_report.staged && m_fs.exists(m_staging)) {
        sweepLeftovers(m_staging);
        m_sweptStaging = true;
    }
    finish();
    return true;
}

void TwoPhaseMove::fail(int phase, int index, const FsResult &result)
{
    const PlannedMove &move = m_moves.at(index);
    m_report.problems.append({BatchProblem::MoveRefused, move.oldName, move.newName, result.reason()});
    m_report.failedPhase = phase;
    rollBack();
    finish();
}

// Brings every moved file back to its old name, last moved first. A move that fails leaves that
// file where it is; nothing is ever replaced, so at worst a file keeps its new name somewhere.
void TwoPhaseMove::rollBack()
{
    const QString &folder = m_request.folder;
    const QString &holding = m_report.holdingFolder;
    // Files already back go out again first, so that every old name is free.
    for (qsizetype i = m_moves.size() - 1; i >= 0; --i) {
        if (m_where.at(i) != Where::BackInFolder)
            continue;
        const PlannedMove &move = m_moves.at(i);
        if (moveFile(BatchStep::UndoBack, int(i), joinPath(folder, move.newName), joinPath(holding, move.newName)).ok())
            m_where[i] = Where::InHolding;
    }
    for (qsizetype i = m_moves.size() - 1; i >= 0; --i) {
        const PlannedMove &move = m_moves.at(i);
        QString from;
        if (m_where.at(i) == Where::InHolding)
            from = joinPath(holding, move.newName);
        else if (m_where.at(i) == Where::BackInFolder && move.newName != move.oldName)
            from = joinPath(folder, move.newName);
        else
            continue;
        const FsResult result = moveFile(BatchStep::UndoOut, int(i), from, joinPath(folder, move.oldName));
        if (result.ok())
            m_where[i] = Where::InFolder;
        else
            m_report.stranded.append({move.oldName, from, result.reason()});
    }
    m_report.outcome = m_report.stranded.isEmpty() ? BatchOutcome::RolledBack : BatchOutcome::Stranded;
}

// Files an interrupted batch left behind come home when the file list would show them there and
// their name is free; the others stay and are reported.
void TwoPhaseMove::sweepLeftovers(const QString &source)
{
    const QString &folder = m_request.folder;
    const QStringList shown = listFolderFiles(source, m_request.filter);
    for (const QString &name : shown) {
        if (takenAfterBatch(name)) {
            m_report.leftovers.append({name, source, LeftoverFate::NameTaken, QString()});
            continue;
        }
        const FsResult result = moveFile(BatchStep::Sweep, -1, joinPath(source, name), joinPath(folder, name));
        if (result.ok()) {
            m_swept.insert(key(name));
            m_report.leftovers.append({name, source, LeftoverFate::Swept, QString()});
        } else if (result.error == EEXIST) {
            m_report.leftovers.append({name, source, LeftoverFate::NameTaken, QString()});
        } else {
            m_report.leftovers.append({name, source, LeftoverFate::MoveRefused, result.reason()});
        }
    }
    const QSet<QString> seen(shown.cbegin(), shown.cend());
    for (const QString &name : listFolderFiles(source, NameFilter())) {
        if (!seen.contains(name))
            m_report.leftovers.append({name, source, LeftoverFate::NotShown, QString()});
    }
}

void TwoPhaseMove::finish()
{
    m_stage = Stage::Finished;
    // A preview tells nobody and tidies nothing.
    if (m_previewOnly)
        return;
    // The staging folder lives only while it holds something: removing a folder that still
    // holds files fails, and is meant to, so the result needs no look.
    if (m_report.staged || m_sweptStaging)
        m_fs.removeFolder(m_staging);
    if (m_observer)
        m_observer->finished(m_report);
}
