#include "main/filelist.h"

#include "platform/filename.h"

FileList::FileList(QWidget *parent)
    : QListWidget(parent)
{
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_filling && row >= 0)
            emit chosen();
    });
    connect(this, &QListWidget::itemClicked, this, [this] { emit chosen(); });
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
    const QListWidgetItem *item = currentItem();
    if (!item || !item->isSelected())
        return QString();
    return m_entries.value(row(item));
}

QString FileList::list(int index) const
{
    return m_entries.value(index);
}

void FileList::refresh()
{
    m_filling = true;
    m_entries = m_path.isEmpty() ? QStringList() : listFolderFiles(m_path, m_filter);
    clear();
    for (const QString &name : std::as_const(m_entries))
        addItem(displayName(name));
    setCurrentRow(-1);
    m_filling = false;
}
