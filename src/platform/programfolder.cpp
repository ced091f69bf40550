#include "platform/programfolder.h"

#include "platform/filesystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

// Only the install step puts this file in place (share/mivot/installed beside bin/), so copying the
// executable elsewhere, or running it from the build tree, never makes it an installed copy.
#ifndef MIVOT_INSTALL_MARKER
#define MIVOT_INSTALL_MARKER "../share/mivot/installed"
#endif

QString installMarkerOf(const QString &executableFolder)
{
    return QDir::cleanPath(joinPath(executableFolder, QStringLiteral(MIVOT_INSTALL_MARKER)));
}

bool isInstalledCopy(const QString &executableFolder)
{
    return QFileInfo(installMarkerOf(executableFolder)).isFile();
}

bool isInstalledCopy()
{
    return isInstalledCopy(QCoreApplication::applicationDirPath());
}

QString chooseProgramFolder(const QString &executableFolder, const QString &perUserFolder)
{
    const bool installed = isInstalledCopy(executableFolder);
    // A portable copy on read-only media still needs somewhere to keep its settings and work folder.
    const bool writable = ::access(QFile::encodeName(executableFolder).constData(), W_OK | X_OK) == 0;
    if (!installed && writable)
        return executableFolder;
    QDir().mkpath(perUserFolder);
    return perUserFolder;
}

QString programFolder()
{
    return chooseProgramFolder(QCoreApplication::applicationDirPath(),
                               QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
}

QString workFolderOf(const QString &programFolder)
{
    return joinPath(programFolder, QStringLiteral("xxxxxxx"));
}
