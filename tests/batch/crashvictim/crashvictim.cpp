// The main window, run as its own process, that kills itself with SIGKILL just before a chosen
// move: the crash-recovery tests start it, let it die, and start the window again.
//
//   crashvictim batch <program folder> <folder> space|serial|case direct|staged <move>
//       start-up, then a batch over every file of <folder> (spaces removed, serial numbers from
//       1, or every extension "jpg"), dying before its <move>-th move; with <move> written "N+",
//       inside the N-th move instead, right after its claim of the new name or its link (only a
//       filesystem without a rename that refuses to replace takes those steps)
//   crashvictim start <program folder> <move>
//       start-up (the recovery of an earlier batch), dying before its <move>-th move
//   crashvictim undo <program folder> <move>
//       start-up, then Ctrl+Z on the last rename, dying before its <move>-th move

#include "batch/serialname.h"
#include "main/form1.h"
#include "platform/filesystem.h"
#include "platform/messagebox.h"
#include "platform/safemove.h"
#include "support/faultyfilesystem.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

namespace {

void die(const char *where, int move)
{
    std::printf("killed %s move %d\n", where, move);
    std::fflush(stdout);
    std::raise(SIGKILL);
}

// Kills the process inside the move it is armed for, once that move has made its claim or link.
class KillInside : public MoveWatcher
{
public:
    void making(Step, const QByteArray &, const QByteArray &) override {}
    void made(Step, const QByteArray &, const QByteArray &) override
    {
        if (armed > 0)
            die("inside", armed);
    }
    int armed = 0;
};

// The real file system, killed before (or inside) the chosen move on the route a user's batch takes.
void killAt(FaultyFileSystem &fileSystem, KillInside &inside, const QString &where)
{
    const int move = where.toInt() > 0 ? where.toInt() : where.chopped(1).toInt();
    if (where.endsWith(QLatin1Char('+')))
        fileSystem.beforeMove(move, [&inside, move] { inside.armed = move; });
    else
        fileSystem.beforeMove(move, [move] { die("before", move); });
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
    std::fprintf(stderr, "usage: crashvictim batch <program folder> <folder> space|serial|case direct|staged <move>[+]\n"
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
    KillInside inside;
    const WatchMoves watch(inside);
    killAt(fileSystem, inside, args.last());
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
        else if (args.at(4) == QLatin1String("case"))
            form.runBatchMove(unifiedNameRule(QStringLiteral("jpg")));
        else
            form.runBatchMove(serialNameRule(QStringLiteral("f"), 1));
    }
    if (undo)
        form.takeBackLastRename(TakeBack::Undo);
    std::printf("not killed after %s\n", batch ? "the batch" : undo ? "the undo" : "start-up");
    return 3;
}
