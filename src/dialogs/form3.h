#pragma once

#include "batch/namerule.h"
#include "platform/messagebox.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <functional>

class ToolTipOnDemand;

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

    // What the unification of a rule would give, as Command1's tooltip shows it when it shows,
    // following the typing; an empty rule names nothing.
    void setNamesPreview(std::function<QString(const NameRule &)> preview);

public slots:
    void Command1_Click();
    void Command2_Click();
    // Escape and the title bar's close button cancel: at the first use, anything else would
    // strip every extension in the folder.
    void reject() override;

private:
    void Form_Load(QWidget *mainWindow);
    // The rule the texts stand for; empty while Start would name nothing.
    NameRule currentRule() const;
    void showNewNames();

    MessageBoxes &m_messages;
    std::function<QString(const NameRule &)> m_preview;
    ToolTipOnDemand *m_toolTip = nullptr;
};
