#include "main/form1.h"

#include "batch/preview.h"
#include "batch/serialname.h"
#include "dialogs/form3.h"
#include "main/sharedvalues.h"

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
