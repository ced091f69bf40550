#include "main/form1.h"
#include "main/startup.h"
#include "platform/filesystem.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mivot"));
    QApplication::setApplicationVersion(QStringLiteral("2.00"));
    // A display name would be added to every window title; the titles are the program's own.
    QApplication::setApplicationDisplayName(QString());

    // Qt's own texts (the text boxes' menu, the message box's details button) read Japanese, as the
    // program's do, whatever the locale.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    QCommandLineParser arguments;
    arguments.setApplicationDescription(QStringLiteral("ファイルのリネーム支援ツール"));
    const QCommandLineOption help = arguments.addHelpOption();
    const QCommandLineOption version = arguments.addVersionOption();
    // Only the two informational options mean anything; every other argument (a launcher's file
    // name, say) is ignored, as the window takes nothing from the command line.
    arguments.parse(QApplication::arguments());
    if (arguments.isSet(version))
        arguments.showVersion();
    if (arguments.isSet(help))
        arguments.showHelp();
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
