#pragma once
// The folder the file dialogs start in after a restart: the folder of the last
// path the user confirmed in Load File, Load Dir or Save File, stored below
// SettingsKey as "lastfolder" (missing: the dialogs start as they always did).

#include <string>

// The stored folder, "" when none is stored. Throws the store's read errors.
std::string ReadLastFolder();

// Stores folder; an empty folder writes nothing. Throws the store's write errors.
void WriteLastFolder(const std::string& folder);
