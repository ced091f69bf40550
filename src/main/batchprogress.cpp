#include "main/batchprogress.h"

#include "main/twips.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QString phaseText(BatchStep step)
{
    switch (step) {
    case BatchStep::Out:
        return QStringLiteral("ファイルを作業フォルダへ移しています");
    case BatchStep::Back:
        return QStringLiteral("ファイルを新しい名前で戻しています");
    case BatchStep::UndoBack:
    case BatchStep::UndoOut:
        return QStringLiteral("ファイルを元の名前に戻しています");
    case BatchStep::Sweep:
        return QStringLiteral("作業フォルダに残っていたファイルを戻しています");
    }
    return QString();
}

} // namespace

BatchProgress::BatchProgress(BatchObserver &record, QWidget *mainWindow)
    : m_record(record)
    , m_mainWindow(mainWindow)
{
    m_sinceStart.start();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_busy = true;
    // The confirmation just answered goes from the screen before the first file moves, rather
    // than staying painted over a window that seems to hang.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

BatchProgress::~BatchProgress()
{
    delete m_window;
    if (m_busy)
        QApplication::restoreOverrideCursor();
}

FsResult BatchProgress::planned(const BatchMover &batch)
{
    m_total = batch.moves().size();
    return m_record.planned(batch);
}

void BatchProgress::moving(const BatchMove &move)
{
    m_record.moving(move);
}

void BatchProgress::moved(const BatchMove &move, const FsResult &result)
{
    m_record.moved(move, result);
    if (move.index < 0)
        return;
    const bool due = m_window ? move.step != m_shownStep || move.index + 1 == m_total || m_sinceShown.hasExpired(RepaintEveryMs)
                              : m_sinceStart.hasExpired(WindowAfterMs);
    if (due)
        show(move);
}

void BatchProgress::finished(const BatchReport &report)
{
    m_record.finished(report);
}

void BatchProgress::end()
{
    delete m_window;
    if (m_busy)
        QApplication::restoreOverrideCursor();
    m_busy = false;
}

void BatchProgress::show(const BatchMove &move)
{
    if (!m_window) {
        m_window = new QWidget(m_mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        m_window->setWindowTitle(QStringLiteral("一括リネーム"));
        m_window->setWindowModality(Qt::ApplicationModal);
        keepOwnLook(m_window);
        m_label = new QLabel(m_window);
        auto *layout = new QVBoxLayout(m_window);
        layout->addWidget(m_label);
        m_window->setFixedSize(320, 72);
        const QRect frame = m_mainWindow->frameGeometry();
        m_window->move(frame.center() - QPoint(160, 36));
        m_window->show();
    }
    m_shownStep = move.step;
    m_sinceShown.start();
    m_label->setText(QStringLiteral("%1\n%2 / %3 個").arg(phaseText(move.step)).arg(move.index + 1).arg(m_total));
    // Paint events and the window system's own only: keys and clicks wait until the batch ends,
    // so no handler of the program runs between two moves.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_window->repaint();
}
