#pragma once
// A caption that reacts to a mouse click: the borderless panel above the file
// list and the clickable lines of the About window.

#include <QLabel>

class QMouseEvent;

// Tells a click (left-button press and release both over the widget) from the
// widget's mouse events; the events are taken, so they never reach what lies below.
class TClickTracker {
public:
    void Press(QMouseEvent* event);
    // True when this release completes a click inside area.
    bool Release(QMouseEvent* event, const QRect& area);

private:
    bool pressed_ = false;
};

class TClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit TClickLabel(QWidget* parent = nullptr);

Q_SIGNALS:
    // A left-button press and release both over the caption.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TClickTracker click_;
};
