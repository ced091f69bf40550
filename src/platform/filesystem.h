#pragma once

#include "platform/namerules.h"
#include "platform/safemove.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

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

// What an entry of a folder is.
enum class EntryKind : char { File, Folder, Other };

// Two folders held open while a batch moves its files between them by name: tens of thousands
// of moves and looks need not walk the folders' paths each time.
class FolderPair
{
public:
    enum Side { First, Second };
    virtual ~FolderPair() = default;
    // Whether both folders could be opened; when not, every look finds nothing and every move
    // fails with this reason.
    virtual FsResult opened() const = 0;
    // As FileSystem::fileStamp, for a name in one of the folders.
    virtual FileStamp stamp(Side side, const QString &name) = 0;
    // As FileSystem::move, for names in the folders. `seen`: the stamp the file at the old name
    // was just found with, so that the move need not look again; null to look afresh.
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
    // Hands every entry of a folder (files, folders, hidden ones), unsorted, to `take` as it is
    // read, with its own kind: a link is neither a file nor a folder.
    virtual FsResult readFolder(const QString &folder, const std::function<void(const QString &name, EntryKind kind)> &take) = 0;
    // Never follows a link: the stamp of the link itself.
    virtual FileStamp fileStamp(const QString &path) = 0;
    // True when a rename between the two folders can succeed (same mount).
    virtual bool sameFilesystem(const QString &folderA, const QString &folderB) = 0;
    // The longest name, in bytes of the file name encoding, that the folder's filesystem takes.
    virtual int maxNameLength(const QString &folder) = 0;
    // True when the folder's filesystem takes names that differ only in case for one name.
    virtual bool ignoresCase(const QString &folder) = 0;
    // What the folder's filesystem takes in a name: by the mount's type, or by a probe in the
    // folder with throwaway names, once per mount. Where neither can tell, Linux's rules.
    virtual NameRules nameRules(const QString &folder) = 0;
    virtual FilesystemKind filesystemKind(const QString &folder) = 0;
    // Removes `extra` only while it is a second name of the file at `kept`, as sure as `sure` says:
    // the file stays.
    virtual FsResult removeExtraName(const QString &extra, const QString &kept, SecondName sure = SecondName::Link) = 0;
    // Removes an empty regular file with no other name (a claim a cut-short move left) only.
    virtual FsResult removeEmptyClaim(const QString &path) = 0;
    // The two folders for a batch's moves and looks. A folder that cannot be opened makes every
    // move and look of the pair fail with the system's reason.
    virtual std::unique_ptr<FolderPair> openFolderPair(const QString &first, const QString &second) = 0;

    // Answers made of the operations above.
    // True when anything (even a dangling link) stands at the path.
    bool exists(const QString &path) { return fileStamp(path).exists(); }
    FileId fileId(const QString &path) { return fileStamp(path).id; }
    // Every entry of a folder, unsorted.
    QStringList entryNames(const QString &folder, FsResult *result = nullptr);
    // The id of every entry of a folder.
    QHash<QString, FileId> entryIds(const QString &folder, FsResult *result = nullptr);
    // The stamps of the named entries of one folder, in the same order, looked at from the folder
    // held open. A folder that cannot be opened gives no stamps, and says why in `result`.
    QList<FileStamp> fileStamps(const QString &folder, const QStringList &names, FsResult *result = nullptr);
};

class LinuxFileSystem : public FileSystem
{
public:
    FsResult move(const QString &from, const QString &to) override;
    FsResult makeFolder(const QString &path) override;
    FsResult removeFolder(const QString &path) override;
    FsResult readFolder(const QString &folder, const std::function<void(const QString &name, EntryKind kind)> &take) override;
    FileStamp fileStamp(const QString &path) override;
    bool sameFilesystem(const QString &folderA, const QString &folderB) override;
    int maxNameLength(const QString &folder) override;
    bool ignoresCase(const QString &folder) override;
    NameRules nameRules(const QString &folder) override;
    FilesystemKind filesystemKind(const QString &folder) override;
    FsResult removeExtraName(const QString &extra, const QString &kept, SecondName sure = SecondName::Link) override;
    FsResult removeEmptyClaim(const QString &path) override;
    std::unique_ptr<FolderPair> openFolderPair(const QString &first, const QString &second) override;

private:
    // The rules of each mount probed so far, by its mount id and device (a mount id comes
    // again for a later mount).
    QHash<std::pair<quint64, quint64>, NameRules> m_probedRules;
};

// The one reader of folders: every entry but "." and ".." as the system lists it, with its kind;
// with `followLinks`, a link counts as what it leads to (Other when it leads nowhere).
FsResult readFolderEntries(const QString &folder, bool followLinks,
                           const std::function<void(QByteArrayView name, EntryKind kind)> &take);

// Joins a folder and a name with one "/", as the program composes every path.
QString joinPath(const QString &folder, const QString &name);
