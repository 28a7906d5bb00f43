#pragma once
// The Help window: two pages of instructions, created once at start-up and
// hidden, not destroyed, when the user closes it.

#include <QWidget>

class QTabWidget;

class TForm2 : public QWidget {
    Q_OBJECT
public:
    TForm2();

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
};

extern TForm2* Form2;
