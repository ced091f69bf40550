#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// The outcome of one file-system call: 0 for success, otherwise the errno that the system gave.
struct FsResult
{
    int error = 0;
    QString detail; // a reason in words where the call gave no errno

    bool ok() const { return error == 0 && detail.isEmpty(); }
    QString reason() const;
    static FsResult success() { return {}; }
    static FsResult failure(int error) { return {error, {}}; }
    static FsResult failure(const QString &detail) { return {0, detail}; }
};

// Identity of a file on disk, stable across renames within one filesystem.
struct FileId
{
    quint64 device = 0;
    quint64 inode = 0;

    bool valid() const { return inode != 0; }
    bool operator==(const FileId &) const = default;
};

// A folder's filesystem, as far as finding its files again goes.
struct FilesystemKind
{
    quint64 type = 0;      // the statfs magic number; 0 when unknown
    bool stableIds = true; // inode numbers survive an unmount (not on FAT, exFAT, SMB, FUSE)

    bool operator==(const FilesystemKind &) const = default;
};

// What a file is besides its id: with the id, or on a filesystem that renumbers its files at
// each mount with the file's name, enough to tell it from another file.
struct FileStamp
{
    FileId id;
    quint32 type = 0; // the file type bits of st_mode; 0 when nothing stands at the path
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool exists() const { return type != 0; }
    bool sameContentStamp(const FileStamp &other) const { return size == other.size && modifiedNs == other.modifiedNs; }
    bool operator==(const FileStamp &) const = default;
};

// One read of a folder as a batch needs it: the entries no file list shows (hidden ones and
// folders) by name, and a count of all the others.
struct FolderSurvey
{
    QStringList unlistable;
    qsizetype others = 0;
};

// Two folders held open while a batch moves its files between them by name: tens of thousands
// of moves and looks need not walk the folders' paths each time.
class FolderPair
{
public:
    enum Side { First, Second };
    virtual ~FolderPair() = default;
    // As FileSystem::fileStamp, for a name in one of the folders.
    virtual FileStamp stamp(Side side, const QString &name) = 0;
    // As FileSystem::move, for names in the folders. `seen`: the stamp the file at the old name
    // was just found with, so that the move need not look again; null to look afresh.
    // Where the file system's stamps may come from any thread, one thread may look while another
    // moves.
    virtual FsResult move(Side from, const QString &name, Side to, const QString &newName, const FileStamp *seen = nullptr) = 0;
};

// Every change the program makes to the disk goes through this interface, so that tests can
// hand in a file system that refuses chosen calls. Paths and names are in the lossless form of
// platform/filename.h; bytesOfName() gives the bytes the system calls take.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // Gives the file at `from` the path `to`. Never replaces an existing file and never copies
    // file contents: a move between filesystems fails with EXDEV.
    virtual FsResult move(const QString &from, const QString &to) = 0;
    virtual FsResult makeFolder(const QString &path) = 0;
    // Removes an empty folder only.
    virtual FsResult removeFolder(const QString &path) = 0;
    // Every entry of a folder (files, folders, hidden ones), unsorted.
    virtual QStringList entryNames(const QString &folder, FsResult *result = nullptr) = 0;
    // Hands every entry of a folder (as entryNames) to `take` as it is read, so that no list of
    // them need stand whole; this default asks entryNames.
    virtual FsResult forEachEntry(const QString &folder, const std::function<void(const QString &name)> &take);
    // As forEachEntry, telling of each entry whether it is a folder itself (a link to one is not);
    // this default looks at each entry.
    virtual FsResult forEachEntryKind(const QString &folder, const std::function<void(const QString &name, bool isFolder)> &take);
    // This default asks entryNames and counts every entry it cannot tell for a folder among the others.
    virtual FsResult surveyFolder(const QString &folder, FolderSurvey &survey);
    // True when anything (even a dangling link) stands at the path.
    virtual bool exists(const QString &path) = 0;
    virtual FileId fileId(const QString &path) = 0;
    // The id of every entry of a folder, the same as fileId gives for each; this default asks
    // fileId entry by entry, a system that hands ids out with the listing answers at once.
    virtual QHash<QString, FileId> entryIds(const QString &folder, FsResult *result = nullptr);
    // The stamps of the named entries of one folder, in the same order. `meanwhile`, when given,
    // runs on this thread while they are taken; this default runs it first, then asks fileStamp
    // name by name.
    virtual QList<FileStamp> fileStamps(const QString &folder, const QStringList &names,
                                        const std::function<void()> &meanwhile = {});
    // Whether fileStamps and the reads of a folder may run on another thread while this one goes
    // on with other calls.
    virtual bool readsFromAnyThread() const { return false; }
    // True when a rename between the two folders can succeed (same mount).
    virtual bool sameFilesystem(const QString &folderA, const QString &folderB) = 0;
    // The longest name, in bytes of the file name encoding, that the folder's filesystem takes.
    virtual int maxNameLength(const QString &folder) = 0;
    // Removes `extra` only while it is a second link to the file at `kept`: the file stays.
    virtual FsResult removeExtraName(const QString &extra, const QString &kept) = 0;
    // Removes an empty regular file with no other name (a claim a cut-short move left) only.
    virtual FsResult removeEmptyClaim(const QString &path) = 0;
    // True when the folder's filesystem takes names that differ only in case for one name.
    virtual bool ignoresCase(const QString &folder) = 0;
    // Never follows a link: the stamp of the link itself.
    virtual FileStamp fileStamp(const QString &path) = 0;
    virtual FilesystemKind filesystemKind(const QString &folder) = 0;
    // The two folders for a batch's moves; this default composes paths and asks move() and
    // fileStamp(), a system that can hold folders open does without.
    virtual std::unique_ptr<FolderPair> openFolderPair(const QString &first, const QString &second);
};

class LinuxFileSystem : public FileSystem
{
public:
    FsResult move(const QString &from, const QString &to) override;
    FsResult makeFolder(const QString &path) override;
    FsResult removeFolder(const QString &path) override;
    QStringList entryNames(const QString &folder, FsResult *result = nullptr) override;
    FsResult forEachEntry(const QString &folder, const std::function<void(const QString &name)> &take) override;
    FsResult forEachEntryKind(const QString &folder, const std::function<void(const QString &name, bool isFolder)> &take) override;
    FsResult surveyFolder(const QString &folder, FolderSurvey &survey) override;
    bool exists(const QString &path) override;
    FileId fileId(const QString &path) override;
    QHash<QString, FileId> entryIds(const QString &folder, FsResult *result = nullptr) override;
    QList<FileStamp> fileStamps(const QString &folder, const QStringList &names,
                                const std::function<void()> &meanwhile = {}) override;
    bool readsFromAnyThread() const override { return true; }
    bool sameFilesystem(const QString &folderA, const QString &folderB) override;
    int maxNameLength(const QString &folder) override;
    FsResult removeExtraName(const QString &extra, const QString &kept) override;
    FsResult removeEmptyClaim(const QString &path) override;
    bool ignoresCase(const QString &folder) override;
    FileStamp fileStamp(const QString &path) override;
    FilesystemKind filesystemKind(const QString &folder) override;
    std::unique_ptr<FolderPair> openFolderPair(const QString &first, const QString &second) override;
};

// Joins a folder and a name with one "/", as the program composes every path.
QString joinPath(const QString &folder, const QString &name);
