#include "main/form1.h"
#include "main/startup.h"
#include "platform/filesystem.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mivot"));
    QApplication::setApplicationDisplayName(QString());
    applyApplicationLook();

    QtMessageBoxes messages;
    SingleCopyLock lock;
    if (!claimSingleCopy(lock, messages))
        return 0;

    LinuxFileSystem fileSystem;
    Form1 form(PlatformContext{fileSystem, messages, programFolder()});
    form.Form_Load();
    form.show();
    return app.exec();
}
