#include "app/WindowPlacement.h"

#include "settings/Settings.h"

#include <QEvent>
#include <QMetaObject>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <array>
#include <charconv>
#include <exception>
#include <stdexcept>
#include <utility>

namespace {

const std::string kWinpos = "\\Winpos";

struct Placement {
    int left = 10;
    int top = 10;
    int width = 600;
    int height = 440;
    int state = 0;
};

// Left and top edges far off the screen's start are stored as 15.
int EdgeToStore(int edge) {
    return (edge >= 2000 || edge <= 0) ? 15 : edge;
}

int ParseInteger(const std::string& text) {
    int value = 0;
    const char* const last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (text.empty() || error != std::errc() || end != last)
        throw std::runtime_error("'" + text + "' is not a valid integer value");
    return value;
}

const QString kKeeperName = QStringLiteral("frameSizeKeeper");

void FitIntoScreen(QWidget& window, QSize client);

// Before a window is first shown the platform does not know its frame, so the
// placement sizes the client area to the frame size it was given. Once the
// window is on the screen in its normal state and the frame is known, this
// shrinks the client area by the frame once, so that the frame gets the stored
// size and the window does not grow by its frame from one run to the next.
class FrameSizeKeeper : public QObject {
public:
    FrameSizeKeeper(QWidget& window, QSize frameSize,
                    std::function<void(std::exception_ptr)> onError)
        : QObject(&window), window_(window), frameSize_(frameSize), onError_(std::move(onError)) {
        setObjectName(kKeeperName);
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &window_ || done_)
            return false;
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
            // Not on a state change itself: the geometry of the new state
            // arrives with the move and resize that follow it.
            try {
                Check();
            } catch (...) {
                Report(std::current_exception());
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    void Report(std::exception_ptr error) noexcept {
        if (onError_) {
            onError_(error);
            return;
        }
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            qWarning("The window's size could not be corrected: %s", e.what());
        } catch (...) {
            qWarning("The window's size could not be corrected");
        }
    }

    void Check() {
        if (!window_.isVisible() || window_.isMaximized() || window_.isMinimized() ||
            window_.isFullScreen())
            return;
        const QSize frameExtra = window_.frameGeometry().size() - window_.geometry().size();
        if (frameExtra.isNull())
            return; // the frame is not known yet (or there is none)
        done_ = true;
        setObjectName(QString()); // no longer waited for
        window_.removeEventFilter(this);
        // Only a size still as the placement left it is corrected, never one
        // the user or the window system has changed since.
        QSize client = window_.geometry().size();
        if (client == frameSize_) {
            client = frameSize_ - frameExtra;
            window_.resize(client);
        }
        // Fitted with the size it now has: a frame that fits the screen exactly
        // stays where it was put.
        FitIntoScreen(window_, client);
        deleteLater();
    }

    QWidget& window_;
    QSize frameSize_;
    std::function<void(std::exception_ptr)> onError_;
    bool done_ = false;
};

const QString kScreenKeeperName = QStringLiteral("screenKeeper");

// client: the size the window has or is about to get.
void FitIntoScreen(QWidget& window, QSize client) {
    const QScreen* screen = window.screen();
    if (screen == nullptr || window.isMaximized() || window.isMinimized() || window.isFullScreen())
        return;
    const QRect area = screen->availableGeometry();
    const QSize frameExtra = window.frameGeometry().size() - window.geometry().size();
    client = client.boundedTo(area.size() - frameExtra);
    if (client != window.size()) {
        window.setMinimumSize(window.minimumSize().boundedTo(client));
        window.resize(client);
    }
    const QSize frame = client + frameExtra;
    const QPoint at = window.frameGeometry().topLeft();
    const int left = std::max(area.left(), std::min(at.x(), area.right() + 1 - frame.width()));
    const int top = std::max(area.top(), std::min(at.y(), area.bottom() + 1 - frame.height()));
    if (QPoint(left, top) != at)
        window.move(left, top);
}

// Fits the window once more when it is first shown with its frame.
class ScreenKeeper : public QObject {
public:
    explicit ScreenKeeper(QWidget& window) : QObject(&window), window_(window) {
        setObjectName(kScreenKeeperName);
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &window_ || !window_.isVisible())
            return false;
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Move && type != QEvent::Resize)
            return false;
        if (window_.frameGeometry().size() == window_.geometry().size())
            return false; // the frame is not known yet (or there is none)
        window_.removeEventFilter(this);
        deleteLater();
        // A size still to be corrected by the frame is fitted by its keeper once
        // corrected; fitted now, the window would move by its frame's width.
        if (window_.findChild<QObject*>(kKeeperName, Qt::FindDirectChildrenOnly) != nullptr)
            return false;
        try {
            FitIntoScreen(window_, window_.size());
        } catch (...) {
            qWarning("The window could not be kept inside the screen");
        }
        return false;
    }

private:
    QWidget& window_;
};

} // namespace

void KeepInsideScreen(QWidget& window) {
    FitIntoScreen(window, window.size());
    if (window.findChild<QObject*>(kScreenKeeperName, Qt::FindDirectChildrenOnly) == nullptr)
        new ScreenKeeper(window);
}

std::string WindowPlacementName(const QWidget& window) {
    const std::string className = window.metaObject()->className();
    return className.empty() ? className : className.substr(1);
}

void SaveWindowPlacement(QWidget& window) {
    const std::string name = WindowPlacementName(window);
    const QRect frame = window.frameGeometry();
    WriteSetting(kWinpos, name + "Left", std::to_string(EdgeToStore(frame.x())), IntegerSetting);
    WriteSetting(kWinpos, name + "Top", std::to_string(EdgeToStore(frame.y())), IntegerSetting);
    WriteSetting(kWinpos, name + "Width", std::to_string(frame.width()), IntegerSetting);
    WriteSetting(kWinpos, name + "Height", std::to_string(frame.height()), IntegerSetting);
    WriteSetting(kWinpos, name + "State", window.isMaximized() ? "1" : "0", IntegerSetting);
}

void LoadWindowPlacement(QWidget& window, std::function<void(std::exception_ptr)> onLaterError) {
    const std::string name = WindowPlacementName(window);
    Placement placement;
    try {
        static const std::array<const char*, 5> suffixes{"Left", "Top", "Width", "Height", "State"};
        std::array<int, 5> values{};
        for (std::size_t i = 0; i < suffixes.size(); ++i) {
            std::string text;
            ReadSetting(kWinpos, name + suffixes[i], IntegerSetting, text);
            values[i] = ParseInteger(text);
        }
        placement = Placement{values[0], values[1], values[2], values[3], values[4]};
    } catch (const std::exception&) {
        placement = Placement{};
    }

    // The frame goes to left, top; the client area is sized so that the frame
    // gets width x height.
    window.move(placement.left, placement.top);
    const QSize frameExtra = window.frameGeometry().size() - window.geometry().size();
    window.resize(placement.width - frameExtra.width(), placement.height - frameExtra.height());
    delete window.findChild<QObject*>(kKeeperName, Qt::FindDirectChildrenOnly);
    if (frameExtra.isNull() && window.size() == QSize(placement.width, placement.height))
        new FrameSizeKeeper(window, window.size(), std::move(onLaterError));
    if (placement.state == 1)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    KeepInsideScreen(window);
}
