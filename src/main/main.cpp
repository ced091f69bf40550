#include "main/form1.h"
#include "main/startup.h"
#include "platform/filename.h"
#include "platform/filesystem.h"
#include "platform/messagebox.h"
#include "platform/programfolder.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace {

// The current folder and the home folder as the system gives their bytes, in the lossless form.
QString currentFolder()
{
    QByteArray path(4096, Qt::Uninitialized);
    while (::getcwd(path.data(), size_t(path.size())) == nullptr) {
        if (errno != ERANGE)
            return QDir::currentPath();
        path.resize(path.size() * 2);
    }
    return nameFromBytes(path.constData());
}

QString homeFolder()
{
    const QByteArray home = qgetenv("HOME");
    return home.startsWith('/') ? QDir::cleanPath(nameFromBytes(home)) : QDir::homePath();
}

} // namespace

int main(int argc, char *argv[])
{
    // Asked from a terminal, perhaps with no display at all: answered before any window system is reached.
    if (const std::optional<QString> information = informationAsked(argc, argv)) {
        const QByteArray text = information->toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mivot"));
    QApplication::setApplicationVersion(QStringLiteral("2.00"));
    // A display name would be added to every window title; the titles are the program's own.
    QApplication::setApplicationDisplayName(QString());
    // The Wayland app id, which pairs the windows with the desktop entry (X11 pairs them by WM_CLASS "mivot").
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.mivot"));

    // Qt's own texts (the text boxes' menu, the message box's details button) read Japanese, as the
    // program's do, whatever the locale.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    // The command line names at most the place to open (QApplication took its own options out of
    // argv); every other argument is ignored.
    const QString place = firstPlace(placeArgument(argc, argv, currentFolder()), isInstalledCopy(), homeFolder());
    applyApplicationLook();

    QtMessageBoxes messages;
    const QString folder = programFolder();
    SingleCopyLock lock(singleCopyLockPathOf(folder));
    if (!claimSingleCopy(lock, messages))
        return 0;

    LinuxFileSystem fileSystem;
    Form1 form(PlatformContext{fileSystem, messages, folder});
    loadAt(form, place);
    form.show();
    return app.exec();
}
