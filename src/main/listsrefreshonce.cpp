#include "main/listsrefreshonce.h"

#include "main/filelist.h"
#include "main/folderlist.h"

ListsRefreshOnce::ListsRefreshOnce(FolderList *folders, FileList *files)
    : m_folders(folders)
    , m_files(files)
{
    ++m_folders->m_held;
    ++m_files->m_held;
}

ListsRefreshOnce::~ListsRefreshOnce()
{
    --m_folders->m_held;
    --m_files->m_held;
    if (m_folders->m_held > 0 || m_files->m_held > 0)
        return;
    if (m_folders->m_readDue && m_files->m_readDue && m_files->path() == m_folders->path()) {
        if (m_files->m_showDue)
            m_files->dropShown();
        FolderContents contents = listFolder(m_folders->path(), m_files->m_filter);
        m_folders->showEntries(contents.subfolders);
        m_files->setEntries(std::move(contents.files));
    } else if (m_folders->m_readDue) {
        m_folders->showEntries(listSubfolders(m_folders->path()));
    }
    if (m_files->m_showDue)
        m_files->showEntries();
}
