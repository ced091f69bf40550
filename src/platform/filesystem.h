#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

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

// What a file was when last looked at: the same file (id) with the same size and modification time.
struct FileStamp
{
    FileId id;
    qint64 size = -1;
    qint64 modifiedNs = 0; // nanoseconds since the epoch

    bool valid() const { return id.valid(); }
    bool operator==(const FileStamp &) const = default;
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
    // True when anything (even a dangling link) stands at the path.
    virtual bool exists(const QString &path) = 0;
    virtual FileId fileId(const QString &path) = 0;
    // The id of every entry of a folder, the same as fileId gives for each; this default asks
    // fileId entry by entry, a system that hands ids out with the listing answers at once.
    virtual QHash<QString, FileId> entryIds(const QString &folder, FsResult *result = nullptr);
    // The stamp of what stands at the path, links not followed; invalid when nothing does.
    virtual FileStamp fileStamp(const QString &path);
    // The stamps of the named entries of one folder, in the same order; this default asks
    // fileStamp name by name.
    virtual QList<FileStamp> fileStamps(const QString &folder, const QStringList &names);
    // True when a rename between the two folders can succeed (same mount).
    virtual bool sameFilesystem(const QString &folderA, const QString &folderB) = 0;
    // The longest name, in bytes of the file name encoding, that the folder's filesystem takes.
    virtual int maxNameLength(const QString &folder) = 0;
};

class LinuxFileSystem : public FileSystem
{
public:
    FsResult move(const QString &from, const QString &to) override;
    FsResult makeFolder(const QString &path) override;
    FsResult removeFolder(const QString &path) override;
    QStringList entryNames(const QString &folder, FsResult *result = nullptr) override;
    bool exists(const QString &path) override;
    FileId fileId(const QString &path) override;
    QHash<QString, FileId> entryIds(const QString &folder, FsResult *result = nullptr) override;
    QList<FileStamp> fileStamps(const QString &folder, const QStringList &names) override;
    bool sameFilesystem(const QString &folderA, const QString &folderB) override;
    int maxNameLength(const QString &folder) override;
};

// Joins a folder and a name with one "/", as the program composes every path.
QString joinPath(const QString &folder, const QString &name);
