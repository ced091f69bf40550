#pragma once

class FileList;
class FolderList;

// Lets a handler point the folder and file lists at folders and patterns several times over and
// read the disk once. While one stands, the lists take every folder, pattern and refresh at once
// and raise their signals as ever, but read when the outermost one ends: each list that changed
// once, and a folder that both show in one reading for both. Until then the folder list shows its
// earlier entries; the file list shows its earlier ones too, yet reads its folder as soon as anyone
// asks for its entries.
class ListsRefreshOnce
{
public:
    ListsRefreshOnce(FolderList *folders, FileList *files);
    ~ListsRefreshOnce();
    ListsRefreshOnce(const ListsRefreshOnce &) = delete;
    ListsRefreshOnce &operator=(const ListsRefreshOnce &) = delete;

private:
    FolderList *m_folders;
    FileList *m_files;
};
