#include "support/testfiles.h"

#include "platform/filename.h"
#include "platform/filesystem.h"

#include <QTest>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// System calls on the bytes of the path, so that names that are not UTF-8 work too.
namespace {

QByteArray readAll(int fd)
{
    QByteArray content;
    char buffer[65536];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        content.append(buffer, got);
    ::close(fd);
    return content;
}

} // namespace

void writeFile(const QString &path, const QByteArray &content)
{
    const int fd = ::open(bytesOfName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    QVERIFY2(fd >= 0, qPrintable(displayPath(path)));
    const ssize_t written = ::write(fd, content.constData(), size_t(content.size()));
    ::close(fd);
    QCOMPARE(qsizetype(written), content.size());
}

QByteArray readFile(const QString &path)
{
    const int fd = ::open(bytesOfName(path).constData(), O_RDONLY);
    return fd >= 0 ? readAll(fd) : QByteArray();
}

Snapshot snapshot(const QString &folder)
{
    Snapshot result;
    DIR *dir = ::opendir(bytesOfName(folder).constData());
    if (!dir)
        return result;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const QString name = nameFromBytes(entry->d_name);
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
            result.insert(name, "<folder>");
            continue;
        }
        const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY);
        result.insert(name, fd >= 0 ? readAll(fd) : QByteArray("<unreadable>"));
    }
    ::closedir(dir);
    return result;
}

void clearFolder(const QString &folder)
{
    const Snapshot entries = snapshot(folder);
    for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
        const QString path = joinPath(folder, entry.key());
        if (entry.value() == "<folder>") {
            clearFolder(path);
            ::rmdir(bytesOfName(path).constData());
        } else {
            ::unlink(bytesOfName(path).constData());
        }
    }
}
