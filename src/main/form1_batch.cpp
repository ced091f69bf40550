#include "main/form1.h"

#include "batch/batchmessage.h"
#include "batch/journal.h"
#include "batch/renamehistory.h"
#include "batch/preview.h"
#include "batch/removalrule.h"
#include "batch/serialname.h"
#include "batch/twophasemove.h"
#include "dialogs/form2.h"
#include "dialogs/form3.h"
#include "main/listsrefreshonce.h"
#include "main/sharedvalues.h"

namespace {

NewName withoutSpaces(int, const QString &oldName)
{
    return NewName::of(removeAll(oldName, QLatin1Char(' ')));
}

NewName withoutUnderscores(int, const QString &oldName)
{
    return NewName::of(removeAll(oldName, QLatin1Char('_')));
}

} // namespace

bool Form1::confirmBatch(const QString &prompt, const QString &details)
{
    return m_platform.messages.show(prompt, MsgButtons::OkCancel, QStringLiteral("確認メッセージ"), details)
        == MsgAnswer::Ok;
}

BatchRequest Form1::batchRequest(const NameRule &rule) const
{
    return BatchRequest{Dir1->path(), File1->entries(), workFolder(), NameFilter(File1->pattern()), rule};
}

QString Form1::batchPreview(const NameRule &rule)
{
    m_previewed.emplace(m_platform.fileSystem, batchRequest(rule));
    return previewText(*m_previewed);
}

void Form1::Command4_Click()
{
    if (confirmBatch(QStringLiteral("リスト内の全てのファイルのスペースを除去します"), batchPreview(withoutSpaces)))
        Spacekiller();
    m_previewed.reset();
}

void Form1::Command5_Click()
{
    if (confirmBatch(QStringLiteral("リスト内の全てのファイルの\nアンダーバーを除去します "), batchPreview(withoutUnderscores)))
        UBarKiller();
    m_previewed.reset();
}

void Form1::Spacekiller()
{
    runBatchMove(withoutSpaces);
}

void Form1::UBarKiller()
{
    runBatchMove(withoutUnderscores);
}

void Form1::runBatchMove(const NameRule &rule)
{
    const QString savedFolder = Dir1->path();
    runSequence(savedFolder, [&](const BatchFollower &follow) {
        // Written before the first move, so that a batch cut short by a crash is undone at the next start.
        BatchJournal journal(m_platform.fileSystem, m_platform.programFolder);
        BatchObserver &observer = follow(journal);
        // The names the confirmation showed are the names the batch gives; every check is made
        // again on the folder as it is now.
        BatchPlan plan = m_previewed ? BatchPlan(m_platform.fileSystem, *m_previewed) : BatchPlan(m_platform.fileSystem, batchRequest(rule));
        m_previewed.reset();
        BatchMover batch(m_platform.fileSystem, std::move(plan), &observer);
        batch.run([&] {
            const ListsRefreshOnce once(Dir1, File1);
            File1->refresh();
            // The lists show where the files wait while they come back; a holding folder the list
            // cannot open changes nothing for the move itself.
            Dir1->setPath(batch.holdingFolder());
        });
        BatchSaid said{{batchMessage(batch.report())}, FsResult::success()};
        if (batch.report().outcome == BatchOutcome::Done) {
            said.recorded = recordInHistory(m_platform.fileSystem, m_platform.programFolder, savedFolder, batch.moves(),
                                            batch.plannedFiles());
            said.messages.append(hiddenByFilterMessage(batch.moves(), NameFilter(File1->pattern())));
        }
        return said;
    });
}

void Form1::Command6_Click()
{
    if (confirmBatch(QStringLiteral("リスト内の全てのファイルの名を連番にて処理します"), listingText(File1->entries())))
        RenREname();
}

void Form1::RenREname()
{
    {
        // A fresh dialog for each showing: "Re" and "1" every time.
        Form2 dialog(messages(), this);
        dialog.setNamesPreview([this](const NameRule &rule) { return startTooltip(rule); });
        dialog.exec();
    }
    // Without a window manager nobody hands the keyboard back to the window.
    activateWindow();
    if (shared::SerialPrefix.isEmpty())
        return;
    runBatchMove(serialNameRule(shared::SerialPrefix, shared::SerialStart, shared::SerialWidth));
}

void Form1::Command7_Click()
{
    if (confirmBatch(QStringLiteral("リスト内の全てのファイルの拡張子を統一変換します"), listingText(File1->entries())))
        RenREKaku();
}

void Form1::RenREKaku()
{
    {
        // A fresh dialog for each showing: an empty box every time.
        Form3 dialog(messages(), this);
        dialog.setNamesPreview([this](const NameRule &rule) { return startTooltip(rule); });
        dialog.exec();
    }
    // Without a window manager nobody hands the keyboard back to the window.
    activateWindow();
    if (shared::UnifiedExtension == shared::UnifiedExtensionCancelled)
        return;
    runBatchMove(unifiedNameRule(shared::UnifiedExtension));
}
