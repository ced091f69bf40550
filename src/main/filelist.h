#pragma once

#include "platform/listing.h"

#include <QListView>

class FileEntriesModel;

// The file list: the files of one folder that its pattern admits, read synchronously so that
// whoever sets the folder can read the entries at once. A row is the shown form of its entry,
// made when it is painted: a folder of 100,000 files costs its names and nothing per row.
class FileList : public QListView
{
    Q_OBJECT

public:
    explicit FileList(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    void setPath(const QString &folder);
    QString pattern() const { return m_filter.pattern(); }
    // Changing the pattern re-reads the folder at once.
    void setPattern(const QString &pattern);
    // The entries are names in the lossless form of filename.h; the list shows them decoded.
    // The chosen entry's name, or an empty string when none is chosen.
    QString fileName() const;
    int listCount() const { return int(entries().size()); }
    QString list(int index) const;
    QStringList entries() const;
    // Reads the folder again; no entry is chosen afterwards.
    void refresh();
    // Files the list never shows where they stand (the program's executable and settings), so
    // that no command can rename them. Paths may name files that do not exist yet.
    void setOwnFiles(const QStringList &paths);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    // A name cut off at the list's edge shows whole as a tooltip.
    bool viewportEvent(QEvent *event) override;

signals:
    // The user chose an entry, by mouse or keyboard.
    void chosen();

private:
    friend class ListsRefreshOnce;

    struct OwnFile
    {
        QString folder; // canonical
        QString name;
    };

    // A read that a ListsRefreshOnce holds back happens when the entries are first asked for,
    // or when the last one ends.
    void readIfDue() const;
    void setEntries(QStringList entries) const;
    void showEntries();
    void dropShown();

    QString m_path;
    NameFilter m_filter;
    mutable QStringList m_entries;
    FileEntriesModel *m_model;
    QList<OwnFile> m_ownFiles;
    int m_held = 0;
    mutable bool m_readDue = false;
    bool m_showDue = false;
    bool m_filling = false;
};
