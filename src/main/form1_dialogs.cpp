#include "main/form1.h"

#include "batch/preview.h"
#include "dialogs/form4.h"
#include "dialogs/frmkisei.h"

void Form1::Command1_Click()
{
    {
        frmKisei dialog(File1->pattern(), messages(), this);
        connect(&dialog, &frmKisei::patternSet, File1, &FileList::setPattern);
        if (dialog.exec() == QDialog::Accepted) {
            File1->setPattern(dialog.savedPattern());
            // IniWrite tells the user itself when the file cannot be written; the pattern holds for this run.
            IniWrite(QStringLiteral("拡張子"), QStringLiteral("表示"), File1->pattern());
        }
    }
    // Without a window manager nobody hands the keyboard back to the window.
    activateWindow();
}

void Form1::Command3_Click()
{
    {
        Form4 dialog(this);
        dialog.exec();
    }
    activateWindow();
}

QString Form1::startTooltip(const NameRule &rule)
{
    if (!rule)
        return namesTooltip(File1->listCount(), nullptr);
    const BatchPlan previewed(m_platform.fileSystem, batchRequest(rule));
    return namesTooltip(previewed.moves().size(), &previewed);
}
