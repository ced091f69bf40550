#pragma once

#include "platform/messagebox.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

// The extension input: the one extension of an extension unification, handed over in
// shared::UnifiedExtension ("..." means cancelled).
class Form3 : public QDialog
{
    Q_OBJECT

public:
    Form3(MessageBoxes &messages, QWidget *mainWindow);

    QLineEdit *Text1;
    QPushButton *Command1;
    QPushButton *Command2;
    QLabel *Label1;

    // The files the unification will take: Command1's tooltip shows their new names as the user types.
    void setListing(const QStringList &listing);

public slots:
    void Command1_Click();
    void Command2_Click();
    // Escape and the title bar's close button cancel: at the first use, anything else would
    // strip every extension in the folder.
    void reject() override;

private:
    void Form_Load(QWidget *mainWindow);
    void showNewNames();

    MessageBoxes &m_messages;
    QStringList m_listing;
};
