#pragma once

#include "main/drivelist.h"
#include "main/filelist.h"
#include "main/folderlist.h"
#include "main/platformcontext.h"
#include "batch/renamehistory.h"
#include "batch/namerule.h"
#include "batch/twophasemove.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <optional>

// Background colours of cmdHuka, which are the automatic-extension switch itself.
namespace HukaColor {
constexpr unsigned On = 0x000000FF;
constexpr unsigned Off = 0x8000000F;
}

// The main window.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(const PlatformContext &platform, QWidget *parent = nullptr);

    // Start-up after the single-copy check: program folder, placement, settings, work folder.
    void Form_Load();

    // Settings (form1_settings.cpp).
    void IniLoad(const QString &APP_NAME, const QString &KEY_NAME);
    // Stores a setting; a failure is shown to the user and returned.
    FsResult IniWrite(const QString &APP_NAME, const QString &KEY_NAME, const QString &strIreruyatu);
    unsigned cmdHukaBackColor() const { return m_hukaColor; }
    void setCmdHukaBackColor(unsigned color);

    // Batch commands (batch/).
    void Spacekiller();
    void UBarKiller();
    void RenREname();
    void RenREKaku();
    // The confirmation every batch command asks first, with what the batch will do behind its
    // details button; true when the user chose OK.
    bool confirmBatch(const QString &prompt, const QString &details);
    // The batch of the rule over every file the file list shows, and its preview, read from disk.
    BatchRequest batchRequest(const NameRule &rule) const;
    // The preview is kept until the command's end, for the batch to take its names.
    QString batchPreview(const NameRule &rule);
    // The start button's tooltip of the serial-number and extension dialogs: the batch of the rule
    // previewed from the disk, with the checks' refusals; an empty rule names nothing.
    QString startTooltip(const NameRule &rule);
    // Renames every file the file list shows by the rule, through the work folder, and reports
    // to the user what went wrong, if anything.
    void runBatchMove(const NameRule &rule);

    // The context menus of the file and folder lists (form1_convert.cpp): every CP932 name the
    // file list shows, or the chosen folder's own name, written in UTF-8 with the same characters.
    void convertFileNames();
    void convertFolderName(const QString &folder);

    // Ctrl+Z and Ctrl+Shift+Z (form1_undo.cpp): takes back the newest rename not yet taken back,
    // or redoes the oldest one taken back, after asking; says so when there is nothing to take.
    void takeBackLastRename(TakeBack direction);

    // Moves the folder list, showing a message when the folder cannot be read.
    bool setDir1Path(const QString &folder);

    QString programFolder() const { return m_platform.programFolder; }
    QString workFolder() const;
    FileSystem &fileSystem() const { return m_platform.fileSystem; }
    MessageBoxes &messages() const { return m_platform.messages; }
    bool hasEnded() const { return m_ended; }

    DriveList *Drive1;
    FolderList *Dir1;
    FileList *File1;
    QLabel *Label2;
    QLineEdit *Text2;
    QLabel *Label1[2];
    QLineEdit *Text3;
    QLabel *Label3;
    QLineEdit *Text1[2];
    QGroupBox *Frame1;
    QPushButton *Command4;
    QPushButton *Command5;
    QPushButton *Command6;
    QPushButton *Command7;
    QGroupBox *Frame2;
    QPushButton *Command1;
    QPushButton *cmdHuka;
    QPushButton *Command3;
    QPushButton *Command2;
    QAction *convertFilesAction;
    QAction *convertFolderAction;

signals:
    // The program has ended: the exit sequence ran.
    void ended();

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void cmdHuka_Click();
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void Text1_KeyPress(int Index, int KeyAscii);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void setUpTakeBack();
    void setUpConversion();
    // Keeps the moves just made for Ctrl+Z; says so when they cannot be kept.
    void recordRename(const QString &folder, const QList<PlannedMove> &moves, const QList<FileStamp> &planned = {});
    // What a batch leaves to say: its outcome, and the Ctrl+Z record it wrote or failed to write.
    struct BatchSaid
    {
        QStringList messages;
        FsResult recorded;
        // Where the lists end instead of the sequence's folder: after a folder's own name changed,
        // the folder they showed, under its path now.
        QString listsOn{};
    };
    // The one sequence of every batch and of undo/redo: a busy mouse (and a progress window for a
    // long batch) and closing refused while `run` moves the files, following them through the
    // observer it is handed; then the lists on `folder` (or where `run` says), read once, and one
    // box of what was said.
    void runSequence(const QString &folder, const std::function<BatchSaid(const BatchFollower &)> &run);
    void emptyNameBoxes();
    // Says why a folder that holds the program's own folder keeps its name; true then.
    bool refusedAsProgramFolder(const QString &folder);
    // Where `path` is once the folder `folder` is `renamed`: itself, or under the new name where
    // it lay in the folder.
    static QString pathAfterFolderRename(const QString &path, const QString &folder, const QString &renamed);
    void renameCaseOnly(const QString &folder, const QString &chosenName, const QString &newName);

    PlatformContext m_platform;
    unsigned m_hukaColor = HukaColor::Off;
    QString m_drive; // the root path of the drive shown, for undoing a change that failed
    bool m_ended = false;
    // A close that the window system delivers while a batch runs is refused; the batch goes on.
    bool m_batchRunning = false;
    std::optional<BatchPlan> m_previewed;
};
