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

#include "text/LineBreaks.h"

#include <optional>
#include <string>
#include <utility>

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
    // Read last, so that a store written before they existed reads as before:
    // "keeppre" on when exactly "yes"; "linebreaks" Lf when exactly "lf", Keep
    // when exactly "keep", otherwise CrLf (what the program always wrote).
    std::optional<bool> keepPre;
    std::optional<LineBreakStyle> lineBreaks;
};

// Opens SettingsKey without creating it (a key that does not open reads as empty
// strings) and reads "recursive", "sensitive", "filetypes", "unchecked",
// "keeppre" and "linebreaks" into saved. A value of another type than a string throws "Invalid data
// type for
// '<name>'" and stops the read there. Nothing is written back: the lists reach
// the store only when the user saves the file types window.
void ReadSavedOptions(SavedOptions& saved);

// Opens SettingsKey (creating it); when it opened, writes "recursive",
// "sensitive" and "keeppre" as "yes"/"no" and "linebreaks" as "crlf"/"lf"/"keep". A
// refused write throws "Failed to set data for '<name>'" and stops the step.
struct SavedSwitches {
    bool recursive = false;
    bool sensitive = false;
    bool keepPre = false;
    LineBreakStyle lineBreaks = LineBreakStyle::CrLf;
};
void WriteSavedSwitches(const SavedSwitches& switches);

// Writes "filetypes" and "unchecked" from the lists when SettingsKey opens
// (creating it); a key that does not open writes nothing and reports nothing.
// A refused write throws "Failed to set data for '<name>'".
void WriteFileTypeLists();

// The main window's start-up read, after the placement: ReadSavedOptions into
// the two boxes and the menu switches (any types with setChecked(bool): the
// window's QCheckBox and QAction) and the two lists. The line breaks' switches
// are LF and, when given, CR LF and "as in each file": the stored style's is
// checked, the others not. After a failed read what was read before the
// failing value has taken effect, and the error goes on to the caller.
template <typename CheckBox, typename Switch>
void ReadStartupOptions(CheckBox& recursive, CheckBox& sensitive, Switch& keepPre, Switch& lfBreaks,
                        Switch* crlfBreaks = nullptr, Switch* keepBreaks = nullptr) {
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
        if (saved.keepPre)
            keepPre.setChecked(*saved.keepPre);
        if (saved.lineBreaks) {
            // All off first, then the stored one on: an exclusive group keeps one.
            const LineBreakStyle style = *saved.lineBreaks;
            const std::pair<Switch*, LineBreakStyle> switches[] = {
                {crlfBreaks, LineBreakStyle::CrLf},
                {&lfBreaks, LineBreakStyle::Lf},
                {keepBreaks, LineBreakStyle::Keep}};
            for (const auto& [option, its] : switches)
                if (option != nullptr && its != style)
                    option->setChecked(false);
            for (const auto& [option, its] : switches)
                if (option != nullptr && its == style)
                    option->setChecked(true);
        }
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
// from the two boxes and the menu switches (any types with isChecked()); the
// line breaks are "keep" when keepBreaks is given and checked, else "lf" when
// lfBreaks is checked, else "crlf".
template <typename CheckBox, typename Switch>
void WriteShutdownOptions(const CheckBox& recursive, const CheckBox& sensitive,
                          const Switch& keepPre, const Switch& lfBreaks,
                          const Switch* keepBreaks = nullptr) {
    const LineBreakStyle breaks = keepBreaks != nullptr && keepBreaks->isChecked()
                                      ? LineBreakStyle::Keep
                                  : lfBreaks.isChecked() ? LineBreakStyle::Lf
                                                         : LineBreakStyle::CrLf;
    WriteSavedSwitches({recursive.isChecked(), sensitive.isChecked(), keepPre.isChecked(), breaks});
}
