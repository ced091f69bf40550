#pragma once

#include <QByteArray>

#include <optional>

// What a filesystem does not take in a file name, so that a rename can be refused before any file
// moves rather than failing halfway. Memory cards (FAT, exFAT), shares (SMB) and NTFS mounted with
// windows_names keep the rules of the system that made them; Linux filesystems only refuse "/" and
// names over 255 bytes.
struct NameRules
{
    // \ : * ? " < > | and the control characters U+0001 to U+001F.
    bool windowsCharacters = false;
    // A name that ends in "." or " " (refused, or stored without it).
    bool trailingDotOrSpace = false;
    // CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, in any case and with any extension.
    bool deviceNames = false;
    // Names are stored as UTF-16: bytes that are no UTF-8 cannot be written.
    bool utf8Only = false;
    // Only printable ASCII (a FUSE FAT driver that writes short names).
    bool asciiOnly = false;
    // The 255 that a name may hold counts UTF-16 units, not bytes (84 kanji fit both ways, 86 only here).
    bool utf16Length = false;
    // "photo.JPG" and "photo.jpg" are one name.
    bool caseInsensitive = false;

    bool operator==(const NameRules &) const = default;
};

enum class NameRefusal {
    None,
    Character,        // `character` is one the filesystem does not take
    ControlCharacter, // `character` is below U+0020
    NotUtf8,          // `character` is the first byte that is no part of valid UTF-8
    TrailingDot,
    TrailingSpace,
    DeviceName,       // the part before the first "." is a reserved device name
    TooLong,
};

struct NameVerdict
{
    NameRefusal refusal = NameRefusal::None;
    char32_t character = 0;

    bool refused() const { return refusal != NameRefusal::None; }
    bool operator==(const NameVerdict &) const = default;
};

// Whether a filesystem with these rules would refuse (or change) the name `name`, given as the
// bytes that would go to the system call, and the first reason found.
NameVerdict checkName(const NameRules &rules, const QByteArray &name);
// The same for a name in the lossless form of filename.h.
NameVerdict checkName(const NameRules &rules, const QString &name);

// Whether the rules refuse anything but "/", NUL and a name over 255 bytes, as every Linux
// filesystem does: a folder there needs no look at each name's characters.
bool refusesMoreThanLinux(const NameRules &rules);

// Why the folder's filesystem refuses `name` (lossless form), in the program's words, for a
// message that names the file; `verdict` is what checkName said.
QString nameRefusalReason(const NameRules &rules, const NameVerdict &verdict, const QString &name);

// Whether two names are one on that filesystem. Case-insensitive filesystems compare each
// character's simple upper case, as their upcase tables do.
bool sameName(const NameRules &rules, const QByteArray &first, const QByteArray &second);

// The rules of a mount by its type as /proc/self/mountinfo spells it ("vfat", "exfat", "ntfs3",
// "cifs", "fuse.fusefat"...) and its filesystem options; nothing when the type does not say (a FUSE
// mount without a known subtype, such as exfat-fuse or ntfs-3g, which show as "fuseblk" or "fuse"
// and do not show windows_names): ask probeNameRules then.
std::optional<NameRules> nameRulesOfType(const QByteArray &type, const QByteArray &options);

// The same for the mount that holds `folder`, by its statfs magic and its mountinfo line.
std::optional<NameRules> knownNameRules(const QByteArray &folder);

// Finds the rules by trying throwaway names in `folder`, which must be writable: each is created
// exclusively, looked up and removed again, inside a hidden folder ".mivot-probe-" + the process
// id that goes with them. A handful of file creations. What a probe cut short by a crash left
// (such a folder of a process that has ended, holding only empty files) goes at the next probe
// in the same folder, before it starts. Returns 0, or the errno of a plain name that could not
// be created there.
int probeNameRules(const QByteArray &folder, NameRules &rules);
