#pragma once

#include "platform/messagebox.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

// A list box that tells when the user chooses an entry: a mouse click on it, or a key that moves
// the selection. Filling or changing it from code tells nothing.
class EntryListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit EntryListBox(QWidget *parent = nullptr);

signals:
    void chosen();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The display filter: the file list's pattern as a list of extensions, which the user edits.
// SAVE closes the dialog accepted, with the new pattern in savedPattern(), for the main window to
// apply and store; Clear sets all files at once through patternSet and stays open.
class frmKisei : public QDialog
{
    Q_OBJECT

public:
    frmKisei(const QString &pattern, MessageBoxes &messages, QWidget *mainWindow);

    QLineEdit *txtKisei;
    QPushButton *Command1;
    QPushButton *Command2;
    QPushButton *Command4;
    EntryListBox *List1;
    QLabel *Label2;

    QStringList entries() const;
    QString savedPattern() const { return m_saved; }

signals:
    // The file list is to show this pattern at once.
    void patternSet(const QString &pattern);

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command4_Click();
    void List1_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load(const QString &pattern, QWidget *mainWindow);
    void showCurrentPattern(const QString &pattern);

    MessageBoxes &m_messages;
    QString strcheck;
    QString m_saved;
};
