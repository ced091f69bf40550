#include "platform/systemreason.h"

#include <cerrno>
#include <cstring>

QString systemReason(int error)
{
    switch (error) {
    case EACCES:
        return QStringLiteral("アクセスが拒否されました");
    case EPERM:
        return QStringLiteral("この操作は許可されていません");
    case ENOENT:
        return QStringLiteral("ファイルまたはフォルダが見つかりません");
    case EEXIST:
        return QStringLiteral("同じ名前のものがすでにあります");
    case EROFS:
        return QStringLiteral("読み取り専用のファイルシステムです");
    case ENOSPC:
        return QStringLiteral("ディスクの空き領域が足りません");
    case EDQUOT:
        return QStringLiteral("ディスクの使用量の上限を超えました");
    case ENAMETOOLONG:
        return QStringLiteral("名前が長すぎます");
    case EBUSY:
        return QStringLiteral("使用中です");
    case EIO:
        return QStringLiteral("入出力エラーが発生しました");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}
