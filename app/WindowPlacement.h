#pragma once
// A window's placement (left, top, width, height, maximized) below
// SettingsKey\Winpos, as five integer values named after the window: its class
// name without the first character ("TForm1" gives "Form1Left" ... "Form1State").

#include <exception>
#include <functional>
#include <string>

class QWidget;

// The window's name as the placement values use it.
std::string WindowPlacementName(const QWidget& window);

// Writes Left, Top (each stored as 15 when it is 2000 or more, or 0 or less),
// Width, Height (the frame's) and State (1 when maximized, else 0), in this order;
// the first refused write throws "Failed to set data for '<name>'".
void SaveWindowPlacement(QWidget& window);
// Moves the window into the available area of its screen (QScreen::
// availableGeometry), frame included, and sizes it down (its minimum size too)
// where it is larger than the area. Once more when it is first shown with a
// frame, as the frame is not known before.
void KeepInsideScreen(QWidget& window);

// Reads the five values; when any of them is missing or mistyped, all five take
// the defaults 10, 10, 600, 440, 0, silently. Moves the frame, sizes it (the
// window's minimum size still applies) and maximizes the window when the state is 1;
// then keeps the window inside the screen (KeepInsideScreen).
// The size is corrected once more when the window is first shown with its frame;
// that runs inside Qt's event delivery, so an error of it goes to onLaterError
// (the window's handler guard), or to the Qt warning log when none is given.
void LoadWindowPlacement(QWidget& window,
                         std::function<void(std::exception_ptr)> onLaterError = {});
