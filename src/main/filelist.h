#pragma once

#include "platform/listing.h"

#include <QListWidget>

// The file list: the files of one folder that its pattern admits, read synchronously so that
// whoever sets the folder can read the entries at once.
class FileList : public QListWidget
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
    int listCount() const { return count(); }
    QString list(int index) const;
    QStringList entries() const { return m_entries; }
    // Reads the folder again; no entry is chosen afterwards.
    void refresh();
    // Files the list never shows where they stand (the program's executable and settings), so
    // that no command can rename them. Paths may name files that do not exist yet.
    void setOwnFiles(const QStringList &paths);

protected:
    void mousePressEvent(QMouseEvent *event) override;

signals:
    // The user chose an entry, by mouse or keyboard.
    void chosen();

private:
    QString m_path;
    NameFilter m_filter;
    QStringList m_entries;
    QStringList m_ownFiles; // folder (canonical) and name, joined
    bool m_filling = false;
};
