#pragma once

#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

// The about window: the program's picture, its web address and a way back.
class Form4 : public QDialog
{
    Q_OBJECT

public:
    explicit Form4(QWidget *mainWindow);

    QLabel *Label1;
    QPushButton *Command1;

public slots:
    void Command1_Click();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load();

    QPixmap m_picture;
};
