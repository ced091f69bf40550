#include "main/form1.h"
#include "main/singlerename.h"
#include "platform/filename.h"
#include "platform/profilefile.h"
#include "support/faultyfilesystem.h"
#include "support/realmount.h"
#include "support/scriptedmessages.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <memory>

namespace {

// A main window on a temporary folder of files, driven as a user drives it.
class Window
{
public:
    // In a temporary folder, or in `at` (such as a mounted card).
    Window(const QStringList &files, bool switchOnAtStart, const QString &at = QString())
        : where(at.isEmpty() ? folder.path() : at)
    {
        if (switchOnAtStart) {
            ProfileFile(program.filePath(QStringLiteral("Option.ini")))
                .write(QStringLiteral("拡張子"), QStringLiteral("添付"), QStringLiteral("True"));
        }
        for (const QString &name : files)
            writeFile(joinPath(where, name), bytesOfName(name));
        form = std::make_unique<Form1>(PlatformContext{fileSystem, messages, program.path()});
        form->Form_Load();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(form->setDir1Path(where));
    }

    void click(const QString &name)
    {
        const QAbstractItemModel *rows = form->File1->model();
        const QModelIndexList found = rows->match(rows->index(0, 0), Qt::DisplayRole, name, -1, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        const QRect rect = form->File1->visualRect(found.first());
        QTest::mouseClick(form->File1->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(displayName(form->File1->fileName()), name);
    }

    // Key by key; keyClicks() cannot type characters beyond Latin-1.
    void type(const QString &text, int box = 0)
    {
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(form->Text1[box], c.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, form->Text1[box], Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
    void enter(int box = 0) { QTest::keyClick(form->Text1[box], Qt::Key_Return); }

    // Each file on disk with its contents, so that a lost or overwritten file shows.
    QStringList onDisk() const
    {
        QStringList found;
        const QFileInfoList entries =
            QDir(where).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (entry.isDir()) {
                found << entry.fileName() + QLatin1Char('/');
                continue;
            }
            QFile file(entry.filePath());
            const QByteArray contents = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            found << entry.fileName() + QLatin1Char('=') + QString::fromUtf8(contents);
        }
        return found;
    }

    QStringList boxes() const
    {
        return {form->Text1[0]->text(), form->Text1[1]->text(), form->Text2->text(), form->Text3->text()};
    }

    QTemporaryDir program;
    QTemporaryDir folder;
    QString where;
    LinuxFileSystem disk;
    FaultyFileSystem fileSystem{disk};
    ScriptedMessages messages;
    std::unique_ptr<Form1> form;
};

} // namespace

class TestSingleRename : public QObject
{
    Q_OBJECT

private slots:
    void renamesToComposedName_data();
    void renamesToComposedName();
    void rawNameRenamedToTypedUtf8_data();
    void rawNameRenamedToTypedUtf8();
    void emptyNameIsRefused_data();
    void emptyNameIsRefused();
    void refusalLeavesEverythingAsItWas_data();
    void refusalLeavesEverythingAsItWas();
    void systemRefusalShowsReason_data();
    void systemRefusalShowsReason();
    void noChosenFileIsRefused();
    void ownNameChangesNothing();
    void onlyExactRedMeansOn();
    void successEmptiesBoxesAndLeavesNothingChosen();
    void renamedFileOutsidePatternLeavesList();
    void otherKeysTypeAsUsual();
    void ctrlZTakesBackTypingThenTheRename();
    void planOrder();
    void namesOnRealCards_data();
    void namesOnRealCards();
};

void TestSingleRename::renamesToComposedName_data()
{
    QTest::addColumn<bool>("switchOn");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("typedExtension"); // typed after the click's text in Text1(1)
    QTest::addColumn<int>("enterBox");
    QTest::addColumn<QString>("expected");

    QTest::newRow("on keeps extension") << true << "photo.JPG" << "trip" << "" << 0 << "trip.JPG";
    QTest::newRow("on, Enter in extension box") << true << "photo.JPG" << "trip" << "" << 1 << "trip.JPG";
    QTest::newRow("on uses edited extension") << true << "photo.JPG" << "trip" << "2" << 0 << "trip.JPG2";
    QTest::newRow("on, typed extension doubles") << true << "photo.JPG" << "trip.jpg" << "" << 0 << "trip.jpg.JPG";
    QTest::newRow("on, no extension drops dot") << true << "README" << "readme2" << "" << 0 << "readme2";
    QTest::newRow("on, typed dot stays") << true << "README" << "readme2." << "" << 0 << "readme2.";
    QTest::newRow("on, last extension only") << true << "a.tar.gz" << "b" << "" << 0 << "b.gz";
    QTest::newRow("on, Japanese") << true << "写真.jpg" << "旅行" << "" << 0 << "旅行.jpg";
    QTest::newRow("off drops extension") << false << "photo.JPG" << "trip" << "" << 0 << "trip";
    QTest::newRow("off, Enter in extension box") << false << "photo.JPG" << "trip" << "" << 1 << "trip";
    QTest::newRow("off ignores extension box") << false << "photo.JPG" << "trip" << "png" << 0 << "trip";
    QTest::newRow("off, typed extension") << false << "photo.JPG" << "trip.jpg" << "" << 0 << "trip.jpg";
    QTest::newRow("off, one blank is a name") << false << "photo.JPG" << " " << "" << 0 << " ";
}

void TestSingleRename::renamesToComposedName()
{
    QFETCH(bool, switchOn);
    QFETCH(QString, fileName);
    QFETCH(QString, typed);
    QFETCH(QString, typedExtension);
    QFETCH(int, enterBox);
    QFETCH(QString, expected);

    Window window({fileName, QStringLiteral("other.txt")}, switchOn);
    QCOMPARE(window.form->cmdHukaBackColor(), switchOn ? HukaColor::On : HukaColor::Off);
    window.click(fileName);
    window.type(typed);
    window.type(typedExtension, 1);
    window.enter(enterBox);

    QVERIFY2(window.messages.shown().isEmpty(), qPrintable(window.messages.lastPrompt()));
    QStringList expectedDisk = {expected + QLatin1Char('=') + fileName, QStringLiteral("other.txt=other.txt")};
    expectedDisk.sort();
    QStringList actualDisk = window.onDisk();
    actualDisk.sort();
    QCOMPARE(actualDisk, expectedDisk);
}

void TestSingleRename::rawNameRenamedToTypedUtf8_data()
{
    QTest::addColumn<QByteArray>("chosen");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("other"); // stays as it is
    QTest::addColumn<QByteArray>("renamed");

    QTest::newRow("cp932") << QByteArray("\x8e\xca\x90\x5e 1.jpg") << QStringLiteral("写真 1.jpg") << QStringLiteral("写真 1")
                           << QByteArray("\x8e\xca.jpg") << QStringLiteral("写真 1.jpg").toUtf8();
    QTest::newRow("one invalid byte apart") << QByteArray("caf\xe9.jpg") << QStringLiteral("caf\\xE9.jpg") << QStringLiteral("café")
                                            << QByteArray("caf\xe8.jpg") << QStringLiteral("café.jpg").toUtf8();
    // The extension box shows the byte escaped; the new name takes the byte itself, as a batch does.
    QTest::newRow("extension of an unexplained byte") << QByteArray("photo.\xff") << QStringLiteral("photo.\\xFF")
                                                      << QStringLiteral("trip") << QByteArray("photo.\xfe") << QByteArray("trip.\xff");
}

void TestSingleRename::rawNameRenamedToTypedUtf8()
{
    QFETCH(QByteArray, chosen);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QByteArray, other);
    QFETCH(QByteArray, renamed);
    Window window({nameFromBytes(chosen), nameFromBytes(other)}, true);
    window.click(shown);
    const QString extension = shown.section(QLatin1Char('.'), -1);
    QCOMPARE(window.boxes(), (QStringList{QString(), extension, shown.section(QLatin1Char('.'), 0, -2), extension}));
    window.type(typed);
    window.enter();

    QVERIFY(window.messages.shown().isEmpty());
    const Snapshot expected{{nameFromBytes(renamed), chosen}, {nameFromBytes(other), other}};
    QCOMPARE(snapshot(window.folder.path()), expected);

    // Undone and redone byte for byte: the redo writes the typed name in UTF-8 again.
    window.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.form.get()));
    QTest::keyClick(window.form->File1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(snapshot(window.folder.path()), (Snapshot{{nameFromBytes(chosen), chosen}, {nameFromBytes(other), other}}));
    QTest::keyClick(window.form->File1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(snapshot(window.folder.path()), expected);
    QCOMPARE(window.messages.shown().size(), 2); // the two questions, nothing else
    clearFolder(window.folder.path());
}

void TestSingleRename::emptyNameIsRefused_data()
{
    QTest::addColumn<int>("enterBox");
    QTest::newRow("Enter in name box") << 0;
    QTest::newRow("Enter in extension box") << 1;
}

void TestSingleRename::emptyNameIsRefused()
{
    QFETCH(int, enterBox);
    Window window({QStringLiteral("photo.JPG")}, true);
    window.click(QStringLiteral("photo.JPG"));
    window.enter(enterBox);

    QCOMPARE(window.messages.shown().size(), 1);
    QCOMPARE(window.messages.shown().first().prompt, QStringLiteral("ファイル名が入力されていません"));
    QCOMPARE(window.messages.shown().first().title, QStringLiteral("教育的指導"));
    QCOMPARE(window.messages.shown().first().buttons, MsgButtons::Ok);
    QCOMPARE(window.onDisk(), QStringList{QStringLiteral("photo.JPG=photo.JPG")});
    QCOMPARE(window.boxes(), (QStringList{QString(), QStringLiteral("JPG"), QStringLiteral("photo"), QStringLiteral("JPG")}));
    QCOMPARE(window.form->File1->fileName(), QStringLiteral("photo.JPG"));
    QCOMPARE(window.fileSystem.moveCount(), 0);
}

void TestSingleRename::refusalLeavesEverythingAsItWas_data()
{
    QTest::addColumn<bool>("switchOn");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");

    QTest::newRow("existing file, on") << true << "other" << "同じ名前のファイルがすでにあります。\nother.JPG";
    QTest::newRow("existing file, off") << false << "other.JPG" << "同じ名前のファイルがすでにあります。\nother.JPG";
    QTest::newRow("existing folder") << false << "sub" << "同じ名前のファイルがすでにあります。\nsub";
    QTest::newRow("looks like a cp932 name") << false << "写真"
                                             << "同じ名前のファイルがすでにあります。\n写真\n「写真」（UTF-8）と「写真」（CP932）は文字コードが違うだけで"
                                                "同じ名前に見えるため、ファイルリストの右クリックメニューの「ファイル名を UTF-8 に変換」で先に揃えてください";
    QTest::newRow("slash") << false << "sub/photo.JPG" << "ファイル名に「/」などの使えない文字が含まれています。\nsub/photo.JPG";
    QTest::newRow("slash, switch on") << true << "../x" << "ファイル名に「/」などの使えない文字が含まれています。\n../x.JPG";
    QTest::newRow("dot") << false << "." << "「.」と「..」はファイル名に使えません。\n.";
    QTest::newRow("dot dot") << false << ".." << "「.」と「..」はファイル名に使えません。\n..";
    QTest::newRow("hidden name") << false << ".trip" << "「.」で始まる名前にすると、ファイルリストに表示されなくなるため、名前を変えていません。\n.trip";
    const QString ascii256(256, QLatin1Char('a'));
    QTest::newRow("256 bytes") << false << ascii256
                               << "ファイル名が長すぎます（256 バイト、このフォルダでは 255 バイトまで）。\n" + ascii256;
    // 86 characters, but 258 bytes on disk.
    const QString kana86(86, QChar(0x3042));
    QTest::newRow("long in bytes") << false << kana86
                                   << "ファイル名が長すぎます（258 バイト、このフォルダでは 255 バイトまで）。\n" + kana86;
}

void TestSingleRename::refusalLeavesEverythingAsItWas()
{
    QFETCH(bool, switchOn);
    QFETCH(QString, typed);
    QFETCH(QString, message);

    Window window({QStringLiteral("photo.JPG"), QStringLiteral("other.JPG")}, switchOn);
    QVERIFY(QDir(window.folder.path()).mkdir(QStringLiteral("sub")));
    // 写真 in CP932.
    QVERIFY(::mkdir(bytesOfName(joinPath(window.folder.path(), nameFromBytes("\x8e\xca\x90\x5e"))).constData(), 0777) == 0);
    window.fileSystem.setMaxNameLength(255);
    const QStringList diskBefore = window.onDisk();
    window.click(QStringLiteral("photo.JPG"));
    window.type(typed);
    window.enter();

    QCOMPARE(window.messages.shown().size(), 1);
    QCOMPARE(window.messages.lastPrompt(), message);
    QCOMPARE(window.onDisk(), diskBefore);
    QCOMPARE(window.boxes(), (QStringList{typed, QStringLiteral("JPG"), QStringLiteral("photo"), QStringLiteral("JPG")}));
    QCOMPARE(window.form->File1->fileName(), QStringLiteral("photo.JPG"));
    QCOMPARE(window.form->File1->entries(), (QStringList{QStringLiteral("other.JPG"), QStringLiteral("photo.JPG")}));
    clearFolder(window.folder.path());
}

void TestSingleRename::systemRefusalShowsReason_data()
{
    QTest::addColumn<int>("injected");
    QTest::addColumn<int>("expectedError");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no permission") << EACCES << EACCES << FsResult::failure(EACCES).reason();
    QTest::newRow("file vanished") << 0 << ENOENT << FsResult::failure(ENOENT).reason();
    // A card's driver answers a name it refuses so; the file is still there and the name free.
    QTest::newRow("name refused by the driver")
        << EINVAL << EINVAL
        << QStringLiteral("このフォルダのファイルシステムが、この名前を受け付けません（システムの説明: %1）")
               .arg(FsResult::failure(EINVAL).reason());
}

void TestSingleRename::systemRefusalShowsReason()
{
    QFETCH(int, injected);
    QFETCH(int, expectedError);
    QFETCH(QString, reason);

    Window window({QStringLiteral("photo.JPG")}, true);
    if (injected != 0)
        window.fileSystem.refuseMove(1, injected);
    window.click(QStringLiteral("photo.JPG"));
    if (expectedError == ENOENT)
        QVERIFY(QFile::remove(window.folder.filePath(QStringLiteral("photo.JPG"))));
    const QStringList diskBefore = window.onDisk();
    window.type(QStringLiteral("trip"));
    window.enter();

    QCOMPARE(window.messages.shown().size(), 1);
    QCOMPARE(window.messages.lastPrompt(), QStringLiteral("ファイル名を変更できませんでした。\nphoto.JPG → trip.JPG\n") + reason);
    QCOMPARE(window.onDisk(), diskBefore);
    QCOMPARE(window.boxes(), (QStringList{QStringLiteral("trip"), QStringLiteral("JPG"), QStringLiteral("photo"), QStringLiteral("JPG")}));
    QCOMPARE(window.form->File1->fileName(), QStringLiteral("photo.JPG"));
}

void TestSingleRename::noChosenFileIsRefused()
{
    Window window({QStringLiteral("photo.JPG")}, false);
    window.type(QStringLiteral("trip"));
    window.enter();

    QCOMPARE(window.messages.shown().size(), 1);
    QVERIFY(window.messages.lastPrompt().startsWith(QStringLiteral("ファイルが選択されていません。")));
    QCOMPARE(window.onDisk(), QStringList{QStringLiteral("photo.JPG=photo.JPG")});
    QCOMPARE(window.form->Text1[0]->text(), QStringLiteral("trip"));
    QCOMPARE(window.fileSystem.moveCount(), 0);
}

void TestSingleRename::ownNameChangesNothing()
{
    Window window({QStringLiteral("photo.JPG")}, true);
    window.click(QStringLiteral("photo.JPG"));
    window.type(QStringLiteral("photo"));
    window.enter();

    QVERIFY(window.messages.shown().isEmpty());
    QCOMPARE(window.fileSystem.moveCount(), 0);
    QCOMPARE(window.onDisk(), QStringList{QStringLiteral("photo.JPG=photo.JPG")});
    QCOMPARE(window.boxes(), (QStringList{QStringLiteral("photo"), QStringLiteral("JPG"), QStringLiteral("photo"), QStringLiteral("JPG")}));
    QCOMPARE(window.form->File1->fileName(), QStringLiteral("photo.JPG"));
}

void TestSingleRename::onlyExactRedMeansOn()
{
    Window window({QStringLiteral("photo.JPG")}, false);
    window.form->setCmdHukaBackColor(0x000000FE);
    window.click(QStringLiteral("photo.JPG"));
    window.type(QStringLiteral("trip"));
    window.enter();

    QCOMPARE(window.onDisk(), QStringList{QStringLiteral("trip=photo.JPG")});
}

void TestSingleRename::successEmptiesBoxesAndLeavesNothingChosen()
{
    Window window({QStringLiteral("a.txt"), QStringLiteral("photo.JPG")}, true);
    window.click(QStringLiteral("photo.JPG"));
    window.type(QStringLiteral("trip"));

    QStringList emptied;
    const QList<QLineEdit *> boxes = {window.form->Text1[0], window.form->Text1[1], window.form->Text2, window.form->Text3};
    const QStringList names = {QStringLiteral("Text1(0)"), QStringLiteral("Text1(1)"), QStringLiteral("Text2"), QStringLiteral("Text3")};
    for (int i = 0; i < boxes.size(); ++i)
        QObject::connect(boxes[i], &QLineEdit::textChanged, window.form.get(), [&emptied, name = names[i]] { emptied << name; });
    window.enter();

    QVERIFY(window.messages.shown().isEmpty());
    QCOMPARE(emptied, (QStringList{QStringLiteral("Text1(0)"), QStringLiteral("Text1(1)"), QStringLiteral("Text3"), QStringLiteral("Text2")}));
    QCOMPARE(window.boxes(), QStringList(4));
    QCOMPARE(window.form->File1->entries(), (QStringList{QStringLiteral("a.txt"), QStringLiteral("trip.JPG")}));
    QCOMPARE(window.form->File1->fileName(), QString());
    QVERIFY(window.form->File1->selectionModel()->selectedIndexes().isEmpty());

    // A further Enter must not rename whichever entry happens to be current.
    window.type(QStringLiteral("again"));
    window.enter();
    QVERIFY(window.messages.lastPrompt().startsWith(QStringLiteral("ファイルが選択されていません。")));
    QCOMPARE(window.onDisk(), (QStringList{QStringLiteral("a.txt=a.txt"), QStringLiteral("trip.JPG=photo.JPG")}));
}

void TestSingleRename::renamedFileOutsidePatternLeavesList()
{
    Window window({QStringLiteral("photo.JPG"), QStringLiteral("b.jpg")}, false);
    window.form->File1->setPattern(QStringLiteral("*.jpg"));
    window.click(QStringLiteral("photo.JPG"));
    window.type(QStringLiteral("trip"));
    window.enter();

    // The file leaves the list, and the window says so.
    QCOMPARE(window.messages.shown().size(), 1);
    QCOMPARE(window.messages.lastPrompt(),
             QStringLiteral("名前を変えたファイル「trip」は、表示ファイル規制（*.jpg）に合わないため、ファイルリストに表示されていません。"));
    QCOMPARE(window.form->File1->entries(), QStringList{QStringLiteral("b.jpg")});
    QVERIFY(window.onDisk().contains(QStringLiteral("trip=photo.JPG")));
}

void TestSingleRename::otherKeysTypeAsUsual()
{
    Window window({QStringLiteral("photo.JPG")}, false);
    window.click(QStringLiteral("photo.JPG"));
    window.type(QStringLiteral("a b_c.d"));
    window.type(QStringLiteral("x y"), 1);
    QTest::keyClick(window.form->Text1[0], Qt::Key_Backspace);
    QTest::keyClick(window.form->Text1[0], Qt::Key_Enter); // the keypad's Enter renames too

    QVERIFY(window.messages.shown().isEmpty());
    QCOMPARE(window.onDisk(), QStringList{QStringLiteral("a b_c.=photo.JPG")});
    QCOMPARE(window.fileSystem.moveCount(), 1);
}

void TestSingleRename::ctrlZTakesBackTypingThenTheRename()
{
    Window window({QStringLiteral("photo.JPG"), QStringLiteral("b.txt")}, true);
    window.click(QStringLiteral("photo.JPG"));
    window.type(QStringLiteral("trip"));
    window.enter();
    QCOMPARE(window.onDisk(), (QStringList{QStringLiteral("b.txt=b.txt"), QStringLiteral("trip.JPG=photo.JPG")}));
    window.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.form.get()));
    QLineEdit *box = window.form->Text1[0];
    box->setFocus();

    // While the box has typing to take back, the keys are the box's own.
    window.type(QStringLiteral("xy"));
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box->text(), QString());
    QTest::keyClick(box, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("xy"));
    while (box->isUndoAvailable())
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(window.messages.shown().isEmpty());

    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window.messages.shown().size(), 1);
    QCOMPARE(window.messages.shown().first().details, window.folder.path() + QStringLiteral("\n1 ファイル\ntrip.JPG → photo.JPG"));
    QCOMPARE(window.onDisk(), (QStringList{QStringLiteral("b.txt=b.txt"), QStringLiteral("photo.JPG=photo.JPG")}));
    QCOMPARE(window.form->File1->entries(), (QStringList{QStringLiteral("b.txt"), QStringLiteral("photo.JPG")}));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(window.onDisk(), (QStringList{QStringLiteral("b.txt=b.txt"), QStringLiteral("trip.JPG=photo.JPG")}));
    QCOMPARE(window.messages.shown().size(), 2);

    // One file taken back is no batch, and a refusal says so in a single rename's words.
    window.fileSystem.refuseMove(window.fileSystem.moveCount() + 1);
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window.messages.lastPrompt(), QStringLiteral("リネームを元に戻せませんでした。ファイルの名前は変わっていません。\n%1\n"
                                                          "trip.JPG → photo.JPG（%2）")
                                               .arg(window.folder.path(), FsResult::failure(EACCES).reason()));
    QCOMPARE(window.onDisk(), (QStringList{QStringLiteral("b.txt=b.txt"), QStringLiteral("trip.JPG=photo.JPG")}));
}

void TestSingleRename::planOrder()
{
    // The empty name is reported before the missing choice, as the user fixes the name box first.
    QCOMPARE(planSingleRename(QString(), QString(), QStringLiteral("JPG"), true, 255).verdict, SingleRenameVerdict::EmptyName);
    QCOMPARE(planSingleRename(QString(), QStringLiteral("a/b"), QString(), false, 255).verdict, SingleRenameVerdict::NoFileChosen);
    // Exactly at the limit is allowed.
    QCOMPARE(planSingleRename(QStringLiteral("x"), QString(251, QLatin1Char('a')), QStringLiteral("JPG"), true, 255).verdict,
             SingleRenameVerdict::Rename);
    QCOMPARE(planSingleRename(QStringLiteral("x"), QString(252, QLatin1Char('a')), QStringLiteral("JPG"), true, 255).verdict,
             SingleRenameVerdict::NameTooLong);
    QCOMPARE(planSingleRename(QStringLiteral("x"), QStringLiteral("a%1b").arg(QChar(0)), QString(), false, 255).verdict,
             SingleRenameVerdict::ForbiddenCharacter);
}

void TestSingleRename::namesOnRealCards_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("caseInsensitive");
    QTest::newRow("exfat-fuse") << QStringLiteral("exfat") << true;
    QTest::newRow("fusefat") << QStringLiteral("fat") << true;
    QTest::newRow("ntfs-3g windows_names") << QStringLiteral("ntfs") << false;
}

// A change of case alone is carried out, a name the card refuses is refused before the move in
// words that name the character, and another file's name in other case is taken.
void TestSingleRename::namesOnRealCards()
{
    QFETCH(QString, kind);
    QFETCH(bool, caseInsensitive);
    RealMount card(kind);
    QString why;
    const int mounted = card.mount(&why);
    if (mounted == RealMount::Unusable)
        QSKIP(qPrintable(why));
    QVERIFY2(mounted == 0, qPrintable(why));

    Window window({QStringLiteral("photo.JPG"), QStringLiteral("other.JPG")}, false, card.path());
    window.click(QStringLiteral("photo.JPG"));
    window.type(QStringLiteral("photo.jpg"));
    window.enter();
    QCOMPARE(window.messages.shown().size(), 0);
    QCOMPARE(window.onDisk(), (QStringList{QStringLiteral("other.JPG=other.JPG"), QStringLiteral("photo.jpg=photo.JPG")}));
    QCOMPARE(window.boxes(), (QStringList{QString(), QString(), QString(), QString()}));

    window.click(QStringLiteral("photo.jpg"));
    window.type(QStringLiteral("10:30.jpg"));
    window.enter();
    QCOMPARE(window.messages.lastPrompt(), QStringLiteral("「:」はこのフォルダのファイルシステムでは名前に使えません。\n10:30.jpg"));

    if (caseInsensitive) {
        window.form->Text1[0]->clear();
        window.type(QStringLiteral("OTHER.jpg"));
        window.enter();
        QCOMPARE(window.messages.lastPrompt(), QStringLiteral("同じ名前のファイルがすでにあります。\nOTHER.jpg"));
    }
    QCOMPARE(window.onDisk(), (QStringList{QStringLiteral("other.JPG=other.JPG"), QStringLiteral("photo.jpg=photo.JPG")}));
}

QTEST_MAIN(TestSingleRename)
#include "tst_singlerename.moc"
