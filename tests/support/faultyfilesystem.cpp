#include "support/faultyfilesystem.h"

FsResult FaultyFileSystem::move(const QString &from, const QString &to)
{
    m_moves.append({from, to});
    if (const auto action = m_actions.constFind(int(m_moves.size())); action != m_actions.cend())
        action.value()();
    const auto refusal = m_refusals.constFind(int(m_moves.size()));
    if (refusal != m_refusals.cend())
        return FsResult::failure(refusal.value());
    return m_real.move(from, to);
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
