#include "main/form1.h"

bool Form1::confirmBatch(const QString &prompt)
{
    return m_platform.messages.show(prompt, MsgButtons::OkCancel, QStringLiteral("確認メッセージ")) == MsgAnswer::Ok;
}

void Form1::Command4_Click() {}
void Form1::Command5_Click() {}
void Form1::Spacekiller() {}
void Form1::UBarKiller() {}
void Form1::runBatchMove(const NameRule &rule)
{
    Q_UNUSED(rule);
}
