#include "platform/programfolder.h"

#include "platform/filesystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>

QString chooseProgramFolder(const QString &executableFolder, const QString &perUserFolder)
{
    if (::access(QFile::encodeName(executableFolder).constData(), W_OK | X_OK) == 0)
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
