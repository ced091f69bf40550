#include "main/form1.h"

#include "batch/preview.h"
#include "batch/serialname.h"
#include "dialogs/form2.h"
#include "main/sharedvalues.h"

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
