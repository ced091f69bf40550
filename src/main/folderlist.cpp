#include "main/folderlist.h"

#include "platform/filename.h"
#include "platform/listing.h"

#include <QDir>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include <cerrno>
#include <dirent.h>

namespace {

FsResult checkReadable(const QString &folder)
{
    DIR *dir = ::opendir(bytesOfName(folder).constData());
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
    takeIcons();
    connect(this, &QListWidget::itemActivated, this, &FolderList::openItem);
}

void FolderList::takeIcons()
{
    m_openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    m_closedIcon = style()->standardIcon(QStyle::SP_DirIcon);
}

FsResult FolderList::setPath(const QString &folder)
{
    // Plain string work only: the path may hold bytes that are not UTF-8 (see filename.h).
    const QString clean = QDir::cleanPath(QDir::isAbsolutePath(folder) ? folder : joinPath(QDir::currentPath(), folder));
    const FsResult readable = checkReadable(clean);
    if (!readable.ok())
        return readable;

    m_path = clean;
    m_readDue = m_held > 0;
    if (!m_readDue)
        showEntries(listSubfolders(clean));
    emit changed();
    return FsResult::success();
}

void FolderList::showEntries(const QStringList &subfolders)
{
    m_readDue = false;
    clear();

    const QStringList steps = m_path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    auto *root = new QListWidgetItem(m_openIcon, QStringLiteral("/"), this);
    root->setData(Qt::UserRole, QStringLiteral("/"));
    root->setData(DepthRole, 0);
    QString step;
    int depth = 1;
    for (const QString &name : steps) {
        step += QLatin1Char('/') + name;
        auto *item = new QListWidgetItem(m_openIcon, displayName(name), this);
        item->setData(Qt::UserRole, step);
        item->setData(DepthRole, depth);
        ++depth;
    }
    setCurrentRow(count() - 1);
    for (const QString &name : subfolders) {
        auto *item = new QListWidgetItem(m_closedIcon, displayName(name), this);
        item->setData(Qt::UserRole, joinPath(m_path, name));
        item->setData(DepthRole, depth);
    }
}

void FolderList::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        openItem(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

// Entries shown before a change of style keep the icons they were given; the next folder shown
// takes the new style's.
void FolderList::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::StyleChange)
        takeIcons();
    QListWidget::changeEvent(event);
}

void FolderList::openItem(QListWidgetItem *item)
{
    if (item)
        emit openRequested(item->data(Qt::UserRole).toString());
}
