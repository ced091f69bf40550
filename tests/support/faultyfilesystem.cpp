#include "support/faultyfilesystem.h"

#include <QTest>

class FaultyFolderPair : public FolderPair
{
public:
    FaultyFolderPair(FaultyFileSystem &fs, std::unique_ptr<FolderPair> real, const QString &first, const QString &second)
        : m_fs(fs)
        , m_real(std::move(real))
        , m_folders{first, second}
    {
    }

    FsResult opened() const override { return m_real->opened(); }
    FileStamp stamp(Side side, const QString &name) override { return m_real->stamp(side, name); }
    FsResult move(Side from, const QString &name, Side to, const QString &newName, const FileStamp *seen) override
    {
        ++m_fs.m_pairMoves;
        if (const std::optional<FsResult> refused = m_fs.nextMove(joinPath(m_folders[from], name), joinPath(m_folders[to], newName)))
            return *refused;
        return m_real->move(from, name, to, newName, seen);
    }

private:
    FaultyFileSystem &m_fs;
    std::unique_ptr<FolderPair> m_real;
    QString m_folders[2];
};

std::optional<FsResult> FaultyFileSystem::nextMove(const QString &from, const QString &to)
{
    m_moves.append({from, to});
    if (const auto action = m_actions.constFind(int(m_moves.size())); action != m_actions.cend())
        action.value()();
    const auto refusal = m_refusals.constFind(int(m_moves.size()));
    if (refusal != m_refusals.cend())
        return FsResult::failure(refusal.value());
    return std::nullopt;
}

FsResult FaultyFileSystem::move(const QString &from, const QString &to)
{
    if (m_pathMovesForbidden) {
        QTest::qFail(qPrintable(QStringLiteral("a move by path, off the batch's route: %1 → %2").arg(from, to)), __FILE__, __LINE__);
        return FsResult::failure(EPERM);
    }
    if (const std::optional<FsResult> refused = nextMove(from, to))
        return *refused;
    return m_real.move(from, to);
}

std::unique_ptr<FolderPair> FaultyFileSystem::openFolderPair(const QString &first, const QString &second)
{
    return std::make_unique<FaultyFolderPair>(*this, m_real.openFolderPair(first, second), first, second);
}

FsResult FaultyFileSystem::makeFolder(const QString &path)
{
    if (m_makeFolderError != 0)
        return FsResult::failure(m_makeFolderError);
    return m_real.makeFolder(path);
}

bool FaultyFileSystem::sameFilesystem(const QString &folderA, const QString &folderB)
{
    return m_sameFilesystem ? *m_sameFilesystem : m_real.sameFilesystem(folderA, folderB);
}

int FaultyFileSystem::maxNameLength(const QString &folder)
{
    return m_maxNameLength ? *m_maxNameLength : m_real.maxNameLength(folder);
}

bool FaultyFileSystem::ignoresCase(const QString &folder)
{
    return m_ignoresCase ? *m_ignoresCase : m_real.ignoresCase(folder);
}
