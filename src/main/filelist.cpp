#include "main/filelist.h"

#include "platform/filename.h"

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
    // The refresh still to be shown leaves no entry chosen.
    const QListWidgetItem *item = currentItem();
    if (m_showDue || !item || !item->isSelected())
        return QString();
    return m_entries.value(row(item));
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
        setEntries(m_path.isEmpty() ? QStringList() : listFolderFiles(m_path, m_filter, nullptr, m_expected));
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
    clear();
    m_entries.clear();
    m_filling = false;
}

void FileList::showEntries()
{
    if (m_readDue)
        dropShown();
    readIfDue();
    m_showDue = false;
    m_filling = true;
    QStringList shown;
    shown.reserve(m_entries.size());
    for (const QString &name : std::as_const(m_entries))
        shown.append(displayName(name));
    clear();
    addItems(shown);
    setCurrentRow(-1);
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
    QListWidget::mousePressEvent(event);
}
