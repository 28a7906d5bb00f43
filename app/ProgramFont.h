#pragma once
// The font of the program's windows: the platform's sans-serif at 8 points.

#include <QFont>

// The windows' places were laid out for a narrow 8-point face; the platform's
// sans-serif is wider, so it is narrowed to keep every caption inside its place.
QFont ProgramFont();
