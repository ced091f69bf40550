// The main window, run as its own process, that kills itself with SIGKILL just before a chosen
// move: the crash-recovery tests start it, let it die, and start the window again.
//
//   crashvictim batch <program folder> <folder> space|serial direct|staged <move>
//       start-up, then a batch over every file of <folder>, dying before its <move>-th move
//   crashvictim start <program folder> <move>
//       start-up (the recovery of an earlier batch), dying before its <move>-th move
//   crashvictim undo <program folder> <move>
//       start-up, then Ctrl+Z on the last rename, dying before its <move>-th move

#include "batch/serialname.h"
#include "main/form1.h"
#include "platform/filesystem.h"
#include "platform/messagebox.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

namespace {

// The real file system, killed before its chosen move, whether by path (a recovery) or in the
// folder pair a batch holds open (a batch or an undo, on the very route a user's takes).
class KillingFileSystem : public LinuxFileSystem
{
public:
    KillingFileSystem(int killAt, bool staged) : m_killAt(killAt), m_staged(staged) {}

    FsResult move(const QString &from, const QString &to) override
    {
        killIfDue();
        return LinuxFileSystem::move(from, to);
    }
    bool sameFilesystem(const QString &folderA, const QString &folderB) override
    {
        return !m_staged && LinuxFileSystem::sameFilesystem(folderA, folderB);
    }
    std::unique_ptr<FolderPair> openFolderPair(const QString &first, const QString &second) override
    {
        return std::make_unique<Pair>(*this, LinuxFileSystem::openFolderPair(first, second));
    }

private:
    class Pair : public FolderPair
    {
    public:
        Pair(KillingFileSystem &fs, std::unique_ptr<FolderPair> real) : m_fs(fs), m_real(std::move(real)) {}
        FileStamp stamp(Side side, const QString &name) override { return m_real->stamp(side, name); }
        FsResult move(Side from, const QString &name, Side to, const QString &newName, const FileStamp *seen) override
        {
            m_fs.killIfDue();
            return m_real->move(from, name, to, newName, seen);
        }

    private:
        KillingFileSystem &m_fs;
        std::unique_ptr<FolderPair> m_real;
    };

    void killIfDue()
    {
        if (++m_moves == m_killAt) {
            std::printf("killed before move %d\n", m_moves);
            std::fflush(stdout);
            std::raise(SIGKILL);
        }
    }

    int m_killAt;
    bool m_staged;
    int m_moves = 0;
};

class AnswerOk : public MessageBoxes
{
public:
    int show(const QString &prompt, int, const QString &, const QString &) override
    {
        std::printf("message: %s\n", qPrintable(prompt));
        return MsgAnswer::Ok;
    }
};

int usage()
{
    std::fprintf(stderr, "usage: crashvictim batch <program folder> <folder> space|serial direct|staged <move>\n"
                         "       crashvictim start <program folder> <move>\n"
                         "       crashvictim undo <program folder> <move>\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool batch = args.size() == 7 && args.at(1) == QLatin1String("batch");
    const bool undo = args.size() == 4 && args.at(1) == QLatin1String("undo");
    if (!batch && !undo && !(args.size() == 4 && args.at(1) == QLatin1String("start")))
        return usage();

    KillingFileSystem fileSystem(args.last().toInt(), batch && args.at(5) == QLatin1String("staged"));
    AnswerOk answers;
    Form1 form(PlatformContext{fileSystem, answers, args.at(2)});
    form.Form_Load();
    if (batch) {
        if (!form.setDir1Path(args.at(3)))
            return 2;
        if (args.at(4) == QLatin1String("space"))
            form.Command4->click();
        else
            form.runBatchMove(serialNameRule(QStringLiteral("f"), 1));
    }
    if (undo)
        form.takeBackLastRename(TakeBack::Undo);
    std::printf("not killed after %s\n", batch ? "the batch" : undo ? "the undo" : "start-up");
    return 3;
}
