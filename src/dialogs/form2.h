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

    // What the rename of a rule would give, as cmdStart's tooltip shows it when it shows,
    // following the typing; an empty rule names nothing.
    void setNamesPreview(std::function<QString(const NameRule &)> preview);

public slots:
    void cmdStart_Click();
    void CmdCancel_Click();
    // Escape and the title bar's close button cancel, so that no earlier choice is re-run.
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
