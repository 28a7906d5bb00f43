#pragma once
// The About window: the program's name, maker and release, kept on top; a click
// on it (background or one of its main lines) hides it again.

#include "app/ClickLabel.h"

#include <QWidget>

class TForm3 : public QWidget {
    Q_OBJECT
public:
    TForm3();

    TClickLabel* Label1; // title
    TClickLabel* Label6; // platform
    TClickLabel* Label2; // author
    TClickLabel* Label8; // release
    TClickLabel* Label3; // web site
    TClickLabel* Label4; // bug reports
    TClickLabel* Label5; // e-mail

    // Hides the window.
    void FormClick(QObject* Sender);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TClickTracker click_;
};

extern TForm3* Form3;
