#include "app/ClickLabel.h"

#include "app/HandlerGuard.h"

#include <QMouseEvent>

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

void TClickTracker::Press(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

bool TClickTracker::Release(QMouseEvent* event, const QRect& area) {
    event->accept();
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && area.contains(event->position().toPoint());
    pressed_ = false;
    return click;
}

void TClickLabel::mousePressEvent(QMouseEvent* event) {
    RunGuarded([&] { click_.Press(event); });
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    RunGuarded([&] {
        if (click_.Release(event, rect()))
            Q_EMIT clicked();
    });
}
