// Times the batch rename in paired rounds: in each round every contender runs once on a folder of
// its own, filled the same way just before, in an order that turns from round to round. The raw
// bound is a plain loop of system calls that no program can beat; every other figure is also given
// as the median of its per-round ratios to the same round's raw bound. Then the start-up and the
// opening of a large folder, and the memory a batch takes per file.

#include "batch/journal.h"
#include "batch/renamehistory.h"
#include "batch/preview.h"
#include "batch/removalrule.h"
#include "batch/serialname.h"
#include "batch/twophasemove.h"
#include "dialogs/form2.h"
#include "main/form1.h"
#include "main/startup.h"
#include "platform/listing.h"
#include "platform/programfolder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <malloc.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int LargeFiles = 300000;
constexpr int StartupFiles = 100000;
constexpr int QuotedFiles = 32767; // the size whose engine/raw ratio ends the output

// The temporary folder, with the pool of files, which std::exit would leave behind.
QString benchRoot;

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "mivotbench: %s\n", what.c_str());
    if (!benchRoot.isEmpty())
        QDir(benchRoot).removeRecursively();
    std::exit(1);
}

[[noreturn]] void failSystem(const std::string &what, const std::string &name)
{
    fail(what + " " + name + ": " + std::strerror(errno));
}

std::string grouped(int number)
{
    return QLocale(QLocale::English).toString(number).toStdString();
}

// Six digits in every size, so that the bytes sort as the file list does and both number alike.
std::string madeName(int i)
{
    return QString::asprintf("IMG %06d のコピー (2).jpg", i).toStdString();
}

std::string spacelessName(int i)
{
    std::string name = madeName(i);
    std::erase(name, ' ');
    return name;
}

std::string numberedName(int i)
{
    return "Re" + std::to_string(i + 1) + ".jpg";
}

using NameOf = std::string (*)(int);

enum class Rule { Spaces, Serial };

// The rules as the window's commands use them: スペース除去, and 連番 with head "Re" from 1.
NameRule engineRule(Rule rule)
{
    if (rule == Rule::Serial)
        return serialNameRule(QStringLiteral("Re"), 1);
    return [](int, const QString &oldName) { return NewName::of(removeAll(oldName, QLatin1Char(' '))); };
}

// The raw bound's new name of the i-th name, on bytes: what the rules give these names, unchecked.
std::string rawNewName(Rule rule, size_t i, std::string name)
{
    if (rule == Rule::Spaces) {
        std::erase(name, ' ');
        return name;
    }
    // The last character never starts an extension.
    const size_t dot = name.size() < 2 ? std::string::npos : name.rfind('.', name.size() - 2);
    return "Re" + std::to_string(i + 1) + (dot == std::string::npos ? std::string() : name.substr(dot));
}

struct DirFd
{
    explicit DirFd(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY))
    {
        if (fd < 0)
            failSystem("cannot open", path.toStdString());
    }
    DirFd(const DirFd &) = delete;
    ~DirFd() { ::close(fd); }
    const int fd;
};

std::vector<std::string> entriesOf(const DirFd &dir)
{
    std::vector<std::string> names;
    DIR *stream = ::fdopendir(::dup(dir.fd));
    while (const dirent *entry = ::readdir(stream)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(stream);
    return names;
}

// Moves file i from `from`, named fromName(i), to `to` as toName(i), never over another file.
template<typename FromName, typename ToName>
void moveAll(size_t files, const DirFd &from, FromName fromName, const DirFd &to, ToName toName)
{
    for (size_t i = 0; i < files; ++i) {
        if (::renameat2(from.fd, fromName(i).c_str(), to.fd, toName(i).c_str(), RENAME_NOREPLACE) != 0)
            failSystem("cannot move", fromName(i));
    }
}

// The raw bound: read the folder, sort, form the new names, two no-replace renames per file
// through the work folder, nothing else.
void rawBatch(const QString &folder, const QString &work, Rule rule)
{
    const DirFd dir(folder);
    const DirFd workDir(work);
    std::vector<std::string> names = entriesOf(dir);
    std::sort(names.begin(), names.end());
    std::vector<std::string> newNames;
    newNames.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        newNames.push_back(rawNewName(rule, i, names[i]));
    const auto oldName = [&](size_t i) -> const std::string & { return names[i]; };
    const auto newName = [&](size_t i) -> const std::string & { return newNames[i]; };
    moveAll(names.size(), dir, oldName, workDir, newName);
    moveAll(names.size(), workDir, newName, dir, newName);
}

// Answers OK to every box and counts them: the confirmation should be the only one.
class AnswerOk : public MessageBoxes
{
public:
    int show(const QString &, int, const QString &, const QString &) override
    {
        ++shown;
        return MsgAnswer::Ok;
    }
    int shown = 0;
};

template<typename Run>
double timed(Run &&run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return double(timer.nsecsElapsed()) / 1e9;
}

// One figure, one time per round; `target` bounds its median ratio to the raw bound, or its median
// time for a figure that has no raw bound; 0 means none.
struct Figure
{
    std::string label;
    double target = 0;
    std::vector<double> times;
};

// The median of the values, and "median [min-max]" of them times `scale`.
std::pair<double, std::string> summary(std::vector<double> values, double scale, int decimals)
{
    std::sort(values.begin(), values.end());
    const double median = (values[(values.size() - 1) / 2] + values[values.size() / 2]) / 2;
    return {median, QString::asprintf("%.*f [%.*f-%.*f]", decimals, median * scale, decimals, values.front() * scale,
                                      decimals, values.back() * scale)
                        .toStdString()};
}

std::string verdict(double value, double target, const char *format)
{
    return target > 0 ? QString::asprintf(format, target).toStdString() + (value <= target ? " ok" : " OVER") : "";
}

void printRow(const std::string &label, const std::string &value, const std::string &ratio = {},
              const std::string &target = {})
{
    std::string row = QString::asprintf("  %-26s %-24s %-19s %s", label.c_str(), value.c_str(), ratio.c_str(),
                                        target.c_str())
                          .toStdString();
    std::printf("%s\n", row.erase(row.find_last_not_of(' ') + 1).c_str());
}

// With `paired`, the first figure is the raw bound and the others' targets bound their ratios to
// it; else the targets bound the times. Returns the median ratios.
std::vector<double> printTable(const std::string &title, const std::vector<Figure> &figures, bool paired = true)
{
    std::printf("\n%s\n", title.c_str());
    printRow("", "ms, median [min-max]", paired ? "x raw, median [min-max]" : "");
    std::vector<double> medians;
    for (const Figure &figure : figures) {
        std::vector<double> ratios;
        for (size_t round = 0; round < figure.times.size(); ++round)
            ratios.push_back(figure.times[round] / figures.front().times[round]);
        const auto [time, timeText] = summary(figure.times, 1e3, 1);
        const auto [ratio, ratioText] = summary(ratios, 1, 2);
        medians.push_back(ratio);
        if (!paired)
            printRow(figure.label, timeText, "", verdict(time * 1e3, figure.target * 1e3, "target < %.0f ms"));
        else
            printRow(figure.label, timeText, &figure == &figures.front() ? "" : ratioText,
                     verdict(ratio, figure.target, "target <= %.2f"));
    }
    std::fflush(stdout);
    return medians;
}

long statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        fail("cannot read /proc/self/status");
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("\n" + QByteArray(key) + ":");
    if (at < 0)
        fail(std::string("no ") + key + " in /proc/self/status");
    return std::atol(text.constData() + at + std::strlen(key) + 2);
}

// The peak memory of `run` above what the program holds before it, per file.
double bytesPerFile(int files, const std::function<void()> &run)
{
    ::malloc_trim(0);
    const long idle = statusKb("VmRSS");
    const int clear = ::open("/proc/self/clear_refs", O_WRONLY);
    if (clear < 0 || ::write(clear, "5", 1) != 1)
        failSystem("cannot reset the peak through", "/proc/self/clear_refs");
    ::close(clear);
    run();
    return double(statusKb("VmHWM") - idle) * 1024 / files;
}

class Bench
{
public:
    // Makes every file once, in the pool, enough for every size: making files is slow on ext4, and
    // each run borrows them instead.
    Bench(const QString &root, int poolFiles)
        : m_pool(root + QStringLiteral("/pool"))
        , m_folder(root + QStringLiteral("/batch"))
        , m_programFolder(root + QStringLiteral("/prog"))
        , m_work(workFolderOf(m_programFolder))
    {
        if (!QDir().mkpath(m_programFolder) || !QDir().mkdir(m_pool))
            fail("cannot make the program folder and the pool");
        m_form = std::make_unique<Form1>(PlatformContext{m_fs, m_answers, m_programFolder});
        m_form->Form_Load();
        m_form->show();
        QCoreApplication::processEvents();
        const double making = timed([&] {
            const DirFd pool(m_pool);
            for (int i = 0; i < poolFiles; ++i) {
                const int fd = ::openat(pool.fd, madeName(i).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                if (fd < 0)
                    failSystem("cannot make", madeName(i));
                ::close(fd);
            }
        });
        std::printf("%s files made once in %.1f s, then lent to every run\n", grouped(poolFiles).c_str(), making);
    }

    // Every contender times itself after a sync(), so that no run pays for the writes of another.
    std::vector<Figure> run(Rule rule, int files, int rounds)
    {
        const bool spaces = rule == Rule::Spaces;
        const NameOf renamed = spaces ? spacelessName : numberedName;
        std::vector<Figure> figures = {{"raw bound"}, {"engine, journal on", files >= 10000 ? 1.3 : 1.6},
                                       {"window command", 1.5}};
        // The undo of the space removal follows its batch, on the same folder.
        std::vector<std::pair<NameOf, std::function<void()>>> contenders = {
            {renamed, [&] {
                 ::sync();
                 figures[0].times.push_back(timed([&] { rawBatch(m_folder, m_work, rule); }));
             }},
            {spaces ? madeName : renamed, [&] {
                 figures[1].times.push_back(engine(rule, true, spaces ? &figures[7] : nullptr));
                 if (spaces)
                     undo(figures[6], figures[5]);
             }},
            {renamed, [&] { figures[2].times.push_back(window(rule, files)); }},
        };
        if (spaces) {
            figures.insert(figures.end(), {{"engine, no journal"}, {"preview", 0.3}, {"undo after OK", 1.5},
                                           {"undo before its question"}, {"Ctrl+Z record"}});
            contenders.emplace_back(renamed, [&] { figures[3].times.push_back(engine(rule, false)); });
            contenders.emplace_back(madeName, [&] { figures[4].times.push_back(preview(files)); });
        }
        // Untimed, so that no contender pays for growing the work folder to this size.
        lend(files, renamed, [&] { rawBatch(m_folder, m_work, rule); });
        // Each round starts with another contender, so that none always meets the disk first.
        for (int round = 0; round < rounds; ++round) {
            for (size_t turn = 0; turn < contenders.size(); ++turn) {
                const auto &[ends, contender] = contenders[(size_t(round) + turn) % contenders.size()];
                lend(files, ends, contender);
            }
        }
        giveBack(files);
        for (const Figure &figure : figures) {
            if (figure.times.size() != size_t(rounds))
                fail("no time in every round for " + figure.label);
        }
        return figures;
    }

    // Start-up with a large program folder, and a large folder opened from the folder list as a
    // user opens it: Enter on its entry.
    std::vector<Figure> startUp(int rounds)
    {
        const QString &start = m_folder;
        std::vector<Figure> figures = {{"construct, Form_Load, show", 0.3}, {"open from the folder list", 0.15}};
        lend(StartupFiles, madeName, [&] {
            for (int round = 0; round < rounds; ++round) {
                std::unique_ptr<Form1> form;
                ::sync();
                figures[0].times.push_back(timed([&] {
                    form = std::make_unique<Form1>(PlatformContext{m_fs, m_answers, start});
                    form->Form_Load();
                    form->show();
                    QCoreApplication::processEvents();
                }));
                if (form->File1->listCount() != StartupFiles)
                    fail("the started window does not list the program folder");
                form.reset();
                figures[1].times.push_back(openFromFolderList(start));
                if (m_form->File1->listCount() != StartupFiles)
                    fail("the folder list did not open the folder");
                showInWindow(m_programFolder);
            }
            if (!QDir().rmdir(workFolderOf(start)))
                fail("cannot remove the work folder of the start-up");
        });
        giveBack(StartupFiles);
        return figures;
    }

    // The peak memory of a space removal above the program's idle footprint, per file: in the
    // window with the folder open, and of the engine alone.
    std::pair<double, double> memory(int files)
    {
        std::pair<double, double> perFile;
        lend(files, spacelessName, [&] {
            showInWindow(m_folder);
            m_answers.shown = 0;
            perFile.first = bytesPerFile(files, [&] { m_form->Command4->click(); });
            if (m_answers.shown != 1 || m_form->File1->listCount() != files)
                fail("the window command did not run as asked");
            showInWindow(m_programFolder);
        });
        lend(files, spacelessName, [&] { perFile.second = bytesPerFile(files, [&] { engine(Rule::Spaces, true); }); });
        giveBack(files);
        return perFile;
    }

private:
    // Runs `run` on a new folder holding the first files under their first names, moved in in
    // order, so that every timed run meets a folder in the same state. They come from the folder
    // of the run before, under the names that run must have left (a missing name fails, and so
    // does anything else left behind), or else from the pool.
    void lend(int files, NameOf ends, const std::function<void()> &run)
    {
        const QString left = m_folder + QStringLiteral(".left");
        if (m_left && !QDir().rename(m_folder, left))
            fail("cannot set the last run's folder aside");
        if (!QDir().mkdir(m_folder))
            fail("cannot make " + m_folder.toStdString());
        moveAll(size_t(files), DirFd(m_left ? left : m_pool), m_left ? m_left : madeName, DirFd(m_folder), madeName);
        if (m_left && !QDir().rmdir(left))
            fail("the folder holds more than the expected names");
        m_left = nullptr;
        run();
        if (!entriesOf(DirFd(m_work)).empty())
            fail("files were left in the work folder");
        m_left = ends;
    }

    // Takes the files of the last run back into the pool.
    void giveBack(int files)
    {
        moveAll(size_t(files), DirFd(m_folder), m_left, DirFd(m_pool), madeName);
        if (!QDir().rmdir(m_folder))
            fail("the folder holds more than the expected names");
        m_left = nullptr;
    }

    BatchRequest request(Rule rule) const
    {
        return BatchRequest{m_folder, listFolderFiles(m_folder, NameFilter()), m_work, NameFilter(), engineRule(rule)};
    }

    // The engine alone, or as the window runs it: journal written before the first move and
    // removed at the end; then, timed apart, the record that Ctrl+Z reads, from the stamps the
    // batch took as the window passes them.
    double engine(Rule rule, bool journaled, Figure *record = nullptr)
    {
        BatchJournal journal(m_fs, m_programFolder);
        std::unique_ptr<BatchMover> batch;
        ::sync();
        const double elapsed = timed([&] {
            batch = std::make_unique<BatchMover>(m_fs, BatchPlan(m_fs, request(rule)), journaled ? &journal : nullptr);
            if (batch->run().outcome != BatchOutcome::Done)
                fail("the engine did not finish the batch");
        });
        if (m_fs.exists(journalPathOf(m_programFolder)))
            fail("the journal outlived its batch");
        if (record) {
            record->times.push_back(timed([&] {
                if (!recordInHistory(m_fs, m_programFolder, m_folder, batch->moves(), batch->plannedFiles()).ok())
                    fail("cannot record the batch for its undo");
            }));
        }
        return elapsed;
    }

    // Ctrl+Z on the batch just recorded, as the window runs it: before the question, the record
    // read and every file looked at; after OK, the batch back through the engine with its journal,
    // and the opposite record. The second part is what compares with the batch itself.
    void undo(Figure &asking, Figure &afterOk)
    {
        HistoryStep last;
        ::sync();
        asking.times.push_back(timed([&] {
            QString problem;
            if (!nextStep(m_programFolder, TakeBack::Undo, last, problem) || last.step.folder != m_folder
                || !changedSince(m_fs, last.step).isEmpty())
                fail("the batch's record is not there to undo");
        }));
        afterOk.times.push_back(timed([&] {
            const TakeBackResult result = takeBackStep(m_fs, m_programFolder, last, NameFilter());
            if (result.report.outcome != BatchOutcome::Done || !result.recorded.ok())
                fail("the undo did not finish");
        }));
    }

    // The preview behind the confirmation's details button: every check, nothing moved.
    double preview(int files)
    {
        QString text;
        ::sync();
        const double elapsed = timed([&] {
            const BatchPlan batch(m_fs, request(Rule::Spaces));
            if (!batch.ok())
                fail("the preview refuses the batch");
            text = previewText(batch);
        });
        if (text.count(QLatin1Char('\n')) != files)
            fail("the preview does not show every file");
        return elapsed;
    }

    // Shown as a user sees it before a click: the file list lays its rows out on a timer, and the
    // painting that follows waits for the next round of events.
    void showInWindow(const QString &folder)
    {
        if (!m_form->setDir1Path(folder))
            fail("the window cannot open " + folder.toStdString());
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
    }

    // The command as the user gives it, from the click until the window shows the renamed folder.
    // The serial command's dialog is answered as by a user who keeps its head "Re" and number 1.
    double window(Rule rule, int files)
    {
        showInWindow(m_folder);
        if (rule == Rule::Serial) {
            QTimer::singleShot(0, m_form.get(), [] {
                auto *dialog = qobject_cast<Form2 *>(QApplication::activeModalWidget());
                if (!dialog)
                    fail("the serial command showed no settings dialog");
                // The dialog opens with these; setting the same text again changes nothing.
                dialog->Text1->setText(QStringLiteral("Re"));
                dialog->Text2->setText(QStringLiteral("1"));
                dialog->cmdStart->click();
            });
        }
        QPushButton *command = rule == Rule::Spaces ? m_form->Command4 : m_form->Command6;
        m_answers.shown = 0;
        ::sync();
        const double elapsed = timed([&] { command->click(); });
        QCoreApplication::processEvents();
        if (m_answers.shown != 1)
            fail("the window showed another box besides its confirmation");
        if (m_form->File1->listCount() != files || m_form->Dir1->path() != m_folder)
            fail("the file list does not show the renamed files");
        showInWindow(m_programFolder);
        return elapsed;
    }

    // From the folder list on the folder's parent: Enter on the folder's entry, until it is shown.
    double openFromFolderList(const QString &folder)
    {
        showInWindow(QFileInfo(folder).path());
        for (int row = 0; row < m_form->Dir1->count(); ++row) {
            if (m_form->Dir1->item(row)->data(Qt::UserRole).toString() == folder)
                m_form->Dir1->setCurrentRow(row);
        }
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        ::sync();
        const double elapsed = timed([&] {
            QCoreApplication::sendEvent(m_form->Dir1, &enter);
            QCoreApplication::processEvents();
        });
        if (m_form->Dir1->path() != folder)
            fail("the folder list did not open " + folder.toStdString());
        return elapsed;
    }

    LinuxFileSystem m_fs;
    AnswerOk m_answers;
    const QString m_pool;
    const QString m_folder; // every run's folder, made afresh for it
    NameOf m_left = nullptr; // the names under which the last run left its files in m_folder
    const QString m_programFolder;
    const QString m_work;
    std::unique_ptr<Form1> m_form;
};

// The sizes and the rounds asked for on the command line.
std::pair<std::vector<int>, int> sizesAndRounds(const QApplication &app)
{
    QCommandLineParser arguments;
    const QCommandLineOption sizesOption(QStringLiteral("sizes"), QStringLiteral("File counts, comma-separated."),
                                         QStringLiteral("list"), QStringLiteral("1000,32767,100000"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Rounds per size."),
                                          QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption largeOption(QStringLiteral("large"), QStringLiteral("Also 300,000 files, as does "
                                                                                 "MIVOT_BENCH_LARGE=1."));
    arguments.addOptions({sizesOption, roundsOption, largeOption});
    arguments.addHelpOption();
    arguments.process(app);
    bool ok = true;
    const int rounds = arguments.value(roundsOption).toInt(&ok);
    std::vector<int> sizes;
    for (const QString &size : arguments.value(sizesOption).split(QLatin1Char(','))) {
        sizes.push_back(size.toInt(&ok));
        ok = ok && sizes.back() > 0 && sizes.back() <= 1000000; // six digits name every file
    }
    if (!ok || rounds < 1)
        fail("usage: mivotbench [--sizes 1000,32767] [--rounds N] [--large]");
    if ((arguments.isSet(largeOption) || qEnvironmentVariable("MIVOT_BENCH_LARGE") == QLatin1String("1"))
        && std::find(sizes.begin(), sizes.end(), LargeFiles) == sizes.end())
        sizes.push_back(LargeFiles);
    return {sizes, rounds};
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyApplicationLook();
    const auto [sizes, rounds] = sizesAndRounds(app);

    QElapsedTimer wall;
    wall.start();
    QTemporaryDir root;
    if (!root.isValid())
        fail("cannot make a temporary folder");
    benchRoot = root.path();
    Bench bench(root.path(), std::max(StartupFiles, *std::max_element(sizes.begin(), sizes.end())));
    std::printf("%d paired rounds: in each, every contender on a folder of its own, filled just before, in an order\n"
                "that turns each round; sync() before every timed run; x raw: each round's time over its raw bound's\n",
                rounds);
    std::string last = "engine/raw ratio: not measured (32,767 files not among the sizes)";
    for (const int files : sizes) {
        const std::vector<double> ratios =
            printTable("スペース除去, " + grouped(files) + " files", bench.run(Rule::Spaces, files, rounds));
        if (files == QuotedFiles)
            last = QString::asprintf("engine/raw ratio: %.2f (target <= 1.3, journal on)", ratios[1]).toStdString();
        printTable("連番 (Re1, Re2, ...), " + grouped(files) + " files", bench.run(Rule::Serial, files, rounds));
    }
    printTable("start-up, " + grouped(StartupFiles) + " files in the folder", bench.startUp(rounds), false);

    std::vector<int> memorySizes{StartupFiles};
    std::copy_if(sizes.begin(), sizes.end(), std::back_inserter(memorySizes),
                 [](int files) { return files > StartupFiles; });
    for (const int files : memorySizes) {
        const auto [window, engine] = bench.memory(files);
        std::printf("\nmemory of a space removal, %s files: peak (VmHWM) above idle (VmRSS)\n", grouped(files).c_str());
        printRow("window command", QString::asprintf("%.0f bytes/file", window).toStdString(), "",
                 verdict(window, 400, "target <= %.0f"));
        printRow("engine alone", QString::asprintf("%.0f bytes/file", engine).toStdString());
    }
    std::printf("\nwall time: %.0f s\n%s\n", double(wall.nsecsElapsed()) / 1e9, last.c_str());
    return 0;
}
