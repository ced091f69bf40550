#include "dialogs/form4.h"
#include "main/form1.h"
#include "main/listsrefreshonce.h"
#include "main/sharedvalues.h"
#include "main/startup.h"
#include "platform/filename.h"
#include "platform/profilefile.h"
#include "platform/programfolder.h"
#include "support/scriptedmessages.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <memory>
#include <vector>

namespace {

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QStringList shownEntries(const FileList *list)
{
    QStringList names;
    for (int i = 0; i < list->model()->rowCount(); ++i)
        names.append(list->model()->index(i, 0).data().toString());
    return names;
}

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void startupOnEmptyProgramFolder();
    void startupWithLeftoverWorkFolderSaysNothing();
    void programsOwnFilesNotListed();
    void startupReadsSwitch_data();
    void startupReadsSwitch();
    void startupReadsDisplayPattern();
    void longStoredValueReadWhole();
    void layoutMatchesTable();
    void darkThemeAndThemeFontLeaveTheLook();

    void switchPressesFromOff();
    void switchPressesFromOnAtStart();
    void settingWriteFailureIsShown();
    void longMessageWrapsWithoutChangingText();

    void folderChangeBringsFileListAndEmptiesBoxes();
    void listsHeldReadOnceAtTheEnd();
    void fileClickSplitsNameAndKeepsTypedName();
    void cutNameShowsWholeAsTooltip();
    void openingSubfolderByKeyboard();
    void unreadableFolderKeepsLists();
    void driveChangeMovesListsToRoot();

    void exitRemovesEmptyWorkFolder();
    void exitWithFilesLeftNamesThemAndDeletesNothing();
    void titleBarCloseRunsExit();
    void secondCopyRefused();

    void firstPlaceOfInstalledCopyAndCommandLine();
    void commandLinePlaceOpens();
    void helpAndVersionWithoutDisplay();

private:
    std::unique_ptr<Form1> makeForm();
    void writeOption(const QString &key, const QString &value);

    std::unique_ptr<QTemporaryDir> m_programFolder;
    std::unique_ptr<QTemporaryDir> m_browsed;
    LinuxFileSystem m_fileSystem;
    ScriptedMessages m_messages;
};

void TestForm1::init()
{
    shared::reset();
    m_messages.clear();
    m_programFolder = std::make_unique<QTemporaryDir>();
    m_browsed = std::make_unique<QTemporaryDir>();
}

std::unique_ptr<Form1> TestForm1::makeForm()
{
    auto form = std::make_unique<Form1>(PlatformContext{m_fileSystem, m_messages, m_programFolder->path()});
    form->Form_Load();
    form->show();
    return form;
}

void TestForm1::writeOption(const QString &key, const QString &value)
{
    ProfileFile(m_programFolder->filePath(QStringLiteral("Option.ini"))).write(QStringLiteral("拡張子"), key, value);
}

void TestForm1::startupOnEmptyProgramFolder()
{
    touch(m_programFolder->filePath(QStringLiteral("b.txt")));
    touch(m_programFolder->filePath(QStringLiteral("a.jpg")));
    auto form = makeForm();
    QCOMPARE(form->cmdHukaBackColor(), HukaColor::Off);
    QVERIFY(form->Text1[1]->isEnabled());
    QCOMPARE(form->File1->pattern(), QString());
    QCOMPARE(form->Dir1->path(), m_programFolder->path());
    QCOMPARE(form->File1->path(), m_programFolder->path());
    QCOMPARE(shownEntries(form->File1), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.txt")}));
    QVERIFY(QFileInfo(workFolderOf(m_programFolder->path())).isDir());
    QVERIFY(m_messages.shown().isEmpty());
    QVERIFY(!QFile::exists(m_programFolder->filePath(QStringLiteral("Option.ini"))));
}

void TestForm1::startupWithLeftoverWorkFolderSaysNothing()
{
    const QString work = workFolderOf(m_programFolder->path());
    QVERIFY(QDir().mkdir(work));
    touch(work + QStringLiteral("/left.txt"));
    auto form = makeForm();
    QVERIFY(m_messages.shown().isEmpty());
    QVERIFY(QFile::exists(work + QStringLiteral("/left.txt")));
}

void TestForm1::programsOwnFilesNotListed()
{
    touch(m_programFolder->filePath(QStringLiteral("a.txt")));
    touch(m_programFolder->filePath(QStringLiteral("Option.ini")));
    touch(m_browsed->filePath(QStringLiteral("Option.ini")));
    auto form = makeForm();
    QCOMPARE(form->File1->entries(), QStringList{QStringLiteral("a.txt")});
    // Only where they stand: a file of the same name elsewhere is the user's.
    form->setDir1Path(m_browsed->path());
    QCOMPARE(form->File1->entries(), QStringList{QStringLiteral("Option.ini")});
    form->setDir1Path(QCoreApplication::applicationDirPath());
    QVERIFY(!form->File1->entries().contains(QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
}

void TestForm1::startupReadsSwitch_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("on");
    QTest::newRow("True") << "True" << true;
    QTest::newRow("True and more") << "Truely" << true;
    QTest::newRow("lower case") << "true" << false;
    QTest::newRow("capitals") << "TRUE" << false;
    QTest::newRow("off word") << "fsdfds" << false;
    QTest::newRow("short") << "Tru" << false;
}

void TestForm1::startupReadsSwitch()
{
    QFETCH(QString, stored);
    QFETCH(bool, on);
    writeOption(QStringLiteral("添付"), stored);
    auto form = makeForm();
    QCOMPARE(form->cmdHukaBackColor(), on ? HukaColor::On : HukaColor::Off);
    // Start-up sets only the colour: the extension box stays enabled until the switch is pressed.
    QVERIFY(form->Text1[1]->isEnabled());
}

void TestForm1::startupReadsDisplayPattern()
{
    touch(m_programFolder->filePath(QStringLiteral("a.jpg")));
    touch(m_programFolder->filePath(QStringLiteral("b.PNG")));
    touch(m_programFolder->filePath(QStringLiteral("c.txt")));
    writeOption(QStringLiteral("表示"), QStringLiteral("*.jpg;*.png"));
    auto form = makeForm();
    QCOMPARE(form->File1->pattern(), QStringLiteral("*.jpg;*.png"));
    QCOMPARE(shownEntries(form->File1), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.PNG")}));
}

void TestForm1::longStoredValueReadWhole()
{
    QString pattern;
    while (pattern.size() < 300)
        pattern += QStringLiteral("*.ext%1;").arg(pattern.size());
    pattern.chop(1);
    writeOption(QStringLiteral("表示"), pattern);
    auto form = makeForm();
    QCOMPARE(form->File1->pattern(), pattern);
    QCOMPARE(shared::ProfileBuffer.indexOf(QChar(0)), pattern.size());
}

void TestForm1::layoutMatchesTable()
{
    auto form = makeForm();
    QCOMPARE(form->windowTitle(), QStringLiteral("Ｍｉｖｏｔ   (Quandelspur)ver2.0"));
    QCOMPARE(form->size(), QSize(568, 420));
    QCOMPARE(form->Text2->geometry(), QRect(208, 24, 281, 18));
    QCOMPARE(form->Text1[1]->geometry(), QRect(504, 64, 49, 18));
    QCOMPARE(form->Command7->geometry(), QRect(24, 208, 129, 33));
    QCOMPARE(form->Command7->parentWidget(), form->Frame1);
    QCOMPARE(form->cmdHuka->parentWidget(), form->Frame2);
    QCOMPARE(form->Command2->geometry(), QRect(424, 336, 129, 41));
    QCOMPARE(form->File1->geometry(), QRect(16, 192, 169, 222));
    QCOMPARE(form->Command6->toolTip(), QStringLiteral("XXX００１～XXX１１１っていう感じ"));
    QCOMPARE(form->Command5->text(), QStringLiteral("”＿”除去"));
    QCOMPARE(form->Frame2->title(), QStringLiteral("Ｏｐｔｉｏｎ"));
    QCOMPARE(form->Label2->palette().color(QPalette::Window), QColor(0xFF, 0xC0, 0xC0));
    QCOMPARE(form->Label3->palette().color(QPalette::Window), QColor(0xC0, 0xFF, 0xFF));
    QCOMPARE(form->Drive1->nextInFocusChain(), form->Dir1);
    QCOMPARE(form->Text1[1]->nextInFocusChain(), form->Command2);
    // What a screen reader says of each box and list.
    const QList<std::pair<QWidget *, QString>> named{
        {form->Text2, QStringLiteral("元ファイル名")}, {form->Text1[0], QStringLiteral("変換ファイル名")},
        {form->Text3, QStringLiteral("元ファイル名の拡張子")}, {form->Text1[1], QStringLiteral("変換ファイル名の拡張子")},
        {form->Dir1, QStringLiteral("フォルダ")}, {form->File1, QStringLiteral("ファイル")},
        {form->Drive1->view(), QStringLiteral("ドライブ")}};
    for (const auto &[widget, name] : named)
        QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);
}

void TestForm1::darkThemeAndThemeFontLeaveTheLook()
{
    // A dark palette is there from the start; a theme's font comes after start-up, as qt6ct sends it.
    applyApplicationLook();
    const QFont programFont = QApplication::font();
    const QPalette themePalette = QApplication::palette();
    QPalette dark(QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Base, QColor(20, 20, 20));
    QApplication::setPalette(dark);
    auto form = makeForm();
    QFont themeFont(QStringLiteral("DejaVu Serif"));
    themeFont.setPixelSize(17);
    QApplication::setFont(themeFont);

    for (QWidget *widget : std::initializer_list<QWidget *>{form->Label2, form->Label3, form->Frame1, form->Command4})
        QCOMPARE(widget->palette().color(widget->foregroundRole()), QColor(Qt::black));
    QCOMPARE(form->Text2->palette().color(QPalette::Text), QColor(Qt::black));
    QCOMPARE(form->Text1[0]->palette().color(QPalette::Base), QColor(Qt::white));
    for (QWidget *widget : std::initializer_list<QWidget *>{form->cmdHuka, form->Label3, form->Text2, form->File1})
        QCOMPARE(widget->font(), programFont);
    // The about window is the main window's, and looks like it.
    Form4 about(form.get());
    QCOMPARE(about.Command1->font(), programFont);
    QCOMPARE(about.accessibleName(), QStringLiteral("Version情報"));

    QApplication::setPalette(themePalette);
    QApplication::setFont(programFont);
}

void TestForm1::switchPressesFromOff()
{
    auto form = makeForm();
    const ProfileFile file(m_programFolder->filePath(QStringLiteral("Option.ini")));
    QTest::mouseClick(form->cmdHuka, Qt::LeftButton);
    QCOMPARE(form->cmdHukaBackColor(), HukaColor::On);
    QVERIFY(!form->Text1[1]->isEnabled());
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("添付")), QStringLiteral("True"));
    QCOMPARE(form->cmdHuka->palette().color(QPalette::Button), QColor(255, 0, 0));

    QTest::mouseClick(form->cmdHuka, Qt::LeftButton);
    QCOMPARE(form->cmdHukaBackColor(), HukaColor::Off);
    QVERIFY(form->Text1[1]->isEnabled());
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("添付")), QStringLiteral("fsdfds"));
    QVERIFY(m_messages.shown().isEmpty());

    // Enter on the focused button presses it, as Space does; a screen reader hears the state.
    form->cmdHuka->setFocus();
    QTest::keyClick(form->cmdHuka, Qt::Key_Return);
    QCOMPARE(form->cmdHukaBackColor(), HukaColor::On);
    QVERIFY(QAccessible::queryAccessibleInterface(form->cmdHuka)->state().checked);
    QTest::keyClick(form->cmdHuka, Qt::Key_Space);
    QCOMPARE(form->cmdHukaBackColor(), HukaColor::Off);
    QVERIFY(QAccessible::queryAccessibleInterface(form->cmdHuka)->state().checkable);
    QVERIFY(!QAccessible::queryAccessibleInterface(form->cmdHuka)->state().checked);
}

void TestForm1::switchPressesFromOnAtStart()
{
    writeOption(QStringLiteral("添付"), QStringLiteral("True"));
    auto form = makeForm();
    const ProfileFile file(m_programFolder->filePath(QStringLiteral("Option.ini")));
    QTest::mouseClick(form->cmdHuka, Qt::LeftButton);
    QCOMPARE(form->cmdHukaBackColor(), HukaColor::Off);
    QVERIFY(form->Text1[1]->isEnabled());
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("添付")), QStringLiteral("fsdfds"));
    // Off shows as off: the button face, no trace of red.
    const QImage face = form->cmdHuka->grab().toImage();
    const QColor shown = face.pixelColor(6, face.height() / 2);
    QVERIFY2(qAbs(shown.red() - shown.blue()) < 16, qPrintable(shown.name()));
    QTest::mouseClick(form->cmdHuka, Qt::LeftButton);
    QCOMPARE(form->cmdHukaBackColor(), HukaColor::On);
    QVERIFY(!form->Text1[1]->isEnabled());
    QCOMPARE(file.read(QStringLiteral("拡張子"), QStringLiteral("添付")), QStringLiteral("True"));
}

void TestForm1::settingWriteFailureIsShown()
{
    // A folder where the settings file should be: the write cannot succeed.
    QVERIFY(QDir(m_programFolder->path()).mkdir(QStringLiteral("Option.ini")));
    auto form = makeForm();
    QTest::mouseClick(form->cmdHuka, Qt::LeftButton);
    QCOMPARE(m_messages.shown().size(), 1);
    QVERIFY(m_messages.lastPrompt().startsWith(QStringLiteral("設定を保存できませんでした。")));
    QVERIFY(m_messages.lastPrompt().contains(m_programFolder->filePath(QStringLiteral("Option.ini"))));
    // The switch still holds for this run.
    QCOMPARE(form->cmdHukaBackColor(), HukaColor::On);
    QVERIFY(!form->Text1[1]->isEnabled());
}

void TestForm1::folderChangeBringsFileListAndEmptiesBoxes()
{
    touch(m_browsed->filePath(QStringLiteral("photo.JPG")));
    auto form = makeForm();
    for (QLineEdit *box : {form->Text1[0], form->Text1[1], form->Text2, form->Text3})
        box->setText(QStringLiteral("x"));
    QVERIFY(form->setDir1Path(m_browsed->path()));
    QCOMPARE(form->File1->path(), m_browsed->path());
    QCOMPARE(form->File1->entries(), QStringList{QStringLiteral("photo.JPG")});
    for (QLineEdit *box : {form->Text1[0], form->Text1[1], form->Text2, form->Text3})
        QVERIFY(box->text().isEmpty());
}

void TestForm1::listsHeldReadOnceAtTheEnd()
{
    touch(m_browsed->filePath(QStringLiteral("a.txt")));
    auto form = makeForm();
    {
        const ListsRefreshOnce once(form->Dir1, form->File1);
        QVERIFY(form->setDir1Path(m_browsed->path()));
        form->File1->setPattern(QStringLiteral("*.txt"));
        // The handlers ran, and entries asked for are read there and then...
        QCOMPARE(form->File1->path(), m_browsed->path());
        QCOMPARE(form->File1->entries(), QStringList{QStringLiteral("a.txt")});
        // ...but the folder list waits for the end, past the folder change's own hold.
        QVERIFY(QDir(m_browsed->path()).mkdir(QStringLiteral("sub")));
        QVERIFY(form->Dir1->findItems(QStringLiteral("sub"), Qt::MatchExactly).isEmpty());
    }
    QCOMPARE(form->Dir1->findItems(QStringLiteral("sub"), Qt::MatchExactly).size(), 1);
    QCOMPARE(shownEntries(form->File1), QStringList{QStringLiteral("a.txt")});
    QCOMPARE(form->File1->fileName(), QString());
}

void TestForm1::fileClickSplitsNameAndKeepsTypedName()
{
    touch(m_browsed->filePath(QStringLiteral("report.2007.txt")));
    touch(m_browsed->filePath(QStringLiteral("README")));
    auto form = makeForm();
    form->setDir1Path(m_browsed->path());
    QTest::keyClicks(form->Text1[0], QStringLiteral("new"));

    FileList *list = form->File1;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    QCOMPARE(form->Text2->text(), QStringLiteral("report.2007"));
    QCOMPARE(form->Text3->text(), QStringLiteral("txt"));
    QCOMPARE(form->Text1[1]->text(), QStringLiteral("txt"));
    QCOMPARE(form->Text1[0]->text(), QStringLiteral("new"));

    // The keyboard chooses too.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(form->Text2->text(), QStringLiteral("README"));
    QCOMPARE(form->Text3->text(), QString());
    QCOMPARE(form->Text1[1]->text(), QString());
    QCOMPARE(form->Text1[0]->text(), QStringLiteral("new"));

    // A click below the entries keeps the choice that the boxes show.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, list->viewport()->height() - 5));
    QCOMPARE(list->fileName(), QStringLiteral("README"));
}

void TestForm1::cutNameShowsWholeAsTooltip()
{
    const QString longName = QStringLiteral("旅行 写真 2024年 夏 北海道 富良野 ラベンダー畑 001.jpg");
    touch(m_browsed->filePath(longName));
    touch(m_browsed->filePath(QStringLiteral("a.jpg")));
    auto form = makeForm();
    form->setDir1Path(m_browsed->path());
    FileList *list = form->File1;
    const auto tooltipAt = [&](int row) {
        QToolTip::hideText();
        const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QCOMPARE(tooltipAt(0), QString());
    QCOMPARE(tooltipAt(1), longName);
}

void TestForm1::openingSubfolderByKeyboard()
{
    QVERIFY(QDir(m_browsed->path()).mkdir(QStringLiteral("sub")));
    touch(m_browsed->filePath(QStringLiteral("sub/inner.txt")));
    auto form = makeForm();
    form->setDir1Path(m_browsed->path());
    form->Text1[0]->setText(QStringLiteral("typed"));
    const QList<QListWidgetItem *> items = form->Dir1->findItems(QStringLiteral("sub"), Qt::MatchEndsWith);
    QCOMPARE(items.size(), 1);
    form->Dir1->setCurrentItem(items.first());
    form->Dir1->setFocus();
    QTest::keyClick(form->Dir1, Qt::Key_Return);
    QCOMPARE(form->Dir1->path(), m_browsed->filePath(QStringLiteral("sub")));
    QCOMPARE(form->File1->entries(), QStringList{QStringLiteral("inner.txt")});
    QVERIFY(form->Text1[0]->text().isEmpty());

    // The chain above the current folder opens its parent.
    const QList<QListWidgetItem *> parents = form->Dir1->findItems(QDir(m_browsed->path()).dirName(), Qt::MatchEndsWith);
    QCOMPARE(parents.size(), 1);
    form->Dir1->setCurrentItem(parents.first());
    QTest::keyClick(form->Dir1, Qt::Key_Return);
    QCOMPARE(form->Dir1->path(), m_browsed->path());
}

void TestForm1::unreadableFolderKeepsLists()
{
    QVERIFY(QDir(m_browsed->path()).mkdir(QStringLiteral("gone")));
    touch(m_browsed->filePath(QStringLiteral("a.txt")));
    auto form = makeForm();
    form->setDir1Path(m_browsed->path());
    form->Text1[0]->setText(QStringLiteral("typed"));
    const QList<QListWidgetItem *> items = form->Dir1->findItems(QStringLiteral("gone"), Qt::MatchEndsWith);
    QCOMPARE(items.size(), 1);
    QVERIFY(QDir(m_browsed->path()).rmdir(QStringLiteral("gone")));

    form->Dir1->setCurrentItem(items.first());
    QTest::keyClick(form->Dir1, Qt::Key_Return);
    QCOMPARE(m_messages.shown().size(), 1);
    QVERIFY(m_messages.lastPrompt().startsWith(QStringLiteral("フォルダを開けませんでした。")));
    QVERIFY(m_messages.lastPrompt().contains(QStringLiteral("gone")));
    QCOMPARE(form->Dir1->path(), m_browsed->path());
    QCOMPARE(form->File1->entries(), QStringList{QStringLiteral("a.txt")});
    QCOMPARE(form->Text1[0]->text(), QStringLiteral("typed"));
}

void TestForm1::driveChangeMovesListsToRoot()
{
    auto form = makeForm();
    form->Text1[0]->setText(QStringLiteral("typed"));
    form->Text2->setText(QStringLiteral("x"));
    QVERIFY(form->Drive1->count() > 0);
    // The drive that is chosen already, and the folder that is open already: no change at all.
    emit form->Drive1->activated(form->Drive1->currentIndex());
    emit form->Dir1->openRequested(form->Dir1->path());
    QCOMPARE(form->Dir1->path(), m_programFolder->path());
    QCOMPARE(form->Text1[0]->text(), QStringLiteral("typed"));

    const int other = form->Drive1->currentIndex() == 0 ? 1 : 0;
    if (other >= form->Drive1->count())
        return;
    form->Drive1->setCurrentIndex(other);
    emit form->Drive1->activated(other);
    QCOMPARE(form->Dir1->path(), QDir::cleanPath(form->Drive1->drive()));
    QCOMPARE(form->File1->path(), form->Dir1->path());
    QVERIFY(form->Text1[0]->text().isEmpty());
    QVERIFY(form->Text2->text().isEmpty());
}

void TestForm1::exitRemovesEmptyWorkFolder()
{
    auto form = makeForm();
    QSignalSpy ended(form.get(), &Form1::ended);
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    form->Text1[0]->setFocus();
    QCOMPARE(form->Command2->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
    QTest::keyClick(form->Text1[0], Qt::Key_X, Qt::AltModifier);
    // An access key presses its button with a short visible delay.
    QTRY_COMPARE(ended.count(), 1);
    QVERIFY(!QFile::exists(workFolderOf(m_programFolder->path())));
    QVERIFY(m_messages.shown().isEmpty());
    QVERIFY(!form->isVisible());
}

void TestForm1::exitWithFilesLeftNamesThemAndDeletesNothing()
{
    auto form = makeForm();
    const QString work = workFolderOf(m_programFolder->path());
    touch(work + QStringLiteral("/one.txt"));
    touch(work + QStringLiteral("/two.txt"));
    QSignalSpy ended(form.get(), &Form1::ended);
    QTest::mouseClick(form->Command2, Qt::LeftButton);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(m_messages.shown().size(), 1);
    QVERIFY(m_messages.lastPrompt().contains(work));
    QVERIFY(m_messages.lastPrompt().contains(QStringLiteral("2 個")));
    QVERIFY(QFile::exists(work + QStringLiteral("/one.txt")));
    QVERIFY(QFile::exists(work + QStringLiteral("/two.txt")));
}

void TestForm1::titleBarCloseRunsExit()
{
    auto form = makeForm();
    QSignalSpy ended(form.get(), &Form1::ended);
    QVERIFY(form->close());
    QCOMPARE(ended.count(), 1);
    QVERIFY(!QFile::exists(workFolderOf(m_programFolder->path())));
}

void TestForm1::secondCopyRefused()
{
    const QString lockPath = m_programFolder->filePath(QStringLiteral("mivot.lock"));
    SingleCopyLock running(lockPath);
    QVERIFY(claimSingleCopy(running, m_messages));
    QVERIFY(m_messages.shown().isEmpty());

    SingleCopyLock second(lockPath);
    QVERIFY(!claimSingleCopy(second, m_messages));
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown().first().prompt, QStringLiteral("すでに起動してます"));
    QCOMPARE(m_messages.shown().first().buttons, MsgButtons::Ok);
    QCOMPARE(m_messages.shown().first().title, QStringLiteral("Ｍｉｖｏｔ"));
}

void TestForm1::longMessageWrapsWithoutChangingText()
{
    applyApplicationLook();
    auto form = makeForm();
    const QString path = QStringLiteral("/media/card/") + QString(120, QLatin1Char('x')) + QStringLiteral("/写真.jpg");
    const QString prompt = QStringLiteral("ファイル名を変更できませんでした。\n") + path;
    QGuiApplication::clipboard()->clear();
    QMessageBox *seen = nullptr;
    QWidget *owner = nullptr;
    QString label, spoken;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        seen = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!seen)
            return;
        answer.stop();
        owner = seen->parentWidget();
        label = seen->text();
        spoken = QAccessible::queryAccessibleInterface(seen->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
                     ->text(QAccessible::Name);
        QVERIFY(seen->width() < 700);
        QTest::keyClick(seen, Qt::Key_C, Qt::ControlModifier);
        seen->accept();
    });
    answer.start(10);
    QtMessageBoxes messages;
    messages.show(prompt, MsgButtons::Ok);
    QVERIFY(seen);
    QCOMPARE(owner, form.get());
    QVERIFY(!label.contains(QChar(0x200B)));
    QVERIFY(label.count(QLatin1Char('\n')) > 1);
    QCOMPARE(QString(label).remove(QLatin1Char('\n')), QString(prompt).remove(QLatin1Char('\n')));
    QCOMPARE(spoken, prompt);
    QVERIFY(QGuiApplication::clipboard()->text().contains(prompt));
}

void TestForm1::firstPlaceOfInstalledCopyAndCommandLine()
{
    const QString home = QStringLiteral("/home/user");
    QCOMPARE(firstPlace(QString(), true, home), home);
    QCOMPARE(firstPlace(QString(), false, home), QString());
    QCOMPARE(firstPlace(QStringLiteral("/media/card"), true, home), QStringLiteral("/media/card"));

    const auto place = [](std::initializer_list<const char *> arguments) {
        std::vector<char *> argv;
        for (const char *argument : arguments)
            argv.push_back(const_cast<char *>(argument));
        return placeArgument(int(argv.size()), argv.data(), QStringLiteral("/home/user"));
    };
    QCOMPARE(place({"mivot"}), QString());
    // Options are ignored, the first other argument counts, a relative one from the current folder.
    QCOMPARE(place({"mivot", "--unknown", "-x", "photos/../scans", "other"}), QStringLiteral("/home/user/scans"));
    QCOMPARE(place({"mivot", "--", "-photos"}), QStringLiteral("/home/user/-photos"));
    QCOMPARE(place({"mivot", "/media/card/"}), QStringLiteral("/media/card"));
    // A name in bytes that are not UTF-8 keeps its bytes.
    QCOMPARE(bytesOfName(place({"mivot", "/tmp/caf\xE9"})), QByteArray("/tmp/caf\xE9"));
}

void TestForm1::commandLinePlaceOpens()
{
    touch(m_browsed->filePath(QStringLiteral("a.jpg")));
    touch(m_browsed->filePath(QStringLiteral("旅行 写真.png")));
    {
        Form1 form(PlatformContext{m_fileSystem, m_messages, m_programFolder->path()});
        loadAt(form, m_browsed->path());
        QCOMPARE(form.Dir1->path(), m_browsed->path());
        QCOMPARE(form.File1->path(), m_browsed->path());
        QCOMPARE(form.File1->fileName(), QString());
        // Start-up ran all the same: its work folder is in the program folder.
        QVERIFY(QFileInfo(workFolderOf(m_programFolder->path())).isDir());
    }
    {
        Form1 form(PlatformContext{m_fileSystem, m_messages, m_programFolder->path()});
        loadAt(form, m_browsed->filePath(QStringLiteral("旅行 写真.png")));
        QCOMPARE(form.File1->path(), m_browsed->path());
        QCOMPARE(form.File1->fileName(), QStringLiteral("旅行 写真.png"));
        QCOMPARE(form.Text2->text(), QStringLiteral("旅行 写真"));
        QCOMPARE(form.Text3->text(), QStringLiteral("png"));
    }
    QVERIFY(m_messages.shown().isEmpty());
    {
        // A place that is not there says so; the lists stay in the program folder.
        Form1 form(PlatformContext{m_fileSystem, m_messages, m_programFolder->path()});
        loadAt(form, m_browsed->filePath(QStringLiteral("gone")));
        QCOMPARE(form.Dir1->path(), m_programFolder->path());
        QCOMPARE(m_messages.shown().size(), 1);
    }
}

void TestForm1::helpAndVersionWithoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const QString &option : {QStringLiteral("--help"), QStringLiteral("--version")}) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(qEnvironmentVariable("MIVOT_BINARY"), {QStringLiteral("photos"), option});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QString output = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(output.contains(option == QLatin1String("--help") ? QStringLiteral("使い方") : QStringLiteral("2.00")), qPrintable(output));
        QVERIFY2(!output.contains(QStringLiteral("Usage")) && !output.contains(QStringLiteral("Options")), qPrintable(output));
        QVERIFY(program.readAllStandardError().isEmpty());
    }
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

