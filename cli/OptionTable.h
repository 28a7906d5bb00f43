#pragma once
// velocitrix-cli's options, one row each. The parser and the Options section of
// --help (and so the manual page) are both made from this table: an option
// cannot be taken without being described, nor described without being taken.

#include "cli/Options.h"

#include <span>
#include <string>
#include <string_view>

struct CliOptionRow {
    std::string_view name;      // the long name, "--recursive"
    char shortName;             // 'r', or '\0' for none
    std::string_view valueName; // "MASKS"; empty for a switch, which takes no value
    // What --help says; a "\n" breaks the line where the words would not.
    std::string_view help;
    // Takes the option (name as given, value empty for a switch) into the
    // options; returns the usage error, or an empty text.
    std::string (*set)(CliOptions& options, std::string_view name, const std::string& value);
    std::string_view alias = {}; // a second long name, the same option
};

std::span<const CliOptionRow> CliOptionRows();

// The row of "-r", "--recursive" or an alias, or nullptr.
const CliOptionRow* FindCliOption(std::string_view name);

// The Options section of --help: every row, its text wrapped to 80 columns.
std::string CliOptionsHelp();
