#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

class Form1;

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

// The display filter: the main window's file list pattern as a list of extensions, which the
// user edits and SAVE applies to the file list and stores in the option file.
class frmKisei : public QDialog
{
    Q_OBJECT

public:
    explicit frmKisei(Form1 *mainWindow);

    QLineEdit *txtKisei;
    QPushButton *Command1;
    QPushButton *Command2;
    QPushButton *Command4;
    EntryListBox *List1;
    QLabel *Label2;

    QStringList entries() const;

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command4_Click();
    void List1_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load();
    void showCurrentPattern(const QString &pattern);

    Form1 *m_mainWindow;
    QString strcheck;
};
