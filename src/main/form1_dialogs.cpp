#include "main/form1.h"

#include "dialogs/form4.h"
#include "dialogs/frmkisei.h"

void Form1::Command1_Click()
{
    {
        frmKisei dialog(this);
        dialog.exec();
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
