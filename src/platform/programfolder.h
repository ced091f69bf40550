#pragma once

#include <QString>

// The folder that holds Option.ini and the work folder: the program's own folder when the user
// can write there (a build tree or an unpacked copy), else a per-user data folder, created on demand.
QString programFolder();

// The decision itself, for tests: the executable's folder if writable, else the per-user folder.
QString chooseProgramFolder(const QString &executableFolder, const QString &perUserFolder);

// The folder the batch commands move files through.
QString workFolderOf(const QString &programFolder);
