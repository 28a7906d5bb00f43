#pragma once
// The program's two message boxes, captioned with the application title. They stay
// inside the screen's available area: a text too long for the box's label shows,
// whole, read-only and selectable, in a scrolling text area (QMessageBox::text()
// still returns it).

#include <QString>
#include <string_view>

class QDialog;
class QWidget;

// Expected outcomes: modal, no icon, one OK button; returns when the user closes it.
void ShowMessage(const QString& text);
// An error that escaped a handler: critical icon, one OK button; "." is appended
// when the message's last character sorts after ".".
void ShowErrorMessage(const QString& text);

// The window a box belongs to: the modal dialog or the window the user works in,
// else the program's main window when it shows; null when no window shows.
QWidget* BoxOwner();
// Makes box (created with its owner as parent, so that it opens over it and is
// transient for it) a dialog without minimize and maximize buttons, at least as
// wide as the title bar needs to show its whole title.
void MakeOwnedBox(QDialog& box);

// Texts of the program's core are bytes in the system code page (UTF-8 here).
QString FromProgramText(std::string_view bytes);
