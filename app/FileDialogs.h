#pragma once
// The program's file dialogs: Qt's own dialog (not the desktop's), so it looks and
// behaves the same everywhere and the tests can drive it as a user does.

#include <QFileDialog>
#include <QString>

class QWidget;

// A modal dialog that accepts any name, existing or not. The completion list of
// its name field closes with it and cannot come back while it is closed.
QFileDialog* MakeFileDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode);

// Turns dialog into one that chooses a folder by a name inside it: the name
// field holds presetName, and holds it again whenever the user moves into
// another folder, so that Open always has a name to take the folder from.
void MakeFolderChooser(QFileDialog& dialog, const QString& presetName, const QString& title);
