#include "batch/twophasemove.h"

#include "batch/lookalikes.h"
#include "platform/filename.h"
#include "platform/systemreason.h"

#include <algorithm>
#include <optional>
#include <cerrno>
#include <sys/stat.h>

QString stagingFolderOf(const QString &folder)
{
    return joinPath(folder, QStringLiteral(".xxxxxxx"));
}

FsResult BatchObserver::planned(const BatchMover &)
{
    return FsResult::success();
}

void BatchObserver::moving(const BatchMove &) {}
void BatchObserver::moved(const BatchMove &, const FsResult &) {}
void BatchObserver::finished(const BatchReport &) {}

namespace {

// Well-formed UTF-16 without a byte that is no part of UTF-8: the name's bytes are its UTF-8.
bool plainText(QStringView name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar unit = name.at(i);
        if (!unit.isSurrogate())
            continue;
        if (!unit.isHighSurrogate() || i + 1 == name.size() || !name.at(i + 1).isLowSurrogate())
            return false;
        ++i;
    }
    return true;
}

qsizetype utf8Length(QStringView text)
{
    qsizetype length = 0;
    for (const QChar unit : text)
        length += unit.unicode() < 0x80 ? 1 : unit.unicode() < 0x800 ? 2 : unit.isSurrogate() ? 2 : 3;
    return length;
}

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

BatchPlan::BatchPlan(FileSystem &fileSystem, BatchRequest request)
    : m_request(std::move(request))
{
    // Where the folder's filesystem takes two spellings for one name, so does every check.
    m_foldCase = fileSystem.ignoresCase(m_request.folder);
    formNames();
    check(fileSystem);
}

BatchPlan::BatchPlan(FileSystem &fileSystem, const BatchPlan &shown)
    : m_request(shown.m_request)
    , m_moves(shown.m_moves)
    , m_formed(shown.m_formed)
    , m_refusals(shown.m_refusals)
{
    m_foldCase = fileSystem.ignoresCase(m_request.folder);
    // Names formed under another reading of case, or not at all (the folder could not be read),
    // are formed again.
    if (m_foldCase != shown.m_foldCase || m_moves.size() != m_request.listing.size())
        formNames();
    check(fileSystem);
}

// Reads the folder once, and the holding folder when it holds anything: which listed files are
// there, and which other entries hold names that no new name may take.
void BatchPlan::check(FileSystem &fs)
{
    m_report.folder = m_request.folder;
    m_report.workFolder = m_request.workFolder;
    const FsResult read = listedFromNames(fs);
    if (!read.ok()) {
        // A folder that cannot be read refuses the batch, and its preview names no file.
        m_moves = QList<PlannedMove>();
        m_formed = QList<Formed>();
        m_refusals.clear();
        m_listed = QList<Listed>();
        m_report.problems.append({BatchProblem::FolderUnreadable, QString(), QString(), read.reason()});
        return;
    }
    QSet<QString> inHolding;
    int limit = 0;
    if (readHoldingFolder(fs, inHolding, limit)) {
        // Where the filesystem counts a name's length in UTF-16 units, its rules say what is too long.
        const NameRules rules = fs.nameRules(m_request.folder);
        if (rules.utf16Length)
            limit = INT32_MAX;
        checkNames(inHolding, limit, rules);
    }
    m_listed = QList<Listed>();
    m_unlistedNames = QStringList();
}

// Every new name, and which earlier file takes the same one: what the names alone tell.
void BatchPlan::formNames()
{
    const QStringList &listing = m_request.listing;
    QHash<QString, qsizetype> byNewName;
    byNewName.reserve(listing.size());
    m_moves.clear();
    m_refusals.clear();
    m_moves.reserve(listing.size());
    m_formed = QList<Formed>(listing.size());
    for (qsizetype i = 0; i < listing.size(); ++i) {
        const QString &oldName = listing.at(i);
        FormedName formed = formName(i, oldName);
        Formed &told = m_formed[i];
        // The file that took this new name first, counted from 1; 0 when this one is the first.
        qsizetype &first = byNewName[key(formed.name)];
        told.earlier = qint32(first);
        if (first == 0)
            first = i + 1;
        told.bytes = formed.writable ? qint32(std::min<qsizetype>(formed.bytes, INT32_MAX)) : -1;
        if (!formed.refusal.isEmpty())
            m_refusals.insert(i, formed.refusal);
        m_moves.append({oldName, std::move(formed.name)});
    }
}

// The folder read against the listing: which listed names stand there, as files or folders, and
// which entries the listing does not name.
FsResult BatchPlan::listedFromNames(FileSystem &fs)
{
    const QStringList &listing = m_request.listing;
    m_listed = QList<Listed>(listing.size(), Listed::Missing);
    m_unlisted.clear();
    m_unlistedNames.clear();
    QList<std::pair<qsizetype, qsizetype>> respelt; // a listed file that another spelling lists first
    {
        // Each key with the listed file that names it first, counted from 1.
        QHash<QString, qsizetype> listedAt;
        listedAt.reserve(listing.size());
        for (qsizetype i = 0; i < listing.size(); ++i) {
            qsizetype &first = listedAt[key(listing.at(i))];
            if (first == 0)
                first = i + 1;
            else if (listing.at(first - 1) == listing.at(i))
                m_listed[i] = Listed::Again;
            else
                respelt.append(std::pair(i, first - 1));
        }
        const FsResult read = fs.readFolder(m_request.folder, [&](const QString &name, EntryKind kind) {
            QString entryKey = key(name);
            const auto entry = listedAt.constFind(entryKey);
            if (entry == listedAt.cend()) {
                m_unlisted.insert(std::move(entryKey));
                m_unlistedNames.append(name);
            } else {
                m_listed[entry.value() - 1] = kind == EntryKind::Folder ? Listed::Folder : Listed::Present;
            }
        });
        if (!read.ok())
            return read;
    }
    for (const auto &[index, first] : std::as_const(respelt))
        m_listed[index] = m_listed.at(first);
    return FsResult::success();
}

const BatchFileProblem *BatchPlan::problemOf(qsizetype index) const
{
    const auto found = m_problemOfMove.constFind(index);
    return found == m_problemOfMove.cend() ? nullptr : &m_report.problems.at(found.value());
}

// Decides where the files would wait between the phases: the work folder when a rename can reach
// it, else the staging folder inside the renamed folder itself. A holding folder that does not
// exist yet holds nothing, and its names are as long as the folder's filesystem takes.
bool BatchPlan::readHoldingFolder(FileSystem &fs, QSet<QString> &inHolding, int &limit)
{
    const QString &folder = m_request.folder;
    const QString &work = m_request.workFolder;
    const FileId folderId = fs.fileId(folder);
    // Renaming the work folder's own files through itself would make every name collide with itself.
    const bool isWorkFolder = folderId.valid() && folderId == fs.fileId(work);
    // A work folder not made yet is made in its parent, and lies where that one does.
    const QString workPlace = fs.exists(work) ? work : work.left(std::max<qsizetype>(work.lastIndexOf(QLatin1Char('/')), 1));
    m_report.staged = isWorkFolder || !fs.sameFilesystem(folder, workPlace);
    m_report.holdingFolder = m_report.staged ? stagingFolderOf(folder) : work;
    const QString &holding = m_report.holdingFolder;

    limit = fs.maxNameLength(folder);
    if (!fs.exists(holding))
        return true;
    limit = std::min(limit, fs.maxNameLength(holding));
    FsResult read;
    const QStringList entries = fs.entryNames(holding, &read);
    if (!read.ok()) {
        m_report.problems.append({m_report.staged ? BatchProblem::StagingUnavailable : BatchProblem::WorkFolderUnavailable,
                                  QString(), QString(), read.reason()});
        return false;
    }
    if (entries.isEmpty())
        return true;
    // A batch killed between the link and the unlink of a move left its file under two names,
    // one in the folder and one in the holding folder: the holding folder's goes before the
    // first move, so it takes no name.
    QHash<IdKey, QString> folderNames;
    const QHash<QString, FileId> folderIds = fs.entryIds(folder);
    for (auto entry = folderIds.cbegin(); entry != folderIds.cend(); ++entry)
        folderNames.insert({entry.value().device, entry.value().inode}, entry.key());
    QSet<QString> extra;
    const QHash<QString, FileId> holdingIds = fs.entryIds(holding);
    for (auto entry = holdingIds.cbegin(); entry != holdingIds.cend(); ++entry) {
        const auto name = folderNames.constFind({entry.value().device, entry.value().inode});
        if (name != folderNames.cend()) {
            m_extraNames.append({entry.key(), name.value()});
            extra.insert(entry.key());
        }
    }
    for (const QString &name : entries) {
        if (!extra.contains(name))
            inHolding.insert(key(name));
    }
    return true;
}

// The new name formed from a listed file's name, in the old name's own encoding.
BatchPlan::FormedName BatchPlan::formName(qsizetype index, const QString &oldName) const
{
    // Most names are plain UTF-8: their text is the name itself, and so is a new name formed
    // from them, without a round through bytes.
    if (plainText(oldName)) {
        NewName formed = m_request.rule(int(index), oldName);
        if (plainText(formed.name)) {
            const qsizetype length = utf8Length(formed.name);
            return {std::move(formed.name), std::move(formed.refusal), true, length};
        }
    }
    // The rule sees characters; the new name is written in the old name's own encoding, so
    // that the parts it keeps keep their bytes.
    const FileName old = FileName::fromName(oldName);
    NewName formed = m_request.rule(int(index), old.text());
    const std::optional<FileName> written =
        formed.exact ? FileName::fromName(formed.name) : old.withText(formed.name);
    if (!written)
        return {std::move(formed.name), std::move(formed.refusal), false, 0};
    return {written->name(), std::move(formed.refusal), true, written->bytes().size()};
}

void BatchPlan::checkNames(const QSet<QString> &inHolding, int limit, const NameRules &rules)
{
    const QStringList &listing = m_request.listing;
    const bool strictRules = refusesMoreThanLinux(rules);
    for (qsizetype i = 0; i < m_moves.size(); ++i) {
        const PlannedMove &move = m_moves.at(i);
        const Formed &formed = m_formed.at(i);
        auto problem = [&](BatchProblem kind, const QString &detail = QString()) {
            m_problemOfMove.insert(i, m_report.problems.size());
            m_report.problems.append({kind, move.oldName, move.newName, detail});
        };
        const auto refusal = m_refusals.constFind(i);
        BatchProblem kind;
        if (refusal != m_refusals.cend())
            problem(BatchProblem::RuleRefused, refusal.value());
        else if (m_listed.at(i) == Listed::Again)
            problem(BatchProblem::ListedTwice);
        else if (m_listed.at(i) == Listed::Missing || m_listed.at(i) == Listed::Folder)
            problem(BatchProblem::MissingFile);
        else if (formed.bytes < 0)
            problem(BatchProblem::UnwritableName);
        else if (nameProblem(move.newName, &kind))
            problem(kind);
        else if (formed.bytes > limit)
            problem(BatchProblem::NameTooLong, QString::number(limit));
        else if (NameVerdict verdict; strictRules && (verdict = checkName(rules, move.newName)).refused())
            problem(BatchProblem::RefusedByFilesystem, nameRefusalReason(rules, verdict, move.newName));
        else if (formed.earlier != 0)
            problem(BatchProblem::SameNewName, listing.at(formed.earlier - 1));
        else if (!inHolding.isEmpty() && inHolding.contains(key(move.newName)))
            problem(BatchProblem::TakenInHoldingFolder);
        else if (!m_unlisted.isEmpty() && m_unlisted.contains(key(move.newName)))
            problem(BatchProblem::TakenInFolder);
    }
    // Names that show alike in different encodings collide as well.
    const auto checked = [this](qsizetype index) { return m_problemOfMove.contains(index); };
    for (auto &[index, problem] : lookAlikeProblems(m_moves, m_unlistedNames, m_foldCase, checked)) {
        m_problemOfMove.insert(index, m_report.problems.size());
        m_report.problems.append(std::move(problem));
    }
}

BatchMover::BatchMover(FileSystem &fileSystem, BatchPlan plan, BatchObserver *observer)
    : m_fs(fileSystem)
    , m_plan(std::move(plan))
    , m_observer(observer)
    , m_report(m_plan.report())
{
}

const BatchReport &BatchMover::run(const std::function<void()> &whileOut)
{
    if (prepare() && moveOut()) {
        if (whileOut)
            whileOut();
        moveBack();
    }
    return m_report;
}

// What the plan cannot do, reading only: makes the work folder, removes the second names a
// killed batch left, looks at every file it will move, and lets the observer record the plan.
bool BatchMover::prepare()
{
    if (!m_plan.ok()) {
        finish();
        return false;
    }
    const QString &work = m_report.workFolder;
    if (!m_fs.exists(work)) {
        const FsResult made = m_fs.makeFolder(work);
        if (!made.ok() && made.error != EEXIST)
            return refuse(BatchProblem::WorkFolderUnavailable, made.reason());
    }
    // One that cannot go keeps its name taken: the move onto it is refused, and rolled back.
    for (const auto &[extra, kept] : m_plan.m_extraNames)
        m_fs.removeExtraName(joinPath(m_report.holdingFolder, extra), joinPath(folder(), kept));
    FsResult read;
    m_planned = m_fs.fileStamps(folder(), m_plan.m_request.listing, &read);
    if (!read.ok())
        return refuse(BatchProblem::FolderUnreadable, read.reason());
    // The listing shows files and links to them; a folder there now took a file's place.
    for (qsizetype i = 0; i < m_planned.size(); ++i) {
        if (m_planned.at(i).type == S_IFDIR)
            m_report.problems.append({BatchProblem::MissingFile, moves().at(i).oldName, moves().at(i).newName, QString()});
    }
    if (!m_report.problems.isEmpty()) {
        finish();
        return false;
    }
    if (m_observer) {
        const FsResult recorded = m_observer->planned(*this);
        if (!recorded.ok())
            return refuse(BatchProblem::PlanRefused, recorded.reason());
    }
    return true;
}

// Whether the file at the old name is still the one the batch was planned with; `now` is what
// stands there.
bool BatchMover::stillPlanned(qsizetype index, const FileStamp &now) const
{
    const FileStamp &planned = m_planned.at(index);
    return now.exists() && now.id == planned.id && now.type == planned.type;
}

// What a file that moved out is known to be, so that its move back need not look again: the
// file seen just before its move out, where a rename keeps a file's number.
const FileStamp *BatchMover::knownAfterOut(qsizetype index) const
{
    return m_stableIds ? &m_planned.at(index) : nullptr;
}

// Whether a name is taken in the folder once every planned file is back.
bool BatchMover::takenAfterBatch(const QString &name)
{
    const QString entryKey = m_plan.key(name);
    if (m_newNames.isEmpty()) {
        m_newNames.reserve(moves().size());
        for (const PlannedMove &move : moves())
            m_newNames.insert(m_plan.key(move.newName));
    }
    return m_plan.m_unlisted.contains(entryKey) || m_newNames.contains(entryKey) || m_swept.contains(entryKey);
}

bool BatchMover::refuse(BatchProblem problem, const QString &detail)
{
    m_report.problems.append({problem, QString(), QString(), detail});
    m_report.outcome = BatchOutcome::Refused;
    finish();
    return false;
}

FsResult BatchMover::moveFile(BatchStep step, int index, FolderPair::Side from, const QString &name,
                              FolderPair::Side to, const QString &newName, const FileStamp *seen)
{
    if (!m_observer)
        return m_folders->move(from, name, to, newName, seen);
    const BatchMove move{step, index};
    m_observer->moving(move);
    const FsResult result = m_folders->move(from, name, to, newName, seen);
    m_observer->moved(move, result);
    return result;
}

bool BatchMover::moveOut()
{
    // A staging folder is made only once the batch's record names it, so that a crash never
    // leaves one that no record explains.
    const QString staging = stagingFolderOf(folder());
    if (m_report.staged && !m_fs.exists(staging)) {
        const FsResult made = m_fs.makeFolder(staging);
        if (!made.ok())
            return refuse(BatchProblem::StagingUnavailable, made.reason());
    }
    m_folders = m_fs.openFolderPair(folder(), m_report.holdingFolder);
    m_stableIds = m_fs.filesystemKind(folder()).stableIds;
    m_where = QList<Where>(moves().size(), Where::InFolder);
    for (qsizetype i = 0; i < moves().size(); ++i) {
        const PlannedMove &move = moves().at(i);
        const FileStamp now = m_folders->stamp(FolderPair::First, move.oldName);
        if (!stillPlanned(i, now)) {
            fail(1, int(i), FsResult::failure(QStringLiteral("一覧を読んだ後に、別のファイルかフォルダに置き換えられました")));
            return false;
        }
        const FsResult result = moveFile(BatchStep::Out, int(i), FolderPair::First, move.oldName, FolderPair::Second, move.newName, &now);
        if (!result.ok()) {
            fail(1, int(i), result);
            return false;
        }
        m_where[i] = Where::InHolding;
    }
    return true;
}

void BatchMover::moveBack()
{
    for (qsizetype i = 0; i < moves().size(); ++i) {
        const PlannedMove &move = moves().at(i);
        const FsResult result = moveFile(BatchStep::Back, int(i), FolderPair::Second, move.newName, FolderPair::First, move.newName,
                                         knownAfterOut(i));
        if (!result.ok()) {
            fail(2, int(i), result);
            return;
        }
        m_where[i] = Where::BackInFolder;
    }
    m_report.outcome = BatchOutcome::Done;
    m_report.renamed = int(moves().size());

    sweepLeftovers(m_report.holdingFolder);
    // A staging folder left by a batch that took the other route holds leftovers too; it goes
    // once they are all home (removing a folder that still holds files fails, and is meant to).
    const QString staging = stagingFolderOf(folder());
    if (!m_report.staged && m_fs.exists(staging)) {
        sweepLeftovers(staging);
        m_fs.removeFolder(staging);
    }
    finish();
}

void BatchMover::fail(int phase, int index, const FsResult &result)
{
    const PlannedMove &move = moves().at(index);
    // Looked at before anything moves back: a card or a share gives codes that mislead ("not
    // found" for a name it refuses), and the disk as it stands tells what the program can say.
    QString reason = result.reason();
    if (result.error != 0) {
        const QString from = phase == 1 ? joinPath(folder(), move.oldName) : joinPath(holdingFolder(), move.newName);
        const QString to = phase == 1 ? joinPath(holdingFolder(), move.newName) : joinPath(folder(), move.newName);
        reason = moveFailureReason(result.error, bytesOfName(from), bytesOfName(to));
    }
    m_report.problems.append({BatchProblem::MoveRefused, move.oldName, move.newName, reason});
    m_report.failedPhase = phase;
    rollBack();
    finish();
}

// Brings every moved file back to its old name, last moved first. A move that fails leaves that
// file where it is; nothing is ever replaced, so at worst a file keeps its new name somewhere.
void BatchMover::rollBack()
{
    // Files already back go out again first, so that every old name is free.
    for (qsizetype i = moves().size() - 1; i >= 0; --i) {
        if (m_where.at(i) != Where::BackInFolder)
            continue;
        const PlannedMove &move = moves().at(i);
        if (moveFile(BatchStep::UndoBack, int(i), FolderPair::First, move.newName, FolderPair::Second, move.newName).ok())
            m_where[i] = Where::InHolding;
    }
    for (qsizetype i = moves().size() - 1; i >= 0; --i) {
        const PlannedMove &move = moves().at(i);
        FolderPair::Side from;
        if (m_where.at(i) == Where::InHolding)
            from = FolderPair::Second;
        else if (m_where.at(i) == Where::BackInFolder && move.newName != move.oldName)
            from = FolderPair::First;
        else
            continue;
        const FsResult result = moveFile(BatchStep::UndoOut, int(i), from, move.newName, FolderPair::First, move.oldName);
        if (result.ok())
            m_where[i] = Where::InFolder;
        else
            m_report.stranded.append({move.oldName, joinPath(from == FolderPair::First ? folder() : m_report.holdingFolder, move.newName),
                                      result.reason()});
    }
    m_report.outcome = m_report.stranded.isEmpty() ? BatchOutcome::RolledBack : BatchOutcome::Stranded;
}

// Files an interrupted batch left behind come home when the file list would show them there and
// their name is free; the others stay and are reported.
void BatchMover::sweepLeftovers(const QString &source)
{
    // One read: the filter picks what the file list would show from everything there is. The
    // files it hides are told after the others.
    QList<Leftover> notShown;
    std::unique_ptr<FolderPair> other;
    if (source != m_report.holdingFolder)
        other = m_fs.openFolderPair(folder(), source);
    FolderPair &folders = other ? *other : *m_folders;
    for (const QString &name : listFolderFiles(source, NameFilter())) {
        if (!m_plan.m_request.filter.matches(displayName(name))) {
            notShown.append({name, source, LeftoverFate::NotShown, QString()});
            continue;
        }
        if (takenAfterBatch(name)) {
            m_report.leftovers.append({name, source, LeftoverFate::NameTaken, QString()});
            continue;
        }
        const FsResult result = sweepFile(folders, name);
        if (result.ok()) {
            m_swept.insert(m_plan.key(name));
            m_report.leftovers.append({name, source, LeftoverFate::Swept, QString()});
        } else if (result.error == EEXIST) {
            m_report.leftovers.append({name, source, LeftoverFate::NameTaken, QString()});
        } else {
            m_report.leftovers.append({name, source, LeftoverFate::MoveRefused, result.reason()});
        }
    }
    m_report.leftovers.append(notShown);
}

// Leftovers lie in the holding folder or in a staging folder left by another route.
FsResult BatchMover::sweepFile(FolderPair &folders, const QString &name)
{
    const BatchMove move{BatchStep::Sweep, -1};
    if (m_observer)
        m_observer->moving(move);
    const FsResult result = folders.move(FolderPair::Second, name, FolderPair::First, name);
    if (m_observer)
        m_observer->moved(move, result);
    return result;
}

void BatchMover::finish()
{
    m_folders.reset();
    // The staging folder lives only while it holds something: removing a folder that still
    // holds files fails, and is meant to, so the result needs no look.
    if (m_report.staged)
        m_fs.removeFolder(stagingFolderOf(folder()));
    if (m_observer)
        m_observer->finished(m_report);
}
