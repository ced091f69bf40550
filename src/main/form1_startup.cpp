#include "main/form1.h"

#include "batch/recovery.h"
#include "main/listsrefreshonce.h"
#include "main/screencentre.h"
#include "main/sharedvalues.h"
#include "platform/listing.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include <cerrno>

void Form1::Form_Load()
{
    {
        // Each of these steps points the lists at the program folder; they read it once, as the
        // block ends, before the work folder is made.
        const ListsRefreshOnce once(Dir1, File1);
        setDir1Path(m_platform.programFolder);
        centreOnScreen(this);

        IniLoad(QStringLiteral("拡張子"), QStringLiteral("添付"));
        setCmdHukaBackColor(shared::ProfileBuffer.left(4) == QLatin1String("True") ? HukaColor::On : HukaColor::Off);

        IniLoad(QStringLiteral("拡張子"), QStringLiteral("表示"));
        const qsizetype nul = shared::ProfileBuffer.indexOf(QChar(0));
        File1->setPattern(nul < 0 ? shared::ProfileBuffer : shared::ProfileBuffer.left(nul));
    }

    // A work folder left by an earlier run is fine, and a folder that cannot be made is met by
    // the batch commands, which say so then.
    m_platform.fileSystem.makeFolder(workFolder());

    // A batch that a crash cut short is undone before anything else can touch its files.
    const QList<RecoveryReport> recovered = recoverInterruptedBatches(m_platform.fileSystem, m_platform.programFolder);
    if (!recovered.isEmpty())
        File1->refresh();
    QStringList messages;
    for (const RecoveryReport &report : recovered) {
        const QString message = recoveryMessage(report);
        if (!message.isEmpty())
            messages.append(message);
    }
    if (!messages.isEmpty())
        m_platform.messages.show(messages.join(QStringLiteral("\n\n")), MsgButtons::Ok);
}

void Form1::Command2_Click()
{
    if (m_ended)
        return;
    const QString folder = workFolder();
    const FsResult removed = m_platform.fileSystem.removeFolder(folder);
    if (!removed.ok() && removed.error != ENOENT) {
        if (removed.error == ENOTEMPTY || removed.error == EEXIST) {
            const qsizetype remaining = m_platform.fileSystem.entryNames(folder).size();
            m_platform.messages.show(QStringLiteral("作業フォルダにファイルが残っているため、削除しませんでした。\n%1\n残っているファイル：%2 個")
                                         .arg(folder)
                                         .arg(remaining),
                                     MsgButtons::Ok);
        } else {
            m_platform.messages.show(QStringLiteral("作業フォルダを削除できませんでした。\n%1\n%2")
                                         .arg(folder, removed.reason()),
                                     MsgButtons::Ok);
        }
    }
    m_ended = true;
    close();
    emit ended();
    QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_batchRunning) {
        event->ignore();
        return;
    }
    if (!m_ended)
        Command2_Click();
    event->accept();
}
