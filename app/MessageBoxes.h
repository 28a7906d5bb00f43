#pragma once
// The program's two message boxes, captioned with the application title. They stay
// inside the screen's available area: a text too long for the box's label shows,
// whole, read-only and selectable, in a scrolling text area (QMessageBox::text()
// still returns it).

#include <QString>
#include <string_view>

class QWidget;

// Expected outcomes: modal, no icon, one OK button; returns when the user closes it.
void ShowMessage(const QString& text);
// An error that escaped a handler: critical icon, one OK button; "." is appended
// when the message's last character sorts after ".".
void ShowErrorMessage(const QString& text);

// Texts of the program's core are bytes in the system code page (UTF-8 here).
QString FromProgramText(std::string_view bytes);
