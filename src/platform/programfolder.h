#pragma once

#include <QString>

// The folder that holds Option.ini and the work folder. A copy put in place by `make install` or by
// the package keeps them in a per-user data folder, created on demand, whoever runs it; a build tree
// or an unpacked copy keeps them beside its executable.
QString programFolder();

// Where an installed copy finds its install marker, relative to the executable's folder.
QString installMarkerOf(const QString &executableFolder);

// Whether the copy running, or the one whose executable lies in the folder given, was put in place
// by the install step (its install marker exists).
bool isInstalledCopy();
bool isInstalledCopy(const QString &executableFolder);

// The decision itself, for tests: the per-user folder when the executable's folder belongs to an
// installed layout (its install marker exists) or cannot be written; else the executable's folder.
QString chooseProgramFolder(const QString &executableFolder, const QString &perUserFolder);

// The folder the batch commands move files through.
QString workFolderOf(const QString &programFolder);
