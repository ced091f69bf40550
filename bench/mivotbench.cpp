// Times a space removal over 32,767 files: a plain loop of system calls (the bound no program can
// beat), the batch engine without and with its crash journal, and the whole command through the
// main window; then the preview of that batch, which moves nothing, and its undo.

#include "batch/journal.h"
#include "batch/lastrename.h"
#include "batch/preview.h"
#include "batch/removalrule.h"
#include "batch/twophasemove.h"
#include "main/form1.h"
#include "platform/listing.h"
#include "platform/programfolder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int FileCount = 32767;
constexpr int Rounds = 3;

QString nameOf(int i)
{
    return QStringLiteral("IMG %1 のコピー (2).jpg").arg(i, 5, 10, QLatin1Char('0'));
}

QString spaceless(int i)
{
    return removeAll(nameOf(i), QLatin1Char(' '));
}

bool makeFiles(const QString &folder)
{
    if (!QDir().mkpath(folder))
        return false;
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dir < 0)
        return false;
    bool ok = true;
    for (int i = 0; i < FileCount && ok; ++i) {
        const int fd = ::openat(dir, nameOf(i).toUtf8().constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ok = fd >= 0;
        if (ok)
            ::close(fd);
    }
    ::close(dir);
    return ok;
}

// True when the folder holds exactly the files that `expected` names, one for each number.
bool holdsExactly(const QString &folder, QString (*expected)(int))
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    if (names.size() != FileCount)
        return false;
    names.sort();
    for (int i = 0; i < FileCount; ++i) {
        if (names.at(i) != expected(i))
            return false;
    }
    return true;
}

// True when the folder holds exactly the renamed files.
bool renamedCorrectly(const QString &folder)
{
    return holdsExactly(folder, spaceless);
}

// True when the folder holds exactly the files as they were made.
bool untouched(const QString &folder)
{
    return holdsExactly(folder, nameOf);
}

// The raw bound: read the folder, sort, and two no-replace renames per file, nothing else.
bool rawRename(const QString &folder, const QString &work)
{
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    const int workDir = ::open(QFile::encodeName(work).constData(), O_RDONLY | O_DIRECTORY);
    if (dir < 0 || workDir < 0)
        return false;
    std::vector<std::string> names;
    DIR *stream = ::fdopendir(::dup(dir));
    while (const dirent *entry = ::readdir(stream)) {
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    }
    ::closedir(stream);
    std::sort(names.begin(), names.end());
    std::vector<std::string> newNames;
    newNames.reserve(names.size());
    for (const std::string &name : names) {
        std::string newName;
        std::copy_if(name.begin(), name.end(), std::back_inserter(newName), [](char c) { return c != ' '; });
        newNames.push_back(std::move(newName));
    }
    bool ok = true;
    for (size_t i = 0; i < names.size() && ok; ++i)
        ok = ::renameat2(dir, names[i].c_str(), workDir, newNames[i].c_str(), RENAME_NOREPLACE) == 0;
    for (size_t i = 0; i < names.size() && ok; ++i)
        ok = ::renameat2(workDir, newNames[i].c_str(), dir, newNames[i].c_str(), RENAME_NOREPLACE) == 0;
    ::close(dir);
    ::close(workDir);
    return ok;
}

// Answers OK to every box and counts them: the confirmation should be the only one.
class AnswerOk : public MessageBoxes
{
public:
    int show(const QString &prompt, int, const QString &, const QString &) override
    {
        ++shown;
        last = prompt;
        return MsgAnswer::Ok;
    }
    int shown = 0;
    QString last;
};

double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "mivotbench: %s\n", what);
    std::exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir root;
    if (!root.isValid())
        fail("cannot make a temporary folder");
    const QString programFolder = root.filePath(QStringLiteral("prog"));
    const QString rawWork = root.filePath(QStringLiteral("rawwork"));
    if (!QDir().mkpath(programFolder) || !QDir().mkpath(rawWork))
        fail("cannot make the work folders");
    LinuxFileSystem fileSystem;
    AnswerOk answers;
    Form1 form(PlatformContext{fileSystem, answers, programFolder});
    form.Form_Load();

    double raw = 1e9;
    double bare = 1e9;
    double engine = 1e9;
    double window = 1e9;
    double preview = 1e9;
    double undo = 1e9;
    double undoAsking = 1e9;
    double record = 1e9;
    qsizetype previewLength = 0;
    // The engine alone, or as the window runs it: journal written before the first move and
    // removed at the end.
    auto runEngine = [&](const QString &folder, bool journaled) {
        BatchJournal journal(fileSystem, programFolder);
        QElapsedTimer timer;
        timer.start();
        TwoPhaseMove batch(fileSystem,
                           BatchRequest{folder, listFolderFiles(folder, NameFilter()), workFolderOf(programFolder),
                                        NameFilter(), [](int, const QString &oldName) {
                                            return NewName::of(removeAll(oldName, QLatin1Char(' ')));
                                        }},
                           journaled ? &journal : nullptr);
        if (batch.run().outcome != BatchOutcome::Done)
            fail("the engine did not finish the batch");
        const double elapsed = seconds(timer);
        if (fileSystem.exists(journalPathOf(programFolder)))
            fail("the journal outlived its batch");
        if (journaled) {
            // What the window adds once the batch is done: the record that Ctrl+Z reads.
            timer.start();
            if (!recordLastRename(fileSystem, programFolder, TakeBack::Undo, folder, batch.moves()).ok())
                fail("cannot record the batch for its undo");
            record = std::min(record, seconds(timer));
        }
        return elapsed;
    };
    // Ctrl+Z on the batch just recorded, as the window runs it: read the record, look at every
    // file, then the batch back through the engine with its journal, and the opposite record.
    // The first part runs before the question, as the batch's preview does; the second, after OK,
    // is what compares with the batch itself.
    auto runUndo = [&](const QString &folder) {
        QElapsedTimer timer;
        timer.start();
        LastRename last;
        QString problem;
        if (!readLastRename(programFolder, last, problem) || last.folder != folder || !changedSince(fileSystem, last).isEmpty())
            fail("the batch's record is not there to undo");
        undoAsking = std::min(undoAsking, seconds(timer));
        timer.start();
        const TakeBackResult result = takeBackLastRename(fileSystem, programFolder, last, NameFilter());
        if (result.report.outcome != BatchOutcome::Done || !result.recorded.ok())
            fail("the undo did not finish");
        return seconds(timer);
    };
    auto runPreview = [&](const QString &folder) {
        QElapsedTimer timer;
        timer.start();
        TwoPhaseMove batch(fileSystem,
                           BatchRequest{folder, listFolderFiles(folder, NameFilter()), workFolderOf(programFolder),
                                        NameFilter(), [](int, const QString &oldName) {
                                            return NewName::of(removeAll(oldName, QLatin1Char(' ')));
                                        }});
        if (!batch.preview())
            fail("the preview refuses the batch");
        const QString text = previewText(batch);
        const double elapsed = seconds(timer);
        previewLength = text.size();
        if (text.count(QLatin1Char('\n')) != FileCount)
            fail("the preview does not show every file");
        return elapsed;
    };
    for (int round = 0; round < Rounds; ++round) {
        const QString rawFolder = root.filePath(QStringLiteral("raw%1").arg(round));
        const QString bareFolder = root.filePath(QStringLiteral("bare%1").arg(round));
        const QString engineFolder = root.filePath(QStringLiteral("engine%1").arg(round));
        const QString windowFolder = root.filePath(QStringLiteral("window%1").arg(round));
        const QString previewFolder = root.filePath(QStringLiteral("preview%1").arg(round));
        if (!makeFiles(rawFolder) || !makeFiles(bareFolder) || !makeFiles(engineFolder) || !makeFiles(windowFolder)
            || !makeFiles(previewFolder))
            fail("cannot create the files");

        QElapsedTimer timer;
        const std::function<void()> contenders[] = {
            [&] {
                timer.start();
                if (!rawRename(rawFolder, rawWork))
                    fail(std::strerror(errno));
                raw = std::min(raw, seconds(timer));
            },
            [&] { bare = std::min(bare, runEngine(bareFolder, false)); },
            [&] {
                engine = std::min(engine, runEngine(engineFolder, true));
                undo = std::min(undo, runUndo(engineFolder));
            },
            [&] {
                if (!form.setDir1Path(windowFolder))
                    fail("the window cannot open the folder");
                answers.shown = 0;
                timer.start();
                form.Command4->click();
                window = std::min(window, seconds(timer));
                if (answers.shown != 1)
                    fail(qPrintable(QStringLiteral("the window said more than asked: ") + answers.last));
            },
            [&] { preview = std::min(preview, runPreview(previewFolder)); },
        };
        // Each round starts with another contender, so that none always meets the disk first.
        constexpr int Contenders = int(std::size(contenders));
        for (int turn = 0; turn < Contenders; ++turn)
            contenders[(round + turn) % Contenders]();

        if (!renamedCorrectly(rawFolder) || !renamedCorrectly(bareFolder) || !renamedCorrectly(windowFolder))
            fail("a folder did not end with the renamed files");
        if (!untouched(engineFolder) || !untouched(previewFolder))
            fail("the undo or the preview did not leave the files as they were made");
        if (form.File1->listCount() != FileCount)
            fail("the file list does not show the renamed files");
        for (const QString &folder : {rawFolder, bareFolder, engineFolder, windowFolder, previewFolder})
            QDir(folder).removeRecursively();
    }

    std::printf("files: %d, best of %d rounds\n", FileCount, Rounds);
    std::printf("raw bound (readdir, sort, 2 renameat2 per file): %.3f s\n", raw);
    std::printf("engine without journal (listing, checks, phases): %.3f s\n", bare);
    std::printf("engine with journal (as the window runs it):      %.3f s\n", engine);
    std::printf("window command スペース除去 (lists, journal):     %.3f s\n", window);
    std::printf("journal cost: %.3f s (engine with/without journal: %.2f)\n", engine - bare, engine / bare);
    std::printf("engine without journal/raw ratio: %.2f\n", bare / raw);
    std::printf("window/raw ratio: %.2f (target <= 3)\n", window / raw);
    std::printf("engine/raw ratio: %.2f (target <= 1.5, journal on)\n", engine / raw);
    std::printf("record for Ctrl+Z after the batch:                %.3f s\n", record);
    std::printf("preview (checks, %lld characters of text):      %.3f s\n", static_cast<long long>(previewLength), preview);
    std::printf("undo before its question (record read, checks):   %.3f s\n", undoAsking);
    std::printf("undo after OK (checks, engine with journal, record): %.3f s\n", undo);
    std::printf("preview/raw ratio: %.2f (target <= 0.3)\n", preview / raw);
    std::printf("undo/raw ratio: %.2f (target <= 1.5, after OK; with the question's checks: %.2f)\n", undo / raw,
                (undo + undoAsking) / raw);
    return 0;
}
