#pragma once

#include "platform/filesystem.h"

#include <QListWidget>

// The folder list: the chain of folders from the root down to the current one, then the current
// folder's subfolders. Opening an entry (double-click or Enter) asks to move there.
class FolderList : public QListWidget
{
    Q_OBJECT

public:
    explicit FolderList(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // Moves the list to the folder and raises `changed` before returning. A folder that cannot be
    // read leaves the list where it was and returns the system's reason. While a ListsRefreshOnce
    // stands, the entries wait for its end.
    FsResult setPath(const QString &folder);

signals:
    void changed();
    // The user opened an entry; the window decides whether and how to move there.
    void openRequested(const QString &folder);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    friend class ListsRefreshOnce;

    void openItem(QListWidgetItem *item);
    void showEntries(const QStringList &subfolders);
    void takeIcons();

    QString m_path;
    // Asked of the style once: each asking decodes its pictures again.
    QIcon m_openIcon;
    QIcon m_closedIcon;
    int m_held = 0;
    bool m_readDue = false;
};
