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
    // Chooses an entry without raising `changedByUser`; used to undo a change that failed.
    void chooseIndex(int index);

signals:
    void changedByUser();

private:
    void fill();
};
