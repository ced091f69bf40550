#include "main/startup.h"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>

bool claimSingleCopy(SingleCopyLock &lock, MessageBoxes &messages)
{
    if (lock.acquire())
        return true;
    messages.show(QStringLiteral("すでに起動してます"), MsgButtons::Ok, applicationTitle());
    return false;
}

void applyApplicationLook()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPixelSize(12);
    QApplication::setFont(font);
}
