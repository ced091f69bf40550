#pragma once

#include "platform/messagebox.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

// The serial-number settings: the head text and the first number of a serial-number rename,
// handed over in shared::SerialPrefix and shared::SerialStart (an empty head means cancelled).
class Form2 : public QDialog
{
    Q_OBJECT

public:
    Form2(MessageBoxes &messages, QWidget *mainWindow);

    QLineEdit *Text1;
    QLabel *Label1;
    QLabel *Label2;
    QLineEdit *Text2;
    QPushButton *cmdStart;
    QPushButton *CmdCancel;
    QLabel *Label3;

    // The files the rename will take: cmdStart's tooltip shows their new names as the user types.
    void setListing(const QStringList &listing);

public slots:
    void cmdStart_Click();
    void CmdCancel_Click();
    // Escape and the title bar's close button cancel, so that no earlier choice is re-run.
    void reject() override;

private:
    void Form_Load(QWidget *mainWindow);
    void showNewNames();

    MessageBoxes &m_messages;
    QStringList m_listing;
};
