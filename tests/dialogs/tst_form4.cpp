#include "dialogs/form4.h"
#include "main/form1.h"
#include "main/sharedvalues.h"
#include "support/scriptedmessages.h"

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

class TestForm4 : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void pictureIsOurOwnSize();
    void opensCentredOnScreenWithItsControls();
    void pictureDrawnUnscaledFromTopLeft();
    void clickOnAddressDoesNothing();
    void backReturnsToMainWindow();
    void titleBarCloseJustCloses();

private:
    // Presses "Version情報" and runs the steps in the about window; a window the steps leave open
    // is closed through its title bar.
    void runAbout(const std::function<void(Form4 &)> &steps);

    std::unique_ptr<QTemporaryDir> m_programFolder;
    LinuxFileSystem m_fileSystem;
    ScriptedMessages m_messages;
    std::unique_ptr<Form1> m_form;
};

void TestForm4::init()
{
    shared::reset();
    m_messages.clear();
    m_form.reset();
    m_programFolder = std::make_unique<QTemporaryDir>();
    m_form = std::make_unique<Form1>(PlatformContext{m_fileSystem, m_messages, m_programFolder->path()});
    m_form->Form_Load();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestForm4::runAbout(const std::function<void(Form4 &)> &steps)
{
    bool ran = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *about = qobject_cast<Form4 *>(modal)) {
            ran = true;
            steps(*about);
        }
        if (modal && modal->isVisible())
            modal->close();
    });
    QTest::mouseClick(m_form->Command3, Qt::LeftButton);
    QVERIFY2(ran, "the about window did not open modally");
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestForm4::pictureIsOurOwnSize()
{
    const QImage picture(QStringLiteral(":/about.png"));
    QCOMPARE(picture.size(), QSize(500, 300));
    QVERIFY(!picture.hasAlphaChannel());
    QCOMPARE(picture.depth() >= 24, true);
}

void TestForm4::opensCentredOnScreenWithItsControls()
{
    // Wherever the main window stands, the about window centres on the screen.
    m_form->move(0, 0);
    runAbout([&](Form4 &about) {
        QVERIFY(about.windowTitle().trimmed().isEmpty());
        QCOMPARE(about.size(), QSize(502, 302));
        const QRect screen = about.screen()->geometry();
        const QRect frame = about.frameGeometry();
        QVERIFY(qAbs(frame.center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(frame.center().y() - screen.center().y()) <= 1);

        QVERIFY(about.Label1->text().contains(QLatin1String("example.org")));
        QCOMPARE(about.Label1->pos(), QPoint(96, 248));
        const QFont font = about.Label1->font();
        QCOMPARE(font.family(), QStringLiteral("Noto Sans CJK JP"));
        QCOMPARE(font.pointSizeF(), 9.75);
        QVERIFY(font.bold());
        QVERIFY(!font.underline() && !font.italic() && !font.strikeOut());

        QCOMPARE(about.Command1->text(), QStringLiteral("Back"));
        QCOMPARE(about.Command1->geometry(), QRect(408, 264, 57, 25));
        QCOMPARE(about.Command1->palette().color(QPalette::Button), QColor(192, 192, 255));
        QVERIFY(!about.Command1->isDefault() && !about.Command1->autoDefault());
        QCOMPARE(about.Label1->focusPolicy(), Qt::NoFocus);
    });
}

void TestForm4::pictureDrawnUnscaledFromTopLeft()
{
    const QImage picture = QImage(QStringLiteral(":/about.png")).convertToFormat(QImage::Format_RGB32);
    runAbout([&](Form4 &about) {
        const QImage shown = about.grab().toImage().convertToFormat(QImage::Format_RGB32);
        // Points away from the address and the button, where only the picture shows.
        for (const QPoint point : {QPoint(0, 0), QPoint(40, 30), QPoint(250, 160), QPoint(499, 0),
                                   QPoint(0, 299), QPoint(380, 120), QPoint(499, 230)}) {
            QCOMPARE(QColor(shown.pixel(point)), QColor(picture.pixel(point)));
        }
    });
}

void TestForm4::clickOnAddressDoesNothing()
{
    runAbout([&](Form4 &about) {
        QTest::mouseClick(about.Label1, Qt::LeftButton);
        QVERIFY(about.isVisible());
        QCOMPARE(QApplication::activeModalWidget(), &about);
    });
    QVERIFY(m_messages.shown().isEmpty());
}

void TestForm4::backReturnsToMainWindow()
{
    bool closedByBack = false;
    runAbout([&](Form4 &about) {
        QTest::mouseClick(about.Command1, Qt::LeftButton);
        closedByBack = !about.isVisible();
    });
    QVERIFY(closedByBack);
    // The main window takes input again: its buttons open the about window afresh.
    int shownAgain = 0;
    runAbout([&](Form4 &) { ++shownAgain; });
    QCOMPARE(shownAgain, 1);
}

void TestForm4::titleBarCloseJustCloses()
{
    runAbout([&](Form4 &about) {
        about.close();
        QVERIFY(!about.isVisible());
    });
    QVERIFY(m_messages.shown().isEmpty());
    QVERIFY(m_form->isVisible());
    QVERIFY(!m_form->hasEnded());
}

QTEST_MAIN(TestForm4)
#include "tst_form4.moc"
