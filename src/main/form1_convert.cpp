#include "main/form1.h"

#include "batch/batchmessage.h"
#include "batch/utf8name.h"
#include "main/listsrefreshonce.h"
#include "platform/filename.h"
#include "platform/messagebox.h"

#include <QDir>
#include <QListWidgetItem>

#include <cerrno>

void Form1::setUpConversion()
{
    // The menus come beside the window: nothing of its captions or buttons changes.
    convertFilesAction = new QAction(QStringLiteral("ファイル名を UTF-8 に変換(&U)"), this);
    convertFilesAction->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_U));
    convertFilesAction->setShortcutVisibleInContextMenu(true);
    connect(convertFilesAction, &QAction::triggered, this, &Form1::convertFileNames);
    File1->addAction(convertFilesAction);
    File1->setContextMenuPolicy(Qt::ActionsContextMenu);

    convertFolderAction = new QAction(QStringLiteral("フォルダ名を UTF-8 に変換(&U)"), this);
    connect(convertFolderAction, &QAction::triggered, this, [this] {
        // The entry under the pointer became the current one when the menu was asked for.
        if (const QListWidgetItem *item = Dir1->currentItem())
            convertFolderName(item->data(Qt::UserRole).toString());
    });
    Dir1->addAction(convertFolderAction);
    Dir1->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void Form1::convertFileNames()
{
    MessageBoxes &messages = m_platform.messages;
    const Utf8Conversion found = utf8ConversionOf(File1->entries());
    const QString unexplained = unexplainedNamesText(found.unexplained);
    if (found.toConvert == 0) {
        QString text = QStringLiteral("UTF-8 に変換する CP932 の名前は、ファイルリストにありません。");
        if (!unexplained.isEmpty())
            text += QStringLiteral("\n\n") + unexplained;
        messages.show(text, MsgButtons::Ok);
        return;
    }
    // Every listed file goes as in any batch, so that every check sees the folder as it will be;
    // a UTF-8 name and one no encoding explains stay as they are.
    // The names left as they are come first, where a long list does not hide them.
    QString details = utf8ConversionHead(found.toConvert);
    if (!unexplained.isEmpty())
        details += QLatin1Char('\n') + unexplained;
    details += QStringLiteral("\n\n") + batchPreview(utf8Name);
    if (confirmBatch(QStringLiteral("リスト内の CP932 のファイル名を UTF-8 に変換します"), details))
        runBatchMove(utf8Name);
    m_previewed.reset();
}

void Form1::convertFolderName(const QString &folder)
{
    MessageBoxes &messages = m_platform.messages;
    FileSystem &fileSystem = m_platform.fileSystem;
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    const QString name = folder.sliced(slash + 1);
    if (name.isEmpty())
        return;
    const QString parent = slash == 0 ? QStringLiteral("/") : folder.first(slash);
    const FileName old = FileName::fromName(name);
    if (old.encoding() == NameEncoding::Utf8) {
        messages.show(QStringLiteral("フォルダ名「%1」は、すでに UTF-8 です。").arg(name), MsgButtons::Ok);
        return;
    }
    if (old.encoding() == NameEncoding::Bytes) {
        messages.show(unexplainedNamesText({name}), MsgButtons::Ok);
        return;
    }
    if (refusedAsProgramFolder(folder))
        return;
    const QString newName = old.text();
    const QString renamed = joinPath(parent, newName);
    // Judged as any new name: the filesystem's characters, reserved names and length in its own units.
    const NameRules rules = fileSystem.nameRules(parent);
    const int maxNameBytes = fileSystem.maxNameLength(parent);
    if (!rules.utf16Length && bytesOfName(newName).size() > maxNameBytes) {
        messages.show(QStringLiteral("UTF-8 では名前が長すぎます（%1 バイト、このフォルダでは %2 バイトまで）。\n%3")
                          .arg(bytesOfName(newName).size())
                          .arg(maxNameBytes)
                          .arg(displayPath(folder)),
                      MsgButtons::Ok);
        return;
    }
    if (const NameVerdict verdict = checkName(rules, newName); verdict.refused()) {
        messages.show(QStringLiteral("%1。\n%2").arg(nameRefusalReason(rules, verdict, newName), displayPath(folder)), MsgButtons::Ok);
        return;
    }
    const QString lookAlike = lookAlikeAmong(fileSystem.entryNames(parent), newName, name, fileSystem.ignoresCase(parent));
    if (!lookAlike.isEmpty()) {
        messages.show(QStringLiteral("同じ名前のものがすでにあります。\n%1\n%2").arg(displayPath(renamed), lookAlikeSentence(newName, lookAlike)),
                      MsgButtons::Ok);
        return;
    }
    const QString details = QStringLiteral("%1\n%2 → %3\nCP932 の名前を、同じ文字のまま UTF-8 の名前に書き換えます。"
                                           "フォルダの中のファイルの名前は変わりません。この変換は Ctrl+Z で元に戻せます。")
                                .arg(displayPath(parent), displayName(name), newName);
    if (!confirmBatch(QStringLiteral("フォルダ名を UTF-8 に変換します"), details))
        return;

    // One move, which never replaces anything: a name taken meanwhile refuses it.
    const FsResult moved = fileSystem.move(folder, renamed);
    if (!moved.ok()) {
        messages.show(QStringLiteral("フォルダ名を変更できませんでした。\n%1 → %2\n%3")
                          .arg(displayPath(folder), newName, moved.error == EEXIST ? QStringLiteral("同じ名前のものがすでにあります") : moved.reason()),
                      MsgButtons::Ok);
        return;
    }
    {
        // The lists stay on the folder they showed, under its new path where it lay in the renamed one.
        const ListsRefreshOnce once(Dir1, File1);
        if (!setDir1Path(pathAfterFolderRename(Dir1->path(), folder, renamed)))
            emptyNameBoxes();
        File1->refresh();
    }
    // The newest step of the history, which Ctrl+Z takes back as any rename.
    recordRename(parent, {{name, newName}});
}

bool Form1::refusedAsProgramFolder(const QString &folder)
{
    // The program's own folder keeps its path while the program runs: its lock, work folder and records live there.
    const QString program = QDir::cleanPath(m_platform.programFolder);
    if (program != folder && !program.startsWith(folder + QLatin1Char('/')))
        return false;
    m_platform.messages.show(QStringLiteral("このフォルダにはプログラムのフォルダがあるため、名前を変えられません。\n%1").arg(displayPath(folder)),
                             MsgButtons::Ok);
    return true;
}

QString Form1::pathAfterFolderRename(const QString &path, const QString &folder, const QString &renamed)
{
    if (path == folder || path.startsWith(folder + QLatin1Char('/')))
        return renamed + path.sliced(folder.size());
    return path;
}
