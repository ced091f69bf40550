#include "platform/namerules.h"

#include "platform/filename.h"

#include <QFile>
#include <QList>
#include <QString>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr int MaxNameLength = 255;

bool windowsForbidden(char32_t c)
{
    return c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
}

// The reserved device names, compared in any case, on the part before the first ".".
bool isDeviceName(const QString &name)
{
    const QString base = name.left(name.indexOf(QLatin1Char('.'))).toUpper();
    if (base == QLatin1String("CON") || base == QLatin1String("PRN") || base == QLatin1String("AUX")
        || base == QLatin1String("NUL"))
        return true;
    return base.size() == 4 && (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT")))
        && base.at(3) >= QLatin1Char('1') && base.at(3) <= QLatin1Char('9');
}

// The code points of a name in the lossless form; a byte that is no UTF-8 comes as U+DC80 to U+DCFF.
QList<char32_t> codePoints(const QString &text)
{
    QList<char32_t> points;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text.at(i);
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            points.append(QChar::surrogateToUcs4(unit, text.at(i + 1)));
            ++i;
        } else {
            points.append(unit.unicode());
        }
    }
    return points;
}

QByteArray upperName(const QByteArray &name)
{
    QString upper;
    for (const char32_t c : codePoints(nameFromBytes(name)))
        upper.append(QChar::fromUcs4(QChar::toUpper(c)));
    return bytesOfName(upper);
}

QByteArray mountTypeOfMagic(__fsword_t magic)
{
    switch (static_cast<unsigned long>(magic)) {
    case 0x4d44: return "vfat";
    case 0x2011BAB0: return "exfat";
    case 0x5346544e: return "ntfs";
    case 0x7366746e: return "ntfs3";
    case 0xFF534D42: return "cifs";
    case 0xFE534D42: return "smb3";
    case 0x65735546: return "fuse";
    default: return "other";
    }
}

// The type and the filesystem options of the mount whose device is `device`, from its mountinfo
// line: "36 25 0:32 / /media/card rw,relatime - fuse.fusefat fusefat rw,user_id=0".
bool mountLine(dev_t device, QByteArray &type, QByteArray &options)
{
    QFile mountinfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountinfo.open(QIODevice::ReadOnly))
        return false;
    const QByteArray wanted = QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
    for (const QByteArray &line : mountinfo.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() < 3 || fields.at(2) != wanted || separator < 0 || separator + 3 >= fields.size())
            continue;
        type = fields.at(separator + 1);
        options = fields.at(separator + 3);
        return true;
    }
    return false;
}

constexpr char ProbeFolderPrefix[] = ".mivot-probe-";

// Empties and removes what a probe cut short left in `folder`: a probe folder of a process that
// has ended, holding nothing but empty files.
void removeStaleProbes(const QByteArray &folder)
{
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return;
    QList<QByteArray> stale;
    if (DIR *dir = ::fdopendir(::dup(folderFd))) {
        while (const dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (!name.startsWith(ProbeFolderPrefix))
                continue;
            bool isNumber = false;
            const qint64 pid = name.mid(int(sizeof ProbeFolderPrefix) - 1).toLongLong(&isNumber);
            if (isNumber && pid > 0 && (pid == ::getpid() || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)))
                stale.append(name);
        }
        ::closedir(dir);
    }
    for (const QByteArray &name : std::as_const(stale)) {
        const int probeFd = ::openat(folderFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (probeFd < 0)
            continue;
        if (DIR *dir = ::fdopendir(::dup(probeFd))) {
            while (const dirent *entry = ::readdir(dir)) {
                struct stat st;
                if (::fstatat(probeFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
                    ::unlinkat(probeFd, entry->d_name, 0);
            }
            ::closedir(dir);
        }
        ::close(probeFd);
        ::unlinkat(folderFd, name.constData(), AT_REMOVEDIR);
    }
    ::close(folderFd);
}

// Throwaway names in a hidden folder of their own, so that a probe cut short leaves nothing the
// file list shows (a device name such as "aux.x" starts with no dot) and nothing among the
// folder's own entries.
class Probe
{
public:
    explicit Probe(const QByteArray &folder)
        : m_folder(folder + '/' + ProbeFolderPrefix + QByteArray::number(qint64(::getpid())))
        , m_base("probe")
    {
        removeStaleProbes(folder);
        m_error = ::mkdir(m_folder.constData(), 0700) == 0 ? 0 : errno;
    }
    ~Probe()
    {
        if (m_error == 0)
            ::rmdir(m_folder.constData());
    }
    Probe(const Probe &) = delete;
    Probe &operator=(const Probe &) = delete;

    // 0 when the probe folder could be made.
    int error() const { return m_error; }
    const QByteArray &folder() const { return m_folder; }

    // 0 when `name` was created under exactly those bytes, else the errno (EILSEQ when the folder
    // shows it under other bytes, as a driver that drops a trailing dot does).
    int tryName(const QByteArray &name)
    {
        const QByteArray path = m_folder + '/' + name;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return errno;
        ::close(fd);
        const int result = listed(name) ? 0 : EILSEQ;
        ::unlink(path.constData());
        return result;
    }
    bool takes(const QByteArray &suffix) { return tryName(m_base + suffix) == 0; }
    const QByteArray &base() const { return m_base; }

private:
    bool listed(const QByteArray &name) const
    {
        DIR *dir = ::opendir(m_folder.constData());
        if (!dir)
            return false;
        bool found = false;
        while (const dirent *entry = ::readdir(dir)) {
            if (name == entry->d_name) {
                found = true;
                break;
            }
        }
        ::closedir(dir);
        return found;
    }

    QByteArray m_folder;
    QByteArray m_base;
    int m_error = 0;
};

} // namespace

NameVerdict checkName(const NameRules &rules, const QByteArray &name)
{
    return checkName(rules, nameFromBytes(name));
}

NameVerdict checkName(const NameRules &rules, const QString &name)
{
    const QList<char32_t> points = codePoints(name);
    for (const char32_t c : points) {
        const bool escapedByte = c >= 0xDC80 && c <= 0xDCFF;
        if (c == '/' || c == 0)
            return {NameRefusal::Character, c};
        if (escapedByte && rules.utf8Only)
            return {NameRefusal::NotUtf8, c - 0xDC00};
        if (rules.windowsCharacters && c < 0x20)
            return {NameRefusal::ControlCharacter, c};
        if (rules.windowsCharacters && windowsForbidden(c))
            return {NameRefusal::Character, c};
        if (rules.asciiOnly && (c < 0x20 || c > 0x7e))
            return {NameRefusal::Character, escapedByte ? c - 0xDC00 : c};
    }
    if (rules.trailingDotOrSpace && name.endsWith(QLatin1Char('.')))
        return {NameRefusal::TrailingDot, '.'};
    if (rules.trailingDotOrSpace && name.endsWith(QLatin1Char(' ')))
        return {NameRefusal::TrailingSpace, ' '};
    if (rules.deviceNames && isDeviceName(name))
        return {NameRefusal::DeviceName, 0};
    if ((rules.utf16Length ? name.size() : bytesOfName(name).size()) > MaxNameLength)
        return {NameRefusal::TooLong, 0};
    return {};
}

bool refusesMoreThanLinux(const NameRules &rules)
{
    NameRules plain;
    plain.caseInsensitive = rules.caseInsensitive;
    return rules != plain;
}

QString nameRefusalReason(const NameRules &rules, const NameVerdict &verdict, const QString &name)
{
    const QString here = QStringLiteral("このフォルダのファイルシステムでは");
    switch (verdict.refusal) {
    case NameRefusal::None:
        return QString();
    case NameRefusal::Character:
        return QStringLiteral("「%1」は%2名前に使えません").arg(QString::fromUcs4(&verdict.character, 1), here);
    case NameRefusal::ControlCharacter:
        return QStringLiteral("制御文字（U+%1）は%2名前に使えません")
            .arg(QString::number(uint(verdict.character), 16).toUpper().rightJustified(4, QLatin1Char('0')), here);
    case NameRefusal::NotUtf8:
        return QStringLiteral("%1、UTF-8 でない文字コードの名前（\\x%2 など）は使えません")
            .arg(here, QString::number(uint(verdict.character), 16).toUpper());
    case NameRefusal::TrailingDot:
        return QStringLiteral("%1、「.」で終わる名前は使えません").arg(here);
    case NameRefusal::TrailingSpace:
        return QStringLiteral("%1、空白で終わる名前は使えません").arg(here);
    case NameRefusal::DeviceName:
        return QStringLiteral("「%1」は装置の名前として予約されているため、%2名前に使えません")
            .arg(name.left(name.indexOf(QLatin1Char('.'))), here);
    case NameRefusal::TooLong:
        if (rules.utf16Length)
            return QStringLiteral("名前が長すぎます（%1 文字、%2 %3 文字まで）").arg(name.size()).arg(here).arg(MaxNameLength);
        return QStringLiteral("名前が長すぎます（%1 バイト、%2 %3 バイトまで）")
            .arg(bytesOfName(name).size())
            .arg(here)
            .arg(MaxNameLength);
    }
    return QString();
}

bool sameName(const NameRules &rules, const QByteArray &first, const QByteArray &second)
{
    if (first == second)
        return true;
    return rules.caseInsensitive && upperName(first) == upperName(second);
}

std::optional<NameRules> nameRulesOfType(const QByteArray &type, const QByteArray &options)
{
    const QList<QByteArray> optionList = options.split(',');
    NameRules windows;
    windows.windowsCharacters = true;
    windows.trailingDotOrSpace = true;
    windows.utf8Only = true;
    windows.caseInsensitive = true;
    if (type == "msdos")
        return windows;
    // Long names are UTF-16 there.
    if (type == "vfat") {
        windows.utf16Length = true;
        return windows;
    }
    if (type == "fuse.fusefat") {
        windows.asciiOnly = true;
        return windows;
    }
    if (type == "exfat") {
        windows.utf16Length = true;
        return windows;
    }
    // A share: the server's disk decides; a Windows server also refuses the device names, and
    // whether case counts is not shown, so names that differ only in case count as one. A share
    // through smbnetfs answers a probe's odd names with errors that linger, so it is never probed.
    if (type == "cifs" || type == "smb3" || type == "fuse.smbnetfs") {
        windows.deviceNames = true;
        return windows;
    }
    if (type == "ntfs" || type == "ntfs3") {
        NameRules ntfs;
        ntfs.utf8Only = true;
        ntfs.utf16Length = true;
        ntfs.caseInsensitive = optionList.contains("nocase");
        if (optionList.contains("windows_names")) {
            ntfs.windowsCharacters = true;
            ntfs.trailingDotOrSpace = true;
            ntfs.deviceNames = true;
        }
        return ntfs;
    }
    if (type == "fuse" || type == "fuseblk" || type.startsWith("fuse."))
        return std::nullopt;
    return NameRules();
}

std::optional<NameRules> knownNameRules(const QByteArray &folder)
{
    struct stat folderStat;
    if (::stat(folder.constData(), &folderStat) != 0)
        return std::nullopt;
    QByteArray type;
    QByteArray options;
    if (!mountLine(folderStat.st_dev, type, options)) {
        struct statfs fs;
        if (::statfs(folder.constData(), &fs) != 0)
            return std::nullopt;
        type = mountTypeOfMagic(fs.f_type);
    }
    return nameRulesOfType(type, options);
}

int probeNameRules(const QByteArray &folder, NameRules &rules)
{
    Probe probe(folder);
    if (probe.error())
        return probe.error();
    if (const int error = probe.tryName(probe.base()))
        return error;
    rules = NameRules();
    rules.windowsCharacters = !probe.takes(":") || !probe.takes("?");
    rules.trailingDotOrSpace = !probe.takes(".") || !probe.takes(" ");
    rules.deviceNames = probe.tryName("aux." + probe.base()) != 0;
    rules.utf8Only = !probe.takes("\xff");
    rules.asciiOnly = !probe.takes("\xc3\xa9");
    // 90 kanji after the base: over 255 bytes, under 100 UTF-16 units.
    rules.utf16Length = !rules.asciiOnly && probe.takes(QString(90, QChar(0x6F22)).toUtf8());
    const QByteArray lower = probe.base() + "-case";
    const QByteArray path = probe.folder() + '/' + lower;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        struct stat upper;
        rules.caseInsensitive = ::stat((probe.folder() + '/' + lower.toUpper()).constData(), &upper) == 0;
        ::unlink(path.constData());
    }
    return 0;
}
