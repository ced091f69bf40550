#include "support/lookalikemount.h"

#include <QFile>
#include <QThread>

#include <unistd.h>

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

} // namespace

LookalikeMount::LookalikeMount(const QString &mode, const QString &backing, const QString &mountPoint)
    : m_mode(mode)
    , m_backing(backing)
    , m_mountPoint(mountPoint)
{
}

LookalikeMount::~LookalikeMount()
{
    unmount();
}

QString LookalikeMount::unusableReason()
{
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return QStringLiteral("/dev/fuse is missing or not usable by this user");
    if (QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("command -v fusermount3 >/dev/null")}) != 0)
        return QStringLiteral("fusermount3 is not installed (Debian package fuse3)");
    if (QProcess::execute(Python, {QStringLiteral("-c"), QStringLiteral("import fusepy")}) != 0)
        return QStringLiteral("%1 cannot import fusepy (Debian package python3-fusepy)").arg(Python);
    return QString();
}

bool LookalikeMount::mounted() const
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = ' ' + QFile::encodeName(m_mountPoint) + ' ';
    return mounts.readAll().contains(line);
}

bool LookalikeMount::mount(QString *why)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(Python, {QStringLiteral(LOOKALIKEFS_SCRIPT), m_mode, m_backing, m_mountPoint});
    for (int waited = 0; waited < 100 && m_process.state() != QProcess::NotRunning; ++waited) {
        if (mounted())
            return true;
        QThread::msleep(100);
    }
    *why = QStringLiteral("the %1 filesystem did not mount at %2").arg(m_mode, m_mountPoint);
    unmount();
    return false;
}

void LookalikeMount::unmount()
{
    if (mounted())
        QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-u"), m_mountPoint});
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}
