#pragma once
// The two file-type lists and the settings steps of the main window's creation
// and destruction.
//
// FileTypes holds the checked masks of the file types window (the ones "Load Dir"
// looks for), UncheckedTypes the ones switched off; each is one string with its
// masks joined by ";". Both are empty until the start-up read.

#include <string>

class QCheckBox;

extern std::string FileTypes;
extern std::string UncheckedTypes;
// The sixteen default masks joined by ";".
extern const std::string DefaultTypeList;

// Start-up read, after the placement: opens SettingsKey without creating it
// (a key that does not open reads as empty strings), reads "recursive" and
// "sensitive" and ticks each box when its value is exactly "yes", reads
// "filetypes" and "unchecked" into the lists, and falls back to DefaultTypeList
// when both are empty. A value of another type than a string throws
// "Invalid data type for '<name>'" and the remaining steps are skipped.
void ReadStartupOptions(QCheckBox& recursive, QCheckBox& sensitive);
// Shut-down write, after the placement: opens SettingsKey (creating it); when it
// opened, writes "recursive" and "sensitive" as "yes"/"no". A refused write
// throws "Failed to set data for '<name>'" and stops the step.
void WriteShutdownOptions(const QCheckBox& recursive, const QCheckBox& sensitive);
// Writes "filetypes" and "unchecked" from the lists when SettingsKey opens
// (creating it); a key that does not open writes nothing and reports nothing.
// A refused write throws "Failed to set data for '<name>'".
void WriteFileTypeLists();
