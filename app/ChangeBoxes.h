#pragma once
// The "Change" and "To" boxes are one line high with no scroll bar, and take Tab
// and Enter as text: what they hold can be longer than they show.

#include <QString>

class QPlainTextEdit;

// Draws the tabs, spaces and line breaks the box holds as marks, shows in its
// corner which line of how many the caret is on when it holds several, shows its whole
// text in its tooltip, kept up to date, and keeps the caret's line in sight after
// typing, Enter, a paste or a text set by the program.
void KeepChangeBoxReadable(QPlainTextEdit& box);

// The tooltip for text: shown exactly as typed, line breaks, tabs and runs of
// spaces kept and nothing read as markup; empty (no tooltip) for an empty text.
// A text of more than 30 lines or 2000 characters shows its beginning and "…".
QString ChangeBoxToolTip(const QString& text);
