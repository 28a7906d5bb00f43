#pragma once
// The two file-type lists, the default list, and the options the program keeps
// below SettingsKey: the start-up read, the shut-down write and the lists' write.
//
// FileTypes holds the checked masks of the file types window (the ones "Load Dir"
// looks for), UncheckedTypes the ones switched off; each is one string with its
// masks joined by ";". Both are empty until the start-up read.
//
// Only data and the store here: the main window's two check boxes come in
// through the small templates at the end, so this needs no Qt Widgets and
// velocitrix-cli reads the lists with the window's own code.

#include <optional>
#include <string>

extern std::string FileTypes;
extern std::string UncheckedTypes;
// The sixteen default masks joined by ";". Inline, so that code which does not
// link the store (the benchmarks' tree generator) names the same list.
inline const std::string DefaultTypeList = "*.htm;*.html;*.php;*.php3;*.php4;*.asp;*.jsp;"
                                           "*.phtm;*.phtml;*.shtm;*.shtml;*.xhtm;*.xhtml;"
                                           "*.css;*.cgi;*.pl";

// What the start-up reads, in its order. A field is set once its value is read,
// so after a read that failed the fields before the failing value are set and
// the rest are not.
struct SavedOptions {
    // Read together, before either is set: on when the text is exactly "yes".
    std::optional<bool> recursive;
    std::optional<bool> sensitive;
    // "filetypes" and "unchecked"; when both are empty, fileTypes is set to
    // DefaultTypeList once unchecked has been read.
    std::optional<std::string> fileTypes;
    std::optional<std::string> uncheckedTypes;
};

// Opens SettingsKey without creating it (a key that does not open reads as empty
// strings) and reads "recursive", "sensitive", "filetypes" and "unchecked" into
// saved. A value of another type than a string throws "Invalid data type for
// '<name>'" and stops the read there. Nothing is written back: the lists reach
// the store only when the user saves the file types window.
void ReadSavedOptions(SavedOptions& saved);

// Opens SettingsKey (creating it); when it opened, writes "recursive" and
// "sensitive" as "yes"/"no". A refused write throws "Failed to set data for
// '<name>'" and stops the step.
void WriteSavedSwitches(bool recursive, bool sensitive);

// Writes "filetypes" and "unchecked" from the lists when SettingsKey opens
// (creating it); a key that does not open writes nothing and reports nothing.
// A refused write throws "Failed to set data for '<name>'".
void WriteFileTypeLists();

// The main window's start-up read, after the placement: ReadSavedOptions into
// the two boxes (any type with setChecked(bool), the window's QCheckBox) and the
// two lists. After a failed read what was read before the failing value has
// taken effect, and the error goes on to the caller.
template <typename CheckBox> void ReadStartupOptions(CheckBox& recursive, CheckBox& sensitive) {
    SavedOptions saved;
    const auto apply = [&] {
        if (saved.recursive && saved.sensitive) {
            recursive.setChecked(*saved.recursive);
            sensitive.setChecked(*saved.sensitive);
        }
        if (saved.fileTypes)
            FileTypes = *saved.fileTypes;
        if (saved.uncheckedTypes)
            UncheckedTypes = *saved.uncheckedTypes;
    };
    try {
        ReadSavedOptions(saved);
    } catch (...) {
        apply();
        throw;
    }
    apply();
}

// The main window's shut-down write, after the placement: WriteSavedSwitches
// from the two boxes (any type with isChecked()).
template <typename CheckBox>
void WriteShutdownOptions(const CheckBox& recursive, const CheckBox& sensitive) {
    WriteSavedSwitches(recursive.isChecked(), sensitive.isChecked());
}
