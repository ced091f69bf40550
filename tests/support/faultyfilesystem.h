#pragma once

#include "platform/filesystem.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <cerrno>
#include <functional>
#include <memory>
#include <optional>

// Wraps the real file system at the seams a user's batch goes through (the folder pair and its
// moves and looks, the folder reads, the moves by path) and hands every call on to it, except
// what a test tells it to refuse, to run in between or to pretend: chosen moves (counted from 1
// over every move asked for, by path or through a folder pair, refused ones included), folder
// creation, the filesystem boundary, the name length limit, case, the name rules and the filesystem's kind.
// A move by path where the test forbade it fails the test: a batch moves its files through the
// folders it holds open, and a test of a batch must not pass along another route.
class FaultyFileSystem : public FileSystem
{
public:
    explicit FaultyFileSystem(FileSystem &real) : m_real(real) {}

    // Refuses the number-th move with the given errno, without touching the disk.
    void refuseMove(int number, int error = EACCES) { m_refusals.insert(number, error); }
    void refuseMakeFolder(int error) { m_makeFolderError = error; }
    // Runs the action just before the number-th move, as another program acting in between (or a
    // crash: an action that throws or kills the process).
    void beforeMove(int number, std::function<void()> action) { m_actions.insert(number, std::move(action)); }
    // Pretends that no two folders, or every two folders, share a filesystem.
    void setSameFilesystem(bool same) { m_sameFilesystem = same; }
    void setMaxNameLength(int length) { m_maxNameLength = length; }
    void setIgnoresCase(bool ignores) { m_ignoresCase = ignores; }
    void setNameRules(const NameRules &rules) { m_nameRules = rules; }
    void setFilesystemKind(const FilesystemKind &kind) { m_filesystemKind = kind; }
    // From now on, a move by path fails the test.
    void forbidPathMoves(bool forbid = true) { m_pathMovesForbidden = forbid; }

    // Every move asked for, as paths, in order, refused ones included.
    const QList<QPair<QString, QString>> &moves() const { return m_moves; }
    int moveCount() const { return int(m_moves.size()); }
    // How many of them went through a folder pair.
    int pairMoveCount() const { return m_pairMoves; }

    FsResult move(const QString &from, const QString &to) override;
    FsResult makeFolder(const QString &path) override;
    FsResult removeFolder(const QString &path) override { return m_real.removeFolder(path); }
    FsResult readFolder(const QString &folder, const std::function<void(const QString &name, EntryKind kind)> &take) override
    {
        return m_real.readFolder(folder, take);
    }
    FileStamp fileStamp(const QString &path) override { return m_real.fileStamp(path); }
    bool sameFilesystem(const QString &folderA, const QString &folderB) override;
    int maxNameLength(const QString &folder) override;
    bool ignoresCase(const QString &folder) override;
    NameRules nameRules(const QString &folder) override { return m_nameRules ? *m_nameRules : m_real.nameRules(folder); }
    FilesystemKind filesystemKind(const QString &folder) override
    {
        return m_filesystemKind ? *m_filesystemKind : m_real.filesystemKind(folder);
    }
    FsResult removeExtraName(const QString &extra, const QString &kept, SecondName sure = SecondName::Link) override
    {
        return m_real.removeExtraName(extra, kept, sure);
    }
    FsResult removeEmptyClaim(const QString &path) override { return m_real.removeEmptyClaim(path); }
    std::unique_ptr<FolderPair> openFolderPair(const QString &first, const QString &second) override;

private:
    friend class FaultyFolderPair;
    // Counts the move, runs what comes before it, and tells the refusal to give, if any.
    std::optional<FsResult> nextMove(const QString &from, const QString &to);

    FileSystem &m_real;
    QHash<int, int> m_refusals;
    QHash<int, std::function<void()>> m_actions;
    QList<QPair<QString, QString>> m_moves;
    int m_pairMoves = 0;
    int m_makeFolderError = 0;
    bool m_pathMovesForbidden = false;
    std::optional<bool> m_sameFilesystem;
    std::optional<int> m_maxNameLength;
    std::optional<bool> m_ignoresCase;
    std::optional<NameRules> m_nameRules;
    std::optional<FilesystemKind> m_filesystemKind;
};
