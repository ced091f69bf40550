#include "main/filelist.h"

#include "platform/filename.h"

#include <QAbstractListModel>
#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>

// The entries the list shows, which stay while the list reads its folder again for someone who
// asks for its entries before they are shown.
class FileEntriesModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void show(const QStringList &entries)
    {
        beginResetModel();
        m_shown = entries;
        endResetModel();
    }

    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? 0 : int(m_shown.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || index.row() >= m_shown.size())
            return QVariant();
        return displayName(m_shown.at(index.row()));
    }

private:
    QStringList m_shown;
};

namespace {

// The path by which two spellings of one folder compare equal: links and ".." resolved.
QString canonicalFolder(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

} // namespace

FileList::FileList(QWidget *parent)
    : QListView(parent)
    , m_model(new FileEntriesModel(this))
{
    setModel(m_model);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &current) {
        if (!m_filling && current.isValid())
            emit chosen();
    });
    connect(this, &QAbstractItemView::clicked, this, [this] { emit chosen(); });
}

void FileList::setPath(const QString &folder)
{
    m_path = folder;
    refresh();
}

void FileList::setPattern(const QString &pattern)
{
    m_filter = NameFilter(pattern);
    refresh();
}

QString FileList::fileName() const
{
    // The refresh still to be shown leaves no entry chosen.
    const QModelIndex current = currentIndex();
    if (m_showDue || !current.isValid() || !selectionModel()->isSelected(current))
        return QString();
    return m_entries.value(current.row());
}

QString FileList::list(int index) const
{
    return entries().value(index);
}

QStringList FileList::entries() const
{
    readIfDue();
    return m_entries;
}

void FileList::refresh()
{
    m_readDue = true;
    m_showDue = true;
    if (m_held == 0)
        showEntries();
}

void FileList::readIfDue() const
{
    if (m_readDue)
        setEntries(m_path.isEmpty() ? QStringList() : listFolderFiles(m_path, m_filter));
}

void FileList::setEntries(QStringList entries) const
{
    m_readDue = false;
    m_entries = std::move(entries);
    if (m_entries.isEmpty() || m_ownFiles.isEmpty())
        return;
    const QString here = canonicalFolder(m_path);
    QStringList ownHere;
    for (const OwnFile &own : m_ownFiles) {
        if (own.folder == here)
            ownHere.append(own.name);
    }
    if (!ownHere.isEmpty())
        m_entries.removeIf([&](const QString &name) { return ownHere.contains(name); });
}

// The entries shown go before the folder is read again: two lists of 100,000 names need not
// stand at once. Nothing is painted in between.
void FileList::dropShown()
{
    m_filling = true;
    m_model->show(QStringList());
    m_entries = QStringList();
    m_filling = false;
}

void FileList::showEntries()
{
    if (m_readDue)
        dropShown();
    readIfDue();
    m_showDue = false;
    m_filling = true;
    m_model->show(m_entries);
    m_filling = false;
}

void FileList::setOwnFiles(const QStringList &paths)
{
    m_ownFiles.clear();
    for (const QString &path : paths) {
        const QFileInfo file(path);
        m_ownFiles.append({canonicalFolder(file.path()), file.fileName()});
    }
    refresh();
}

void FileList::mousePressEvent(QMouseEvent *event)
{
    // A click below the last entry keeps the chosen one chosen, as the name boxes still show it.
    if (!indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

bool FileList::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QListView::viewportEvent(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid()) {
        const QRect row = visualRect(index);
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = row;
        if (itemDelegateForIndex(index)->sizeHint(option, index).width() > viewport()->width() - row.left()) {
            QToolTip::showText(help->globalPos(), index.data().toString(), viewport(), row);
            return true;
        }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}
