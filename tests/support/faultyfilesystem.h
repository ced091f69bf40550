#pragma once

#include "platform/filesystem.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <cerrno>
#include <functional>
#include <optional>

// A file system that hands every call to a real one, except what a test tells it to refuse or to
// pretend: chosen moves (counted from 1 over every move asked for, refused ones included), folder
// creation, the filesystem boundary and the name length limit.
class FaultyFileSystem : public FileSystem
{
public:
    explicit FaultyFileSystem(FileSystem &real) : m_real(real) {}

    // Refuses the number-th move with the given errno, without touching the disk.
    void refuseMove(int number, int error = EACCES) { m_refusals.insert(number, error); }
    void refuseMakeFolder(int error) { m_makeFolderError = error; }
    // Runs the action just before the number-th move, as another program acting in between.
    void beforeMove(int number, std::function<void()> action) { m_actions.insert(number, std::move(action)); }
    // Pretends that no two folders, or every two folders, share a filesystem.
    void setSameFilesystem(bool same) { m_sameFilesystem = same; }
    void setMaxNameLength(int length) { m_maxNameLength = length; }
    void setIgnoresCase(bool ignores) { m_ignoresCase = ignores; }
    void setFilesystemKind(const FilesystemKind &kind) { m_filesystemKind = kind; }

    // Every move asked for, in order, refused ones included.
    const QList<QPair<QString, QString>> &moves() const { return m_moves; }
    int moveCount() const { return int(m_moves.size()); }

    FsResult move(const QString &from, const QString &to) override;
    FsResult makeFolder(const QString &path) override;
    FsResult removeFolder(const QString &path) override { return m_real.removeFolder(path); }
    QStringList entryNames(const QString &folder, FsResult *result = nullptr) override
    {
        return m_real.entryNames(folder, result);
    }
    bool exists(const QString &path) override { return m_real.exists(path); }
    FileId fileId(const QString &path) override { return m_real.fileId(path); }
    bool sameFilesystem(const QString &folderA, const QString &folderB) override;
    int maxNameLength(const QString &folder) override;
    FsResult removeExtraName(const QString &extra, const QString &kept) override
    {
        return m_real.removeExtraName(extra, kept);
    }
    bool ignoresCase(const QString &folder) override;
    FsResult removeEmptyClaim(const QString &path) override { return m_real.removeEmptyClaim(path); }
    FileStamp fileStamp(const QString &path) override { return m_real.fileStamp(path); }
    FilesystemKind filesystemKind(const QString &folder) override
    {
        return m_filesystemKind ? *m_filesystemKind : m_real.filesystemKind(folder);
    }

private:
    FileSystem &m_real;
    QHash<int, int> m_refusals;
    QHash<int, std::function<void()>> m_actions;
    QList<QPair<QString, QString>> m_moves;
    int m_makeFolderError = 0;
    std::optional<bool> m_sameFilesystem;
    std::optional<int> m_maxNameLength;
    std::optional<bool> m_ignoresCase;
    std::optional<FilesystemKind> m_filesystemKind;
};
