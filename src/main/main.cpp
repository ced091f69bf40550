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
    const QString folder = programFolder();
    SingleCopyLock lock(singleCopyLockPathOf(folder));
    if (!claimSingleCopy(lock, messages))
        return 0;

    LinuxFileSystem fileSystem;
    Form1 form(PlatformContext{fileSystem, messages, folder});
    form.Form_Load();
    form.show();
    return app.exec();
}
