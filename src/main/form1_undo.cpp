#include "main/form1.h"

#include "batch/batchmessage.h"
#include "batch/renamehistory.h"
#include "main/batchprogress.h"
#include "main/listsrefreshonce.h"
#include "platform/filename.h"
#include "platform/messagebox.h"

#include <QKeyEvent>
#include <QShortcut>

#include <optional>

namespace {

bool isUndoKey(const QKeyEvent *event)
{
    return event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Z);
}

bool isRedoKey(const QKeyEvent *event)
{
    return event->keyCombination() == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z)
        || event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y);
}

QString nothingToTakeBack(TakeBack direction)
{
    return direction == TakeBack::Undo ? QStringLiteral("元に戻せるリネームはありません")
                                       : QStringLiteral("やり直せるリネームはありません");
}

// Taking back one file's rename is no batch: when it fails, it says so in the words of a single
// rename.
QString oneFileFailure(TakeBack direction, const BatchReport &report)
{
    const QString failed = direction == TakeBack::Undo ? QStringLiteral("リネームを元に戻せませんでした。")
                                                       : QStringLiteral("リネームをやり直せませんでした。");
    const BatchFileProblem &problem = report.problems.constFirst();
    const QString why = problem.oldName.isEmpty()
        ? problem.detail
        : QStringLiteral("%1 → %2（%3）")
              .arg(shownName(problem.oldName), shownName(problem.newName), batchProblemReason(problem, report.staged));
    if (report.outcome == BatchOutcome::Stranded && !report.stranded.isEmpty()) {
        const StrandedFile &file = report.stranded.constFirst();
        return failed + QStringLiteral("ファイルは今 %1 にあります（%2）。削除も上書きもしていません。\n%3")
                            .arg(displayPath(file.path), file.reason, why);
    }
    return failed + QStringLiteral("ファイルの名前は変わっていません。\n%1\n%2").arg(displayPath(report.folder), why);
}

// A folder's name that could not change back, in the words of the folder's conversion.
QString folderFailure(TakeBack direction, const BatchReport &report)
{
    const BatchFileProblem &problem = report.problems.constFirst();
    return (direction == TakeBack::Undo ? QStringLiteral("フォルダ名を元に戻せませんでした。フォルダの名前は変わっていません。\n%1 → %2\n%3")
                                        : QStringLiteral("フォルダ名の変更をやり直せませんでした。フォルダの名前は変わっていません。\n%1 → %2\n%3"))
        .arg(displayPath(joinPath(report.folder, problem.oldName)), shownName(problem.newName), problem.detail);
}

QString takeBackMessage(const RenameStep &step, const TakeBackResult &result)
{
    if (!result.changed.isEmpty())
        return changedFilesMessage(step, result.changed);
    if (step.renamesFolder() && result.report.outcome != BatchOutcome::Done && !result.report.problems.isEmpty())
        return folderFailure(step.direction, result.report);
    if (step.files.size() == 1 && result.report.outcome != BatchOutcome::Done && !result.report.problems.isEmpty())
        return oneFileFailure(step.direction, result.report);
    return batchMessage(result.report);
}

// A new rename that cannot be recorded ends the history; an undo or redo that cannot be turned
// round leaves the steps before it.
QString unrecorded(const FsResult &recorded, bool historyEnds = true)
{
    return (historyEnds ? QStringLiteral("リネームは終わりましたが、その記録を書き込めないため、これもそれより前のリネームも取り消すことはできません。\n%1")
                        : QStringLiteral("リネームは終わりましたが、その記録を書き込めないため、これを取り消すことはできません。\n%1"))
        .arg(recorded.reason());
}

} // namespace

void Form1::setUpTakeBack()
{
    auto *undo = new QShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Z), this);
    connect(undo, &QShortcut::activated, this, [this] { takeBackLastRename(TakeBack::Undo); });
    for (const QKeySequence &keys : {QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_Z),
                                     QKeySequence(Qt::ControlModifier | Qt::Key_Y)}) {
        auto *redo = new QShortcut(keys, this);
        connect(redo, &QShortcut::activated, this, [this] { takeBackLastRename(TakeBack::Redo); });
    }
    for (QLineEdit *box : {Text1[0], Text1[1], Text2, Text3})
        box->installEventFilter(this);
}

// A text box keeps Ctrl+Z and Ctrl+Shift+Z (or Ctrl+Y) while it has typing to take back; then
// the keys go on to the window's shortcuts and step through the renames.
bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (!box || (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress))
        return QWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const bool undo = isUndoKey(key);
    if (!undo && !isRedoKey(key))
        return QWidget::eventFilter(watched, event);
    const bool boxTakes = !box->isReadOnly() && (undo ? box->isUndoAvailable() : box->isRedoAvailable());
    if (event->type() == QEvent::ShortcutOverride) {
        key->setAccepted(boxTakes);
        return true;
    }
    if (!boxTakes)
        return QWidget::eventFilter(watched, event);
    // Done here rather than by the box, whose own keys for redo differ from desktop to desktop.
    if (undo)
        box->undo();
    else
        box->redo();
    return true;
}

void Form1::takeBackLastRename(TakeBack direction)
{
    const bool undo = direction == TakeBack::Undo;
    MessageBoxes &messages = m_platform.messages;
    HistoryStep found;
    QString problem;
    if (!nextStep(m_platform.programFolder, direction, found, problem)) {
        if (problem.isEmpty())
            messages.show(nothingToTakeBack(direction), MsgButtons::Ok);
        else
            messages.show((undo ? QStringLiteral("直前のリネームの記録を読めないため、元に戻せません。\n%1")
                                : QStringLiteral("元に戻したリネームの記録を読めないため、やり直せません。\n%1"))
                              .arg(problem),
                          MsgButtons::Ok);
        return;
    }
    const RenameStep &step = found.step;
    // Refused before the question: nothing the user could answer would make it possible. The
    // step stays where it is, and so do the steps behind it: taking them back out of order would
    // give names that no rename made.
    const QList<ChangedFile> changed = changedSince(m_platform.fileSystem, step);
    if (!changed.isEmpty()) {
        messages.show(changedFilesMessage(step, changed), MsgButtons::Ok);
        return;
    }
    // A folder's step moves the folder itself, which the program's own folder keeps where it is.
    const RenamedFile &first = step.files.constFirst();
    if (step.renamesFolder() && refusedAsProgramFolder(joinPath(step.folder, first.name)))
        return;
    const QString prompt = undo ? QStringLiteral("直前のリネームを元に戻します") : QStringLiteral("元に戻したリネームをやり直します");
    if (messages.show(prompt, MsgButtons::OkCancel, QStringLiteral("確認メッセージ"), takeBackText(step)) != MsgAnswer::Ok)
        return;

    const QString shown = Dir1->path();
    runSequence(step.folder, [&](const BatchFollower &follow) {
        const TakeBackResult result = ::takeBackStep(m_platform.fileSystem, m_platform.programFolder, found,
                                                     NameFilter(File1->pattern()), follow);
        BatchSaid said{{takeBackMessage(step, result)}, FsResult::success()};
        // The lists follow a folder's name as they do after its conversion.
        if (step.renamesFolder()) {
            said.listsOn = result.report.outcome != BatchOutcome::Done
                ? shown
                : pathAfterFolderRename(shown, joinPath(step.folder, first.name), joinPath(step.folder, first.formerName));
        }
        if (!result.recorded.ok())
            said.messages.append(unrecorded(result.recorded, false));
        return said;
    });
}

void Form1::runSequence(const QString &folder, const std::function<BatchSaid(const BatchFollower &)> &run)
{
    std::optional<BatchProgress> progress;
    m_batchRunning = true;
    BatchSaid said = run([&](BatchObserver &record) -> BatchObserver & { return progress.emplace(record, this); });
    {
        // Whatever happened, the lists end on the folder of the batch, read afresh, with the boxes
        // empty; the batch's plan is gone before they read it.
        const ListsRefreshOnce once(Dir1, File1);
        if (!setDir1Path(said.listsOn.isEmpty() ? folder : said.listsOn))
            emptyNameBoxes();
        File1->refresh();
    }
    m_batchRunning = false;
    if (progress)
        progress->end();
    // Said once, in one box, after the record was written.
    if (!said.recorded.ok())
        said.messages.append(unrecorded(said.recorded));
    said.messages.removeAll(QString());
    if (!said.messages.isEmpty())
        m_platform.messages.show(said.messages.join(QStringLiteral("\n\n")), MsgButtons::Ok);
    // The boxes and dialogs of the batch are gone; without a window manager nobody else hands
    // the keyboard back to the window.
    activateWindow();
}

void Form1::recordRename(const QString &folder, const QList<PlannedMove> &moves, const QList<FileStamp> &planned)
{
    const FsResult recorded = recordInHistory(m_platform.fileSystem, m_platform.programFolder, folder, moves, planned);
    if (!recorded.ok())
        m_platform.messages.show(unrecorded(recorded), MsgButtons::Ok);
}
