#pragma once

#include "platform/messagebox.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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

public slots:
    void Command1_Click();
    void Command2_Click();
    // Escape and the title bar's close button cancel: at the first use, anything else would
    // strip every extension in the folder.
    void reject() override;

private:
    void Form_Load(QWidget *mainWindow);

    MessageBoxes &m_messages;
};
