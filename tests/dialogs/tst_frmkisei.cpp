#include "dialogs/frmkisei.h"
#include "dialogs/patternentries.h"
#include "main/form1.h"
#include "main/sharedvalues.h"
#include "platform/profilefile.h"
#include "support/scriptedmessages.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void clickEntry(frmKisei &dialog, const QString &entry)
{
    const QList<QListWidgetItem *> items = dialog.List1->findItems(entry, Qt::MatchExactly);
    QVERIFY(!items.isEmpty());
    const QPoint centre = dialog.List1->visualItemRect(items.first()).center();
    QTest::mouseClick(dialog.List1->viewport(), Qt::LeftButton, {}, centre);
}

void registerTyped(frmKisei &dialog, const QString &text)
{
    QTest::keyClicks(dialog.txtKisei, text);
    QTest::mouseClick(dialog.Command2, Qt::LeftButton);
}

} // namespace

class TestFrmKisei : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void opensWithPatternInForce_data();
    void opensWithPatternInForce();
    void saveAppliesAndStores_data();
    void saveAppliesAndStores();
    void firstRegistrationRestrictsAndSurvivesRestart();
    void registerEmptyBoxSaysSoAndKeepsList();
    void deleteByMouseAsksEachClick();
    void deleteByArrowKey();
    void deletingAllThenSaveStoresAllFiles();
    void clearActsAtOnceAndStoresNothing();
    void titleBarCloseStoresNothing();
    void malformedStoredPatternOpensAndSavesWellFormed_data();
    void malformedStoredPatternOpensAndSavesWellFormed();

private:
    void startForm(const QString &storedPattern = QString());
    // Presses "表示ファイル規制" and runs the steps in the dialog; a dialog the steps leave open
    // is closed through its title bar.
    void runDialog(const std::function<void(frmKisei &)> &steps);
    QString storedPattern() const;
    QStringList shownFiles() const { return m_form->File1->entries(); }

    std::unique_ptr<QTemporaryDir> m_programFolder;
    std::unique_ptr<QTemporaryDir> m_browsed;
    LinuxFileSystem m_fileSystem;
    ScriptedMessages m_messages;
    std::unique_ptr<Form1> m_form;
};

void TestFrmKisei::init()
{
    shared::reset();
    m_messages.clear();
    m_form.reset();
    m_programFolder = std::make_unique<QTemporaryDir>();
    m_browsed = std::make_unique<QTemporaryDir>();
    for (const char *name : {"a.jpg", "b.png", "c.txt"})
        touch(m_browsed->filePath(QString::fromLatin1(name)));
}

void TestFrmKisei::startForm(const QString &storedPattern)
{
    if (!storedPattern.isNull()) {
        ProfileFile(m_programFolder->filePath(QStringLiteral("Option.ini")))
            .write(QStringLiteral("拡張子"), QStringLiteral("表示"), storedPattern);
    }
    m_form = std::make_unique<Form1>(PlatformContext{m_fileSystem, m_messages, m_programFolder->path()});
    m_form->Form_Load();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QVERIFY(m_form->setDir1Path(m_browsed->path()));
}

void TestFrmKisei::runDialog(const std::function<void(frmKisei &)> &steps)
{
    bool ran = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        auto *dialog = qobject_cast<frmKisei *>(modal);
        if (dialog) {
            ran = true;
            steps(*dialog);
        }
        if (modal && modal->isVisible())
            modal->close();
    });
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    QVERIFY2(ran, "the display filter dialog did not open modally");
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

QString TestFrmKisei::storedPattern() const
{
    return ProfileFile(m_programFolder->filePath(QStringLiteral("Option.ini")))
        .read(QStringLiteral("拡張子"), QStringLiteral("表示"));
}

void TestFrmKisei::opensWithPatternInForce_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("label");

    QTest::newRow("first start") << QString() << QStringList{"ALL"} << "現在の設定\n*.*";
    QTest::newRow("all files") << "*.*" << QStringList{"ALL"} << "現在の設定\n*.*";
    QTest::newRow("two extensions") << "*.txt;*.jpg" << QStringList{"txt", "jpg"} << "現在の設定\n*.txt;*.jpg";
    QTest::newRow("all files first") << "*.*;*.txt" << QStringList{"*", "txt"} << "現在の設定\n*.*;*.txt";
}

void TestFrmKisei::opensWithPatternInForce()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, entries);
    QFETCH(QString, label);
    startForm(stored);

    runDialog([&](frmKisei &dialog) {
        QCOMPARE(dialog.windowTitle(), QStringLiteral("拡張子規制設定"));
        QCOMPARE(dialog.size(), QSize(312, 146));
        const QRect main = m_form->frameGeometry();
        QCOMPARE(dialog.pos(), main.topLeft() + QPoint(main.width() / 2, main.height() / 2));
        QCOMPARE(dialog.entries(), entries);
        QCOMPARE(dialog.Label2->text(), label);
        QVERIFY(dialog.txtKisei->text().isEmpty());
        QCOMPARE(dialog.focusWidget(), dialog.txtKisei);
    });
    // Filling the list asks nothing.
    QVERIFY(m_messages.shown().isEmpty());
}

void TestFrmKisei::saveAppliesAndStores_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QStringList>("files");

    const QStringList all{"a.jpg", "b.png", "c.txt"};
    QTest::newRow("ALL replaced") << "*.*" << QStringList{"txt"} << "*.txt" << QStringList{"c.txt"};
    QTest::newRow("appended") << "*.txt" << QStringList{"jpg"} << "*.txt;*.jpg" << QStringList{"a.jpg", "c.txt"};
    QTest::newRow("twice the same") << "*.*" << QStringList{"txt", "txt"} << "*.txt;*.txt" << QStringList{"c.txt"};
    QTest::newRow("typed with its dot") << "*.*" << QStringList{".txt"} << "*..txt" << QStringList{};
    QTest::newRow("upper case typed") << "*.*" << QStringList{"PNG"} << "*.PNG" << QStringList{"b.png"};
    QTest::newRow("unchanged all files") << "*.*" << QStringList{} << "*.*" << all;
    QTest::newRow("unchanged all files first") << "*.*;*.txt" << QStringList{} << "*.*;*.txt" << all;
}

void TestFrmKisei::saveAppliesAndStores()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, typed);
    QFETCH(QString, saved);
    QFETCH(QStringList, files);
    startForm(stored);

    bool closedBySave = false;
    runDialog([&](frmKisei &dialog) {
        for (const QString &text : typed)
            registerTyped(dialog, text);
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
        closedBySave = !dialog.isVisible() && dialog.result() == QDialog::Accepted;
    });
    QVERIFY(closedBySave);
    QCOMPARE(m_form->File1->pattern(), saved);
    QCOMPARE(shownFiles(), files);
    QCOMPARE(storedPattern(), saved);
    QVERIFY(m_messages.shown().isEmpty());
}

void TestFrmKisei::firstRegistrationRestrictsAndSurvivesRestart()
{
    startForm();
    QCOMPARE(shownFiles(), (QStringList{"a.jpg", "b.png", "c.txt"}));

    runDialog([&](frmKisei &dialog) {
        registerTyped(dialog, QStringLiteral("jpg"));
        QCOMPARE(dialog.entries(), QStringList{"jpg"});
        QVERIFY(dialog.txtKisei->text().isEmpty());
        registerTyped(dialog, QStringLiteral("png"));
        QCOMPARE(dialog.entries(), (QStringList{"jpg", "png"}));
        // Nothing reaches the main window before SAVE.
        QCOMPARE(shownFiles().size(), 3);
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    });
    QCOMPARE(shownFiles(), (QStringList{"a.jpg", "b.png"}));
    QCOMPARE(storedPattern(), QStringLiteral("*.jpg;*.png"));

    m_form.reset();
    startForm();
    QCOMPARE(m_form->File1->pattern(), QStringLiteral("*.jpg;*.png"));
    QCOMPARE(shownFiles(), (QStringList{"a.jpg", "b.png"}));
    runDialog([&](frmKisei &dialog) { QCOMPARE(dialog.entries(), (QStringList{"jpg", "png"})); });
}

void TestFrmKisei::registerEmptyBoxSaysSoAndKeepsList()
{
    startForm(QStringLiteral("*.txt"));
    runDialog([&](frmKisei &dialog) {
        QTest::mouseClick(dialog.Command2, Qt::LeftButton);
        QCOMPARE(dialog.entries(), QStringList{"txt"});
        QVERIFY(dialog.isVisible());
    });
    QCOMPARE(m_messages.shown().size(), 1);
    const ScriptedMessages::Shown &box = m_messages.shown().first();
    QCOMPARE(box.prompt, QStringLiteral("あたいが悪いの？"));
    QCOMPARE(box.buttons, MsgButtons::Ok);
    QCOMPARE(box.title, QStringLiteral("Ｍｉｖｏｔ"));
}

void TestFrmKisei::deleteByMouseAsksEachClick()
{
    startForm(QStringLiteral("*.txt;*.jpg;*.png"));
    m_messages.answer({MsgAnswer::Cancel});
    runDialog([&](frmKisei &dialog) {
        clickEntry(dialog, QStringLiteral("jpg"));
        QCOMPARE(m_messages.shown().size(), 1);
        QCOMPARE(dialog.entries(), (QStringList{"txt", "jpg", "png"}));
        QCOMPARE(dialog.List1->currentRow(), 1);
        QVERIFY(dialog.List1->item(1)->isSelected());

        // The same entry clicked again asks again; OK erases it.
        clickEntry(dialog, QStringLiteral("jpg"));
        QCOMPARE(m_messages.shown().size(), 2);
        QCOMPARE(dialog.entries(), (QStringList{"txt", "png"}));
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    });
    for (const ScriptedMessages::Shown &box : m_messages.shown()) {
        QCOMPARE(box.prompt, QStringLiteral("jpg\nを消去します"));
        QCOMPARE(box.buttons, MsgButtons::OkCancel);
        QCOMPARE(box.title, QStringLiteral("消去確認メッセージ"));
    }
    QCOMPARE(storedPattern(), QStringLiteral("*.txt;*.png"));
    QCOMPARE(shownFiles(), (QStringList{"b.png", "c.txt"}));
}

void TestFrmKisei::deleteByArrowKey()
{
    startForm(QStringLiteral("*.txt;*.jpg;*.png"));
    m_messages.answer({MsgAnswer::Cancel, MsgAnswer::Ok});
    runDialog([&](frmKisei &dialog) {
        clickEntry(dialog, QStringLiteral("txt"));
        // A key that moves nothing asks nothing.
        QTest::keyClick(dialog.List1, Qt::Key_Home);
        QCOMPARE(m_messages.shown().size(), 1);
        QTest::keyClick(dialog.List1, Qt::Key_Down);
        QCOMPARE(m_messages.shown().size(), 2);
        QCOMPARE(m_messages.shown().at(1).prompt, QStringLiteral("jpg\nを消去します"));
        QCOMPARE(dialog.entries(), (QStringList{"txt", "png"}));
    });
    // Closed without SAVE: nothing stored.
    QCOMPARE(storedPattern(), QStringLiteral("*.txt;*.jpg;*.png"));
}

void TestFrmKisei::deletingAllThenSaveStoresAllFiles()
{
    startForm(QStringLiteral("*.txt"));
    runDialog([&](frmKisei &dialog) {
        clickEntry(dialog, QStringLiteral("txt"));
        QVERIFY(dialog.entries().isEmpty());
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    });
    QCOMPARE(m_form->File1->pattern(), QStringLiteral("*.*"));
    QCOMPARE(storedPattern(), QStringLiteral("*.*"));
    QCOMPARE(shownFiles().size(), 3);
}

void TestFrmKisei::clearActsAtOnceAndStoresNothing()
{
    startForm(QStringLiteral("*.txt"));
    QCOMPARE(shownFiles(), QStringList{"c.txt"});
    runDialog([&](frmKisei &dialog) {
        registerTyped(dialog, QStringLiteral("jpg"));
        QTest::mouseClick(dialog.Command4, Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.entries(), QStringList{"ALL"});
        QCOMPARE(dialog.Label2->text(), QStringLiteral("現在の設定\n*.*"));
        QCOMPARE(shownFiles().size(), 3);
        QCOMPARE(storedPattern(), QStringLiteral("*.txt"));
        // After a clear the first registration replaces ALL.
        registerTyped(dialog, QStringLiteral("png"));
        QCOMPARE(dialog.entries(), QStringList{"png"});
    });
    // Closed without SAVE: the clear stays in force for this run, the file keeps the old pattern.
    QCOMPARE(m_form->File1->pattern(), QStringLiteral("*.*"));
    QCOMPARE(storedPattern(), QStringLiteral("*.txt"));
}

void TestFrmKisei::titleBarCloseStoresNothing()
{
    startForm(QStringLiteral("*.txt"));
    runDialog([&](frmKisei &dialog) {
        registerTyped(dialog, QStringLiteral("jpg"));
        QTest::keyClicks(dialog.txtKisei, QStringLiteral("png"));
        // Escape is no cancel: the edited entries stay for SAVE.
        QTest::keyClick(dialog.txtKisei, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.entries(), (QStringList{"txt", "jpg"}));
        dialog.close();
        QVERIFY(!dialog.isVisible());
    });
    QCOMPARE(m_form->File1->pattern(), QStringLiteral("*.txt"));
    QCOMPARE(storedPattern(), QStringLiteral("*.txt"));
    // The next showing starts afresh from the pattern in force.
    runDialog([&](frmKisei &dialog) {
        QCOMPARE(dialog.entries(), QStringList{"txt"});
        QVERIFY(dialog.txtKisei->text().isEmpty());
    });
}

void TestFrmKisei::malformedStoredPatternOpensAndSavesWellFormed_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("saved");

    QTest::newRow("trailing separator") << "*.txt;" << QStringList{"txt"} << "*.txt";
    QTest::newRow("star after separator") << "*.jpg;*" << QStringList{"jpg"} << "*.jpg";
    QTest::newRow("star alone") << "*" << QStringList{"ALL"} << "*.*";
    QTest::newRow("empty value") << "" << QStringList{"ALL"} << "*.*";
    // Start-up reads back 255 characters: this one is cut just after "*.png;*".
    QStringList longEntries(39, QStringLiteral("jpg"));
    longEntries << QStringLiteral("jpeg") << QStringLiteral("jpeg") << QStringLiteral("png");
    const QString longPattern = joinPatternEntries(longEntries) + QStringLiteral(";*.txt");
    QVERIFY(longPattern.size() > 255);
    QTest::newRow("longer than 255 kept whole") << longPattern << (longEntries << QStringLiteral("txt")) << longPattern;
}

void TestFrmKisei::malformedStoredPatternOpensAndSavesWellFormed()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, entries);
    QFETCH(QString, saved);
    startForm(stored);
    runDialog([&](frmKisei &dialog) {
        QCOMPARE(dialog.entries(), entries);
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    });
    QCOMPARE(storedPattern(), saved);
    QCOMPARE(m_form->File1->pattern(), saved);
}

QTEST_MAIN(TestFrmKisei)
#include "tst_frmkisei.moc"
