#include "main/folderlist.h"

#include "platform/listing.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include <cerrno>
#include <dirent.h>

namespace {

FsResult checkReadable(const QString &folder)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return FsResult::failure(errno);
    ::closedir(dir);
    return FsResult::success();
}

constexpr int DepthRole = Qt::UserRole + 1;

// Indents each entry by its depth in the chain. The indentation is drawn, not typed into the
// text, so that typing a folder's name finds it.
class IndentDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem indented = option;
        indented.rect.setLeft(option.rect.left() + indentOf(option, index));
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indentOf(option, index), 0);
    }

private:
    static int indentOf(const QStyleOptionViewItem &option, const QModelIndex &index)
    {
        return index.data(DepthRole).toInt() * option.fontMetrics.horizontalAdvance(QStringLiteral("  "));
    }
};

} // namespace

FolderList::FolderList(QWidget *parent)
    : QListWidget(parent)
{
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(16, 16));
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemActivated, this, &FolderList::openItem);
}

FsResult FolderList::setPath(const QString &folder)
{
    const QString clean = QDir::cleanPath(folder);
    const FsResult readable = checkReadable(clean);
    if (!readable.ok())
        return readable;

    m_path = clean;
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirIcon);

    QStringList chain;
    for (QDir dir(clean);; ) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    int depth = 0;
    for (const QString &step : chain) {
        const QString text = depth == 0 ? step : QDir(step).dirName();
        auto *item = new QListWidgetItem(openIcon, text, this);
        item->setData(Qt::UserRole, step);
        item->setData(DepthRole, depth);
        ++depth;
    }
    setCurrentRow(count() - 1);
    for (const QString &name : listSubfolders(clean)) {
        auto *item = new QListWidgetItem(closedIcon, name, this);
        item->setData(Qt::UserRole, joinPath(clean, name));
        item->setData(DepthRole, depth);
    }
    emit changed();
    return FsResult::success();
}

void FolderList::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        openItem(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::openItem(QListWidgetItem *item)
{
    if (item)
        emit openRequested(item->data(Qt::UserRole).toString());
}
