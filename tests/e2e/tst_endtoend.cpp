// Drives the real program in a real X server the way a person does: clicks at the places where the
// window shows its controls, typing, and answering message boxes by keyboard.
#include "platform/filename.h"
#include "platform/filesystem.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <unistd.h>

namespace {

constexpr int TimeoutMs = 10000;

// Pixels from twips, the unit the window was laid out in.
int px(int twips)
{
    return static_cast<int>(twips / 15.0 + 0.5);
}

QString run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
            bool *ok = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(TimeoutMs);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!finished)
        process.kill();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QStringList filesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    return names;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void exitRemovesWorkFolder();
    void spaceRemovalOfAFolder();
    void singleRenameWithSwitchOn();
    void serialRenameThroughItsDialog();
    void cp932NamesConvertedThroughContextMenu();
    void installedCopyKeepsSettingsPerUser();

private:
    void startProgram();
    QString findWindow(const QString &titlePattern);
    void xdo(const QStringList &arguments);
    // Clicks a point given in twips from the main window's client area.
    void clickAt(int left, int top);
    void clickControl(int left, int top, int width, int height, int frameLeft = 0, int frameTop = 0);
    void keys(const QStringList &keys);
    void answerBox(const QString &title, const QString &key);
    void openSubfolderPhotos();
    void waitForProgramEnd();
    void exitByAccessKey();

    QProcess m_xserver;
    QString m_display;
    QString m_binary;
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_programFolder;
    QString m_photos;
    QProcessEnvironment m_environment;
    QProcess m_program;
    QString m_window;
    int m_windowX = 0;
    int m_windowY = 0;
    QStringList m_command; // how to start the program, when not from the program folder
};

void TestEndToEnd::initTestCase()
{
    m_binary = qEnvironmentVariable("MIVOT_BINARY");
    QVERIFY2(QFile::exists(m_binary), "MIVOT_BINARY must name the built program");
    for (int number = 60; number < 100; ++number) {
        if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))
            || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            continue;
        m_display = QStringLiteral(":%1").arg(number);
        break;
    }
    QVERIFY(!m_display.isEmpty());
    m_xserver.start(QStringLiteral("Xvfb"), {m_display, QStringLiteral("-screen"), QStringLiteral("0"),
                                             QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                             QStringLiteral("tcp")});
    QVERIFY2(m_xserver.waitForStarted(TimeoutMs), "Xvfb is needed: scripts/install-deps.sh installs it");
    const QString socket = QStringLiteral("/tmp/.X11-unix/X") + m_display.mid(1);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), TimeoutMs);
}

void TestEndToEnd::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    m_programFolder = m_home->filePath(QStringLiteral("mivot"));
    m_photos = m_programFolder + QStringLiteral("/photos");
    QVERIFY(QDir().mkpath(m_photos));
    QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("runtime"))));
    QFile::setPermissions(m_home->filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QFile::copy(m_binary, m_programFolder + QStringLiteral("/mivot")));

    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("DISPLAY"), m_display);
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_environment.insert(QStringLiteral("HOME"), m_home->path());
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home->filePath(QStringLiteral("runtime")));
}

void TestEndToEnd::cleanup()
{
    m_command.clear();
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(TimeoutMs);
    }
}

void TestEndToEnd::cleanupTestCase()
{
    m_xserver.terminate();
    m_xserver.waitForFinished(TimeoutMs);
}

void TestEndToEnd::startProgram()
{
    m_program.setProcessEnvironment(m_environment);
    m_program.setWorkingDirectory(m_home->path());
    if (m_command.isEmpty())
        m_program.start(m_programFolder + QStringLiteral("/mivot"), {});
    else
        m_program.start(m_command.first(), m_command.mid(1));
    QVERIFY(m_program.waitForStarted(TimeoutMs));
    m_window = findWindow(QStringLiteral("Quandelspur"));
    QVERIFY(!m_window.isEmpty());
    const QString geometry = run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), m_window}, m_environment);
    const QRegularExpressionMatch x = QRegularExpression(QStringLiteral("X=(-?\\d+)")).match(geometry);
    const QRegularExpressionMatch y = QRegularExpression(QStringLiteral("Y=(-?\\d+)")).match(geometry);
    QVERIFY2(x.hasMatch() && y.hasMatch(), qPrintable(geometry));
    m_windowX = x.captured(1).toInt();
    m_windowY = y.captured(1).toInt();
    QVERIFY2(geometry.contains(QStringLiteral("WIDTH=568")) && geometry.contains(QStringLiteral("HEIGHT=420")), qPrintable(geometry));
    xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window});
}

QString TestEndToEnd::findWindow(const QString &titlePattern)
{
    bool ok = false;
    const QString ids = run(QStringLiteral("xdotool"),
                            {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--name"), titlePattern},
                            m_environment, &ok);
    return ok ? ids.split(QLatin1Char('\n')).last() : QString();
}

void TestEndToEnd::xdo(const QStringList &arguments)
{
    bool ok = false;
    run(QStringLiteral("xdotool"), arguments, m_environment, &ok);
    QVERIFY2(ok, qPrintable(arguments.join(QLatin1Char(' '))));
}

void TestEndToEnd::clickAt(int left, int top)
{
    xdo({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(m_windowX + px(left)),
         QString::number(m_windowY + px(top)), QStringLiteral("click"), QStringLiteral("1")});
    QTest::qWait(150);
}

void TestEndToEnd::clickControl(int left, int top, int width, int height, int frameLeft, int frameTop)
{
    clickAt(frameLeft + left + width / 2, frameTop + top + height / 2);
}

void TestEndToEnd::keys(const QStringList &keys)
{
    xdo(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30")} + keys);
    QTest::qWait(150);
}

void TestEndToEnd::answerBox(const QString &title, const QString &key)
{
    const QString box = findWindow(title);
    QVERIFY2(!box.isEmpty(), qPrintable(QStringLiteral("no box titled ") + title));
    xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), box});
    keys({key});
}

void TestEndToEnd::openSubfolderPhotos()
{
    // The folder list shows the chain down to the program folder, then its one subfolder: the last row.
    clickControl(240, 600, 2535, 2190);
    keys({QStringLiteral("End"), QStringLiteral("Return")});
}

void TestEndToEnd::exitByAccessKey()
{
    // Without a window manager, focus stays where the last box left it: click the window first, as a person would.
    xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window});
    clickAt(7000, 6000);
    keys({QStringLiteral("alt+x")});
    waitForProgramEnd();
}

void TestEndToEnd::waitForProgramEnd()
{
    if (m_program.state() != QProcess::NotRunning)
        QVERIFY(m_program.waitForFinished(TimeoutMs));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
}

void TestEndToEnd::exitRemovesWorkFolder()
{
    startProgram();
    QVERIFY(QFileInfo(m_programFolder + QStringLiteral("/xxxxxxx")).isDir());
    clickControl(6360, 5040, 1935, 615);
    waitForProgramEnd();
    QVERIFY(!QFile::exists(m_programFolder + QStringLiteral("/xxxxxxx")));
}

void TestEndToEnd::spaceRemovalOfAFolder()
{
    writeFile(m_photos + QStringLiteral("/my trip 1.jpg"), "one");
    writeFile(m_photos + QStringLiteral("/my trip 2.jpg"), "two");
    writeFile(m_photos + QStringLiteral("/no_space.txt"), "three");
    startProgram();
    openSubfolderPhotos();
    clickControl(360, 600, 1935, 495, 3120, 1560);
    answerBox(QStringLiteral("確認メッセージ"), QStringLiteral("Return"));
    QTRY_COMPARE_WITH_TIMEOUT(filesIn(m_photos),
                              (QStringList{QStringLiteral("mytrip1.jpg"), QStringLiteral("mytrip2.jpg"), QStringLiteral("no_space.txt")}),
                              TimeoutMs);
    QCOMPARE(readFile(m_photos + QStringLiteral("/mytrip2.jpg")), QByteArray("two"));
    // The batch left its record behind: Ctrl+Z in the file list takes it back.
    clickControl(240, 2880, 2535, 3330);
    keys({QStringLiteral("ctrl+z")});
    answerBox(QStringLiteral("確認メッセージ"), QStringLiteral("Return"));
    QTRY_COMPARE_WITH_TIMEOUT(filesIn(m_photos),
                              (QStringList{QStringLiteral("my trip 1.jpg"), QStringLiteral("my trip 2.jpg"), QStringLiteral("no_space.txt")}),
                              TimeoutMs);
    QCOMPARE(readFile(m_photos + QStringLiteral("/my trip 2.jpg")), QByteArray("two"));
    exitByAccessKey();
    QVERIFY(!QFile::exists(m_programFolder + QStringLiteral("/xxxxxxx")));
}

void TestEndToEnd::singleRenameWithSwitchOn()
{
    writeFile(m_photos + QStringLiteral("/photo.JPG"), "picture");
    startProgram();
    openSubfolderPhotos();
    clickControl(240, 1440, 1575, 495, 6240, 1440); // 拡張子自動付加
    clickControl(240, 2880, 2535, 3330);              // the file list
    keys({QStringLiteral("Home")});
    clickControl(3120, 960, 4215, 270);               // the new-name box
    xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("trip")});
    keys({QStringLiteral("Return")});
    QTRY_COMPARE_WITH_TIMEOUT(filesIn(m_photos), QStringList{QStringLiteral("trip.JPG")}, TimeoutMs);
    QCOMPARE(readFile(m_photos + QStringLiteral("/trip.JPG")), QByteArray("picture"));
    QVERIFY(readFile(m_programFolder + QStringLiteral("/Option.ini")).contains("=True"));
    exitByAccessKey();
}

void TestEndToEnd::serialRenameThroughItsDialog()
{
    writeFile(m_photos + QStringLiteral("/b.jpg"), "b");
    writeFile(m_photos + QStringLiteral("/a.jpg"), "a");
    writeFile(m_photos + QStringLiteral("/c.png"), "c");
    startProgram();
    openSubfolderPhotos();
    clickControl(360, 2280, 1935, 495, 3120, 1560); // 連番リネーム
    answerBox(QStringLiteral("確認メッセージ"), QStringLiteral("Return"));
    const QString dialog = findWindow(QStringLiteral("ファイル名設定"));
    QVERIFY(!dialog.isEmpty());
    xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), dialog});
    // Focus starts in the head-text box, which holds "Re": replace it, then the start number.
    keys({QStringLiteral("ctrl+a")});
    xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("Photo")});
    keys({QStringLiteral("Tab"), QStringLiteral("ctrl+a")});
    xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("7")});
    // The start button, placed in the dialog's own client area.
    const QString geometry = run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), dialog}, m_environment);
    const int dialogX = QRegularExpression(QStringLiteral("X=(-?\\d+)")).match(geometry).captured(1).toInt();
    const int dialogY = QRegularExpression(QStringLiteral("Y=(-?\\d+)")).match(geometry).captured(1).toInt();
    xdo({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(dialogX + px(120 + 975 / 2)),
         QString::number(dialogY + px(1680 + 375 / 2)), QStringLiteral("click"), QStringLiteral("1")});
    QTRY_COMPARE_WITH_TIMEOUT(filesIn(m_photos),
                              (QStringList{QStringLiteral("Photo7.jpg"), QStringLiteral("Photo8.jpg"), QStringLiteral("Photo9.png")}),
                              TimeoutMs);
    QCOMPARE(readFile(m_photos + QStringLiteral("/Photo7.jpg")), QByteArray("a"));
    QCOMPARE(readFile(m_photos + QStringLiteral("/Photo9.png")), QByteArray("c"));
    exitByAccessKey();
}

void TestEndToEnd::cp932NamesConvertedThroughContextMenu()
{
    // 写真髙１.jpg as a Windows archive leaves it: CP932, 髙 in its NEC-selected code.
    writeFile(joinPath(m_photos, nameFromBytes("\x8e\xca\x90\x5e\xee\xe0\x82\x50.jpg")), "one");
    writeFile(m_photos + QStringLiteral("/plain.txt"), "two");
    const Snapshot before = snapshot(m_photos);
    startProgram();
    openSubfolderPhotos();
    // The file list's context menu on its first row, and the menu's first item.
    xdo({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(m_windowX + px(240 + 2535 / 2)),
         QString::number(m_windowY + px(2880 + 200)), QStringLiteral("click"), QStringLiteral("3")});
    QTest::qWait(300);
    keys({QStringLiteral("Down"), QStringLiteral("Return")});
    answerBox(QStringLiteral("確認メッセージ"), QStringLiteral("Return"));
    QTRY_COMPARE_WITH_TIMEOUT(snapshot(m_photos).keys(), (QStringList{QStringLiteral("plain.txt"), QStringLiteral("写真髙１.jpg")}),
                              TimeoutMs);
    QCOMPARE(readFile(m_photos + QStringLiteral("/写真髙１.jpg")), QByteArray("one"));
    // Ctrl+Z gives the name its very bytes back.
    clickControl(240, 2880, 2535, 3330);
    keys({QStringLiteral("ctrl+z")});
    answerBox(QStringLiteral("確認メッセージ"), QStringLiteral("Return"));
    QTRY_COMPARE_WITH_TIMEOUT(snapshot(m_photos), before, TimeoutMs);
    exitByAccessKey();
    clearFolder(m_photos);
}

void TestEndToEnd::installedCopyKeepsSettingsPerUser()
{
    const QString buildFolder = qEnvironmentVariable("MIVOT_BUILD_DIR");
    QVERIFY2(QFile::exists(buildFolder), "MIVOT_BUILD_DIR must name the build folder");
    const QString prefix = m_home->filePath(QStringLiteral("prefix"));
    bool ok = false;
    const QString output = run(QStringLiteral("cmake"), {QStringLiteral("--install"), buildFolder, QStringLiteral("--prefix"), prefix},
                               QProcessEnvironment::systemEnvironment(), &ok);
    QVERIFY2(ok, qPrintable(output));
    QVERIFY(QFile::exists(prefix + QStringLiteral("/share/applications/org.example.mivot.desktop")));
    QVERIFY(QFile::exists(prefix + QStringLiteral("/share/icons/hicolor/32x32/apps/org.example.mivot.png")));
    const QString installed = prefix + QStringLiteral("/bin/mivot");
    QVERIFY(QFile::exists(installed));

    // The user who runs it cannot write where it is installed. It opens the user's home folder,
    // whose one visible subfolder is the photos.
    const QString userHome = m_home->filePath(QStringLiteral("user"));
    const QString perUser = userHome + QStringLiteral("/.local/share/mivot");
    const QString photos = userHome + QStringLiteral("/photos");
    const QString runtime = m_home->filePath(QStringLiteral("user-runtime"));
    QVERIFY(QDir().mkpath(perUser));
    QVERIFY(QDir().mkpath(photos));
    QVERIFY(QDir().mkpath(runtime));
    writeFile(photos + QStringLiteral("/a.JPG"), "first");
    writeFile(photos + QStringLiteral("/b.JPG"), "second");
    m_environment.insert(QStringLiteral("HOME"), userHome);
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    if (::geteuid() == 0) {
        const QString nobody = QStringLiteral("65534");
        QVERIFY(QFile::setPermissions(m_home->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                         | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
        run(QStringLiteral("chown"), {QStringLiteral("-R"), nobody + QLatin1Char(':') + nobody, userHome, runtime}, m_environment, &ok);
        QVERIFY(ok);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_command = {QStringLiteral("setpriv"), QStringLiteral("--reuid=") + nobody, QStringLiteral("--regid=") + nobody,
                     QStringLiteral("--clear-groups"), installed};
    } else {
        QVERIFY(QFile::setPermissions(prefix + QStringLiteral("/bin"), QFile::ReadOwner | QFile::ExeOwner));
        m_command = {installed};
    }

    startProgram();
    openSubfolderPhotos();
    clickControl(240, 1440, 1575, 495, 6240, 1440); // 拡張子自動付加: on
    clickControl(240, 2880, 2535, 3330);
    keys({QStringLiteral("Home")});
    clickControl(3120, 960, 4215, 270);
    xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("one")});
    keys({QStringLiteral("Return")});
    QTRY_COMPARE_WITH_TIMEOUT(filesIn(photos), (QStringList{QStringLiteral("b.JPG"), QStringLiteral("one.JPG")}), TimeoutMs);
    exitByAccessKey();
    QVERIFY(readFile(perUser + QStringLiteral("/Option.ini")).contains("=True"));
    QVERIFY(!QFile::exists(perUser + QStringLiteral("/xxxxxxx")));
    QCOMPARE(QDir(prefix + QStringLiteral("/bin")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{QStringLiteral("mivot")});

    // The switch is read back at the next start: the next rename keeps the extension by itself.
    // This start is a file manager's "Open with" on b.JPG: its folder opens with the file chosen.
    m_command.append(photos + QStringLiteral("/b.JPG"));
    startProgram();
    clickControl(3120, 960, 4215, 270);
    xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("two")});
    keys({QStringLiteral("Return")});
    QTRY_COMPARE_WITH_TIMEOUT(filesIn(photos), (QStringList{QStringLiteral("one.JPG"), QStringLiteral("two.JPG")}), TimeoutMs);
    QCOMPARE(readFile(photos + QStringLiteral("/two.JPG")), QByteArray("second"));
    exitByAccessKey();
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
