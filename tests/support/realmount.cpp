#include "support/realmount.h"

#include <QProcess>

RealMount::RealMount(const QString &kind)
    : m_kind(kind)
{
}

RealMount::~RealMount()
{
    unmount();
}

int RealMount::run(const QString &action, QString *output)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(QStringLiteral(REALMOUNT_SCRIPT), {action, m_kind, m_folder.path()});
    if (!script.waitForFinished(60000)) {
        script.kill();
        script.waitForFinished();
    }
    if (output)
        *output = QString::fromLocal8Bit(script.readAll()).trimmed();
    return script.exitStatus() == QProcess::NormalExit ? script.exitCode() : -1;
}

int RealMount::mount(QString *why)
{
    if (!m_folder.isValid()) {
        *why = QStringLiteral("no temporary folder");
        return -1;
    }
    QString output;
    const int result = run(QStringLiteral("mount"), &output);
    *why = QStringLiteral("%1: %2").arg(m_kind, output);
    return result;
}

void RealMount::unmount()
{
    run(QStringLiteral("unmount"), nullptr);
}
