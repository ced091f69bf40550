#include "main/form1.h"

#include "main/sharedvalues.h"
#include "platform/filesystem.h"
#include "platform/profilefile.h"

namespace {

ProfileFile optionFile(const QString &programFolder)
{
    return ProfileFile(joinPath(programFolder, QStringLiteral("Option.ini")));
}

} // namespace

void Form1::IniLoad(const QString &APP_NAME, const QString &KEY_NAME)
{
    setDir1Path(m_platform.programFolder);
    // The value is read whole: a display filter cut at 255 characters could end inside a piece
    // and show the wrong files. The buffer grows past its usual length for such a value.
    const QString value = optionFile(m_platform.programFolder).read(APP_NAME, KEY_NAME);
    shared::ProfileBuffer = value + QString(qMax<qsizetype>(1, shared::ProfileBufferLength - value.size()), QChar(0));
}

FsResult Form1::IniWrite(const QString &APP_NAME, const QString &KEY_NAME, const QString &strIreruyatu)
{
    const ProfileFile file = optionFile(m_platform.programFolder);
    const FsResult written = file.write(APP_NAME, KEY_NAME, strIreruyatu);
    if (!written.ok()) {
        m_platform.messages.show(QStringLiteral("設定を保存できませんでした。\n%1\n%2").arg(file.path(), written.reason()),
                                 MsgButtons::Ok);
    }
    return written;
}

void Form1::cmdHuka_Click()
{
    if (m_hukaColor == HukaColor::Off) {
        setCmdHukaBackColor(HukaColor::On);
        Text1[1]->setEnabled(false);
    } else {
        setCmdHukaBackColor(HukaColor::Off);
        Text1[1]->setEnabled(true);
    }
    const QString value = m_hukaColor == HukaColor::On ? QStringLiteral("True") : QStringLiteral("fsdfds");
    IniWrite(QStringLiteral("拡張子"), QStringLiteral("添付"), value);
}
