#pragma once

#include <QComboBox>

// The drive list: the mounted filesystems that are ready and readable, as root path and label.
class DriveList : public QComboBox
{
    Q_OBJECT

public:
    explicit DriveList(QWidget *parent = nullptr);

    // The chosen filesystem's root path.
    QString drive() const;
    // Chooses the entry of a root path without raising `changedByUser`; used to undo a change
    // that failed. A drive that is no longer mounted keeps an entry until the next refill.
    void chooseDrive(const QString &root);
    // Reads the mounted filesystems again, keeping the chosen entry.
    void refill();

signals:
    void changedByUser();

protected:
    // The list follows the system: a card plugged in shows up when the list opens.
    void showPopup() override;

private:
    void fill(const QString &chosen);
};
