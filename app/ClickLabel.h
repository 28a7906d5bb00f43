#pragma once
// A caption that reacts to a mouse click: the borderless panel above the file
// list and the clickable lines of the About window.

#include <QLabel>

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
    bool pressed_ = false;
};
