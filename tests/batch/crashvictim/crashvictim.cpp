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
#include "support/faultyfilesystem.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

namespace {

// The real file system, killed before the chosen move on the route a user's batch takes.
void killBefore(FaultyFileSystem &fileSystem, int move)
{
    fileSystem.beforeMove(move, [move] {
        std::printf("killed before move %d\n", move);
        std::fflush(stdout);
        std::raise(SIGKILL);
    });
}

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

    LinuxFileSystem disk;
    FaultyFileSystem fileSystem(disk);
    killBefore(fileSystem, args.last().toInt());
    if (batch && args.at(5) == QLatin1String("staged"))
        fileSystem.setSameFilesystem(false);
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
