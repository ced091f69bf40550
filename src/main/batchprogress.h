#pragma once

#include "batch/twophasemove.h"

#include <QElapsedTimer>
#include <QPointer>

#include <optional>

class QLabel;
class QWidget;

// Follows a batch for the user: a busy mouse while it runs, and once it has run for a while a
// small window with the phase and the count, whatever the number of files: a slow card or share
// takes minutes over a few hundred. Hands every hook on to the batch's record, which decides.
// The window repaints without handling user input, so no other handler runs meanwhile.
class BatchProgress : public BatchObserver
{
public:
    BatchProgress(BatchObserver &record, QWidget *mainWindow);
    ~BatchProgress() override;
    BatchProgress(const BatchProgress &) = delete;
    BatchProgress &operator=(const BatchProgress &) = delete;

    FsResult planned(const BatchMover &batch) override;
    void moving(const BatchMove &move) override;
    void moved(const BatchMove &move, const FsResult &result) override;
    void finished(const BatchReport &report) override;
    // The batch and the lists are done: the window goes and the mouse is the usual one again,
    // for the messages that follow.
    void end();

    // A batch that still moves files this long after it began shows the window.
    static constexpr int WindowAfterMs = 500;
    // The window shows the first file of each phase and the plan's last, and in between the file
    // at hand at most this often.
    static constexpr int RepaintEveryMs = 50;

private:
    void show(const BatchMove &move);

    BatchObserver &m_record;
    QWidget *m_mainWindow;
    QPointer<QWidget> m_window;
    QLabel *m_label = nullptr;
    qsizetype m_total = 0;
    bool m_busy = false;
    std::optional<BatchStep> m_shownStep;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceShown;
};
