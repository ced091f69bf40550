#include "main/filelist.h"

#include "platform/filename.h"
#include "platform/filesystem.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>

namespace {

// The path by which two spellings of one folder compare equal: links and ".." resolved.
QString canonicalFolder(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

} // namespace

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
    if (!m_entries.isEmpty() && !m_ownFiles.isEmpty()) {
        const QString here = canonicalFolder(m_path);
        m_entries.removeIf([&](const QString &name) { return m_ownFiles.contains(joinPath(here, name)); });
    }
    clear();
    for (const QString &name : std::as_const(m_entries))
        addItem(displayName(name));
    setCurrentRow(-1);
    m_filling = false;
}

void FileList::setOwnFiles(const QStringList &paths)
{
    m_ownFiles.clear();
    for (const QString &path : paths) {
        const QFileInfo file(path);
        m_ownFiles.append(joinPath(canonicalFolder(file.path()), file.fileName()));
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
    QListWidget::mousePressEvent(event);
}
