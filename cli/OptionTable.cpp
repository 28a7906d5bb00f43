#include "cli/OptionTable.h"

#include "text/LineBreaks.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr unsigned MaxJobs = 256;
constexpr std::size_t HelpWidth = 80;
constexpr std::size_t TextColumn = 28;

using Text = const std::string&;

template <bool CliOptions::*Field> std::string Switch(CliOptions& o, std::string_view, Text) {
    o.*Field = true;
    return {};
}

std::string KeepPre(CliOptions& o, std::string_view name, Text) {
    o.keepPreGiven = true;
    o.keepPre = name != "--no-keep-pre";
    return {};
}

std::string LineBreaks(CliOptions& o, std::string_view, Text style) {
    if (style == "crlf")
        o.lineBreaks = LineBreakStyle::CrLf;
    else if (style == "lf")
        o.lineBreaks = LineBreakStyle::Lf;
    else if (style == "keep")
        o.lineBreaks = LineBreakStyle::Keep;
    else
        return "option --line-breaks takes crlf, lf or keep, not '" + style + "'";
    return {};
}

std::string Types(CliOptions& o, std::string_view, Text masks) {
    o.types = masks;
    o.typesGiven = true;
    return {};
}

// --find and --with: each once, since a second would silently win.
template <std::string CliOptions::*Field, bool CliOptions::*Given>
std::string OnceText(CliOptions& o, std::string_view name, Text text) {
    if (o.*Given)
        return "option " + std::string(name) + " given twice";
    o.*Field = text;
    o.*Given = true;
    return {};
}

std::string Backup(CliOptions& o, std::string_view, Text dir) {
    if (dir.empty())
        return "option --backup needs a directory";
    o.backupDir = dir;
    return {};
}

std::string Jobs(CliOptions& o, std::string_view, Text text) {
    unsigned value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value == 0 || value > MaxJobs)
        return "option --jobs needs a whole number from 1 to " + std::to_string(MaxJobs) +
               ", not '" + text + "'";
    o.jobs = value;
    return {};
}

const CliOptionRow Rows[] = {
    {"--types", 't', "MASKS",
     "the masks of the files a directory gives, joined by \";\" (default: the program's "
     "default type list,\n*.htm;*.html;*.php;*.php3;*.php4;*.asp;*.jsp;\n"
     "*.phtm;*.phtml;*.shtm;*.shtml;*.xhtm;*.xhtml;*.css;\n*.cgi;*.pl)",
     Types},
    {"--saved-types",
     '\0',
     {},
     "take the file types saved in the program's \"Files to modify\" window (the default list "
     "when none are saved)",
     Switch<&CliOptions::savedTypes>},
    {"--recursive",
     'r',
     {},
     "walk the subdirectories of a directory too",
     Switch<&CliOptions::recursive>},
    {"--find", '\0', "TEXT", "replace: the text to find",
     OnceText<&CliOptions::find, &CliOptions::findGiven>},
    {"--with", '\0', "TEXT", "replace: the text to put in its place (may be empty)",
     OnceText<&CliOptions::with, &CliOptions::withGiven>},
    {"--case-sensitive",
     '\0',
     {},
     "replace: match the letters' case exactly",
     Switch<&CliOptions::caseSensitive>},
    {"--keep-pre",
     '\0',
     {},
     "optimize: leave preformatted text as it is (the default)",
     KeepPre,
     "--keep-preformatted"},
    {"--no-keep-pre", '\0', {}, "optimize: apply the rules to preformatted text too", KeepPre},
    {"--line-breaks", '\0', "STYLE",
     "the line breaks written: keep (the default: each file's own, the style of its first line "
     "break), crlf (as the program's window writes by default) or lf",
     LineBreaks},
    {"--dry-run", 'n', {}, "write nothing; report what would change", Switch<&CliOptions::dryRun>},
    {"--check",
     '\0',
     {},
     "write nothing; print \"would change: PATH\" for each file whose bytes would change, and "
     "say so by the exit status (see below); a file is read up to its first byte that changes "
     "(no figures, no <pre> warning for it) unless --json asks for figures",
     Switch<&CliOptions::check>},
    {"--diff",
     '\0',
     {},
     "write nothing; print a unified diff (a/PATH, b/PATH, three lines of context) of each file "
     "that would change; \"patch -p1\" applied to the tree writes exactly what a run would. A "
     "file whose line breaks alone change gets a line \"# line breaks: LF -> CR LF\" before its "
     "diff. A name holding a space, quote, backslash, control character or non-ASCII byte is "
     "quoted as GNU diff quotes it (\"a/x\\ty.htm\"). Each file's old and new bytes are held in "
     "memory while it is compared",
     Switch<&CliOptions::diff>},
    {"--write-all",
     '\0',
     {},
     "write every listed file, also one whose bytes stay the same",
     Switch<&CliOptions::writeAll>},
    {"--compressed-size",
     '\0',
     {},
     "also report each file's gzip size before and after (zlib level 6, as web servers commonly "
     "send it): the figure a visitor's download changes by",
     Switch<&CliOptions::compressedSize>},
    {"--backup", 'b', "DIR",
     "copy each original into DIR, at its path below the PATH it came from, before writing it; "
     "DIR may not lie inside a directory worked on, a copy is always a new file (a file whose "
     "copy is there already is not written), and no link below DIR is followed; folders made in "
     "DIR are open to their maker only, and a copy is readable by no account its original was "
     "closed to by its folders",
     Backup},
    {"--json",
     '\0',
     {},
     "report as one JSON document on standard output",
     Switch<&CliOptions::json>},
    {"--jobs", 'j', "N",
     "work on N files at a time, and walk N folders at a time (default 1, fewer when the limit "
     "on open files asks for it); the list and the report keep their order",
     Jobs},
    {"--remove-leftovers",
     '\0',
     {},
     "delete the temporary files\n(\".NAME.vx-XXXXXXXXXXXX.tmp\") an interrupted run left in "
     "the directories walked: only this account's regular files, never those of a run still "
     "under way; without it they are only counted",
     Switch<&CliOptions::removeLeftovers>},
    {"--help", 'h', {}, "show this help and exit", Switch<&CliOptions::help>},
    {"--version", '\0', {}, "show the version and exit", Switch<&CliOptions::version>},
};

// "  -t, --types=MASKS" or "      --saved-types", and an alias after a comma.
std::string Head(const CliOptionRow& row) {
    std::string head(6, ' ');
    if (row.shortName != '\0') {
        head[2] = '-';
        head[3] = row.shortName;
        head[4] = ',';
    }
    head += row.name;
    if (!row.valueName.empty()) {
        head += '=';
        head += row.valueName;
    }
    if (!row.alias.empty()) {
        head += ", ";
        head += row.alias;
    }
    return head;
}

// The text in the column beside the heads, words wrapped at the help's width.
// line holds the head, or blanks, up to the column.
void AppendWrapped(std::string_view text, std::string& line, std::string& out) {
    const auto flush = [&] {
        out += line;
        out += '\n';
        line.assign(TextColumn, ' ');
    };
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of(" \n"), text.size());
        const std::string_view word = text.substr(0, end);
        const bool breakAfter = end < text.size() && text[end] == '\n';
        text.remove_prefix(std::min(end + 1, text.size()));
        const bool lineStart = line.size() == TextColumn;
        if (!lineStart && line.size() + 1 + word.size() > HelpWidth)
            flush();
        else if (!lineStart)
            line += ' ';
        line += word;
        if (breakAfter)
            flush();
    }
    if (line.size() > TextColumn)
        flush();
}

} // namespace

std::span<const CliOptionRow> CliOptionRows() {
    return Rows;
}

const CliOptionRow* FindCliOption(std::string_view name) {
    for (const CliOptionRow& row : Rows) {
        const bool isShort = name.size() == 2 && name[0] == '-' && name[1] == row.shortName;
        if (isShort || name == row.name || (!row.alias.empty() && name == row.alias))
            return &row;
    }
    return nullptr;
}

std::string CliOptionsHelp() {
    std::string out = "Options:\n";
    for (const CliOptionRow& row : Rows) {
        std::string line = Head(row);
        if (line.size() + 2 > TextColumn) {
            out += line + '\n';
            line.assign(TextColumn, ' ');
        } else {
            line.resize(TextColumn, ' ');
        }
        AppendWrapped(row.help, line, out);
    }
    return out;
}
