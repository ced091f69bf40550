#include "main/form1.h"

#include "main/listsrefreshonce.h"
#include "main/namesplit.h"
#include "platform/filename.h"

bool Form1::setDir1Path(const QString &folder)
{
    // The file list follows the folder list to the folder: one reading serves both.
    const ListsRefreshOnce once(Dir1, File1);
    const FsResult moved = Dir1->setPath(folder);
    if (!moved.ok()) {
        m_platform.messages.show(QStringLiteral("フォルダを開けませんでした。\n%1\n%2").arg(displayPath(folder), moved.reason()),
                                 MsgButtons::Ok);
    }
    return moved.ok();
}

void Form1::Drive1_Change()
{
    // Choosing the drive that is chosen already is no change.
    if (Drive1->drive() == m_drive)
        return;
    if (!setDir1Path(Drive1->drive())) {
        // The lists stay where they were; so does the drive shown.
        Drive1->chooseDrive(m_drive);
        return;
    }
    m_drive = Drive1->drive();
    emptyNameBoxes();
}

void Form1::Dir1_Change()
{
    File1->setPath(Dir1->path());
    emptyNameBoxes();
}

void Form1::File1_Click()
{
    const SplitName split = splitName(displayName(File1->fileName()));
    Text1[1]->setText(split.extension);
    Text2->setText(split.name);
    Text3->setText(split.extension);
}
