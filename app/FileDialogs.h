#pragma once
// The program's file dialogs: Qt's own dialog (not the desktop's), so it looks and
// behaves the same everywhere and the tests can drive it as a user does.

#include <QFileDialog>
#include <QString>

class QWidget;

// A modal dialog that accepts any name, existing or not. The completion list of
// its name field closes with it and cannot come back while it is closed. An open
// dialog's Enter takes the name the completion list offers, and moving into
// another folder empties its name field. A folder it showed that was deleted
// meanwhile is read afresh when it opens again.
QFileDialog* MakeFileDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode);

// Turns dialog into one that chooses a folder by a name inside it: the name
// field holds presetName, and holds it again whenever the user moves into
// another folder, so that Open always has a name to take the folder from. Open
// is enabled for the preset name, an empty name (both choose the folder shown)
// and a folder's path (typed with or without a trailing "/"), which is gone into,
// or chosen when it is the folder shown.
void MakeFolderChooser(QFileDialog& dialog, const QString& presetName, const QString& title);
