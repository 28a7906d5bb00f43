#include "settings/WindowPlacement.h"

#include "settings/Settings.h"

#include <QMetaObject>
#include <QWidget>

#include <array>
#include <charconv>
#include <exception>
#include <stdexcept>

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

} // namespace

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

void LoadWindowPlacement(QWidget& window) {
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
    if (placement.state == 1)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
}
