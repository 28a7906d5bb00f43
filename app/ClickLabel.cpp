#include "app/ClickLabel.h"

#include "app/HandlerGuard.h"

#include <QMouseEvent>

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

void TClickLabel::mousePressEvent(QMouseEvent* event) {
    RunGuarded([&] {
        // Taken here, so a click on the caption never reaches the window below.
        pressed_ = event->button() == Qt::LeftButton;
        event->accept();
    });
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    RunGuarded([&] {
        event->accept();
        const bool click = pressed_ && event->button() == Qt::LeftButton &&
                           rect().contains(event->position().toPoint());
        pressed_ = false;
        if (click)
            Q_EMIT clicked();
    });
}
