#include "platform/systemreason.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>

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
        return QStringLiteral("ディスク（メモリーカード）がいっぱいです");
    case EDQUOT:
        return QStringLiteral("ディスクの使用量の上限に達しました");
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

QString moveFailureReason(int error, const QByteArray &from, const QByteArray &to)
{
    const QString system = systemReason(error);
    if (error == ENOSPC || error == EDQUOT)
        return system;
    struct stat st;
    const bool stillThere = ::lstat(from.constData(), &st) == 0;
    const bool targetFree = ::lstat(to.constData(), &st) != 0 && errno == ENOENT;
    if (!stillThere || !targetFree)
        return system;
    const qsizetype slash = to.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? to.left(slash) : QByteArray("/");
    struct statvfs space;
    if (::statvfs(folder.constData(), &space) == 0 && space.f_bavail == 0 && space.f_blocks != 0)
        return QStringLiteral("ディスク（メモリーカード）がいっぱいです（システムの説明: %1）").arg(system);
    if ((error == ENOENT || error == EINVAL) && ::stat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return QStringLiteral("このフォルダのファイルシステムが、この名前を受け付けません（システムの説明: %1）").arg(system);
    return system;
}
