#pragma once

#include "batch/twophasemove.h"
#include "platform/filesystem.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QString>

#include <charconv>
#include <concepts>
#include <functional>
#include <memory>
#include <optional>

// The record of the running batch, beside the work folder. Hidden, so that a batch in the
// program folder never lists it among the files it renames.
QString journalPathOf(const QString &programFolder);

struct JournalFile
{
    QString oldName;
    QString newName;
    FileId id;       // found again by this wherever the batch left it, where ids are stable
    FileStamp stamp; // size and time, which must agree too
};

// A step of a move that a crash may have cut short, named in the journal before it was taken
// (see MoveWatcher): an empty claim at `to`, or `to` as a second name of the file at `from`.
struct ExtraNameStep
{
    MoveWatcher::Step step = MoveWatcher::Step::Claim;
    QString from;
    QString to;
};

struct Journal
{
    QString folder;            // the renamed folder
    quint64 folderDevice = 0;  // its device when the batch began
    FilesystemKind filesystem; // its filesystem
    QString holdingFolder;     // the work folder, or the staging folder inside `folder`
    QList<JournalFile> files;  // in plan order

    // Progress, appended after the sealed plan. They only speed up and explain a recovery:
    // the file ids alone say where each file is.
    bool backStarted = false; // phase 2 had begun
    bool undoStarted = false; // the batch was being rolled back
    bool complete = false;    // every file had come back under its new name
    bool stranded = false;    // the batch ended with files it could not bring back
    // Of a batch through a staging folder: its token (a file named after the journal's checksum)
    // stood there before the first move, so that a copy of the medium taken earlier, or another
    // medium at the folder's place, is told from the one the batch ran on.
    QString token;            // the token's name
    bool tokenMade = false;   // the token was made
    bool ended = false;       // the batch or a recovery came to its end: the token may be gone
    bool renameChangesTimes = false; // a rename there gives the file a new time (FAT through FUSE)
    // The last claim or second name a move made, which a crash may have left.
    std::optional<ExtraNameStep> lastExtra;
};

// The plan as the journal holds it: a version line, the folders, one line per file, and a last
// line with the byte count and checksum of everything before it.
QByteArray journalText(const Journal &journal);

// Composes a text of lines, the journal's or the Ctrl+Z record's, and hands it on in pieces with
// a running checksum: a plan of 100,000 files never stands whole in memory. Names are escaped so
// that the text stays readable UTF-8 and gives back every name byte for byte; the text ends with
// a line of its byte count and checksum.
class JournalWriter
{
public:
    using Sink = std::function<bool(const QByteArray &piece)>;
    explicit JournalWriter(Sink sink);

    JournalWriter &operator<<(QByteArrayView text);
    JournalWriter &operator<<(char c);
    template<std::integral Number>
    JournalWriter &operator<<(Number number)
    {
        char digits[24];
        m_piece.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
        return *this;
    }
    JournalWriter &name(const QString &name);
    // Ends the line, and hands the text on once it fills a piece.
    void endLine();
    // The check line. False when the sink refused a piece.
    bool finish();
    // The checksum, once finished.
    const QByteArray &digest() const { return m_digest; }

private:
    void pass();

    Sink m_sink;
    QCryptographicHash m_hash;
    QByteArray m_digest;
    QByteArray m_piece;
    qsizetype m_size = 0;
    bool m_ok = true;
};

// The part of `text` that its check line seals, up to and with the line break before it, and
// where the check line ends; nothing, with the reason in the user's words, when the text was cut
// short or changed after it was written.
std::optional<QByteArrayView> sealedPart(QByteArrayView text, qsizetype &checkEnd, QString &reason);
// A name as JournalWriter::name wrote it; false when the field is no such name.
bool unescapeName(QByteArrayView field, QString &name);
// The lines of a text, and the tab-separated fields of a line.
QList<QByteArrayView> splitLines(QByteArrayView text);
QList<QByteArrayView> splitFields(QByteArrayView line);
// A field that is a number in decimal digits, whole; false for anything else.
template<std::integral Number>
bool toNumber(QByteArrayView field, Number &number)
{
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), number);
    return error == std::errc() && end == field.data() + field.size() && !field.isEmpty();
}

// False, with the reason in the user's words, when the text is not a journal of this version,
// was cut short, or was changed after it was written.
bool readJournal(const QByteArray &text, Journal &journal, QString &reason);

// Renames the journal beside itself (`tag` and the time in its name), out of the way of the next
// batch's record; "kept" and "stranded" ones are tried again at each start. Never replaces a file.
FsResult setJournalAside(FileSystem &fileSystem, const QString &journalPath, const QString &tag, QString *asidePath);
// Removes what a batch left of a journal it never finished writing: no file moved under it.
void discardUnsealedJournal(const QString &programFolder);
// The token of a batch's journal in its staging folder, and the path it has there.
QString tokenPathOf(const Journal &journal);
// Appends progress lines to a journal already written, and waits until they are on disk where
// `sync` says so; a recovery names its own claims and second names so, and its end.
class JournalTail : private MoveWatcher
{
public:
    explicit JournalTail(const QString &journalPath);
    ~JournalTail() override;
    JournalTail(const JournalTail &) = delete;
    JournalTail &operator=(const JournalTail &) = delete;
    // Names every claim and second name that a move makes from now on, before it is made.
    void watchMoves();
    // The recovery or the batch came to its end; on disk before this returns.
    void markEnded();

private:
    void making(Step step, const QByteArray &from, const QByteArray &to) override;

    int m_fd = -1;
    std::unique_ptr<WatchMoves> m_watch;
};

// Removes the journal and waits until the removal is on disk.
FsResult removeJournal(const QString &journalPath);
// Waits until the folder's entries (renames into and out of it) are on disk.
FsResult syncFolder(const QString &folder);

// Writes the journal of a batch before its first move, marks its phases as it goes, and removes
// it once every file has its new name or its old one again. A batch that strands files keeps its
// journal, so that the next start tries once more to bring them home.
class BatchJournal : public BatchObserver, private MoveWatcher
{
public:
    BatchJournal(FileSystem &fileSystem, const QString &programFolder);
    ~BatchJournal() override;
    BatchJournal(const BatchJournal &) = delete;
    BatchJournal &operator=(const BatchJournal &) = delete;

    FsResult planned(const BatchMover &batch) override;
    void moving(const BatchMove &move) override;
    void moved(const BatchMove &move, const FsResult &result) override;
    void finished(const BatchReport &report) override;

    QString path() const { return m_path; }

private:
    FsResult write(const std::function<void(JournalWriter &)> &compose, bool syncName);
    bool ordersWithJournal(const QString &folder);
    void mark(const char *marker);
    void making(Step step, const QByteArray &from, const QByteArray &to) override;
    void makeToken();
    void closeFile();

    FileSystem &m_fs;
    QString m_programFolder;
    QString m_path;
    int m_fd = -1;
    int m_lastIndex = -1;
    bool m_backMarked = false;
    bool m_undoMarked = false;
    bool m_tokenTried = false;
    QString m_token; // the token's path: to be made, then made
    QString m_staging; // the staging folder of a batch that goes through one
    std::unique_ptr<WatchMoves> m_watch;
};
