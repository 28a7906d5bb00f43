#include "cli/Options.h"

#include "text/LineBreaks.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

namespace {

constexpr unsigned MaxJobs = 256;

bool ParseJobs(std::string_view text, unsigned& jobs) {
    unsigned value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value == 0 || value > MaxJobs)
        return false;
    jobs = value;
    return true;
}

// Options that make no sense together.
std::string CombinationProblem(const CliOptions& o) {
    if (o.command == CliCommand::Replace && o.keepPreGiven)
        return "--keep-pre and --no-keep-pre belong to optimize";
    if (o.diff && o.json)
        return "--diff and --json both print on standard output; give one";
    const bool stdinNamed = std::find(o.paths.begin(), o.paths.end(), "-") != o.paths.end();
    if (!stdinNamed)
        return {};
    if (o.paths.size() > 1)
        return "'-' (standard input) must be the only PATH";
    const std::pair<bool, const char*> excluded[] = {{o.check, "--check"},
                                                     {o.diff, "--diff"},
                                                     {o.dryRun, "--dry-run"},
                                                     {o.json, "--json"},
                                                     {o.writeAll, "--write-all"},
                                                     {o.compressedSize, "--compressed-size"},
                                                     {!o.backupDir.empty(), "--backup"}};
    for (const auto& [given, name] : excluded)
        if (given)
            return std::string("'-' works standard input to standard output and takes no ") + name;
    return {};
}

} // namespace

std::string TypedText(const std::string& text) {
    const std::size_t lone = FirstLoneBreak(text);
    if (lone == std::string::npos)
        return text;
    std::string out;
    AppendUnifiedBreaks(text, lone, out);
    return out;
}

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
    ParsedCommandLine parsed;
    CliOptions& o = parsed.options;
    std::string& error = parsed.error;
    bool optionsEnded = false;

    for (int i = 1; i < argc && error.empty(); ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (o.command == CliCommand::None && !optionsEnded) {
                if (arg == "optimize")
                    o.command = CliCommand::Optimize;
                else if (arg == "replace")
                    o.command = CliCommand::Replace;
                else
                    error = "unknown command '" + arg + "' (use optimize or replace)";
            } else {
                o.paths.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        // "--name=value" or "--name value"; short options take no "=" form.
        std::string name = arg;
        std::string inlineValue;
        bool hasInline = false;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                inlineValue = arg.substr(eq + 1);
                hasInline = true;
            }
        }
        auto value = [&](std::string& into) -> bool {
            if (hasInline) {
                into = inlineValue;
                return true;
            }
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        auto flag = [&](bool& into) {
            if (hasInline)
                error = "option " + name + " takes no value";
            else
                into = true;
        };

        if (name == "-h" || name == "--help") {
            flag(o.help);
        } else if (name == "--version") {
            flag(o.version);
        } else if (name == "-r" || name == "--recursive") {
            flag(o.recursive);
        } else if (name == "-n" || name == "--dry-run") {
            flag(o.dryRun);
        } else if (name == "--check") {
            flag(o.check);
        } else if (name == "--diff") {
            flag(o.diff);
        } else if (name == "--write-all") {
            flag(o.writeAll);
        } else if (name == "--keep-pre" || name == "--keep-preformatted" ||
                   name == "--no-keep-pre") {
            flag(o.keepPreGiven);
            o.keepPre = name != "--no-keep-pre";
        } else if (name == "--compressed-size") {
            flag(o.compressedSize);
        } else if (name == "--line-breaks") {
            std::string style;
            if (value(style)) {
                if (style == "crlf")
                    o.lineBreaks = LineBreakStyle::CrLf;
                else if (style == "lf")
                    o.lineBreaks = LineBreakStyle::Lf;
                else if (style == "keep")
                    o.lineBreaks = LineBreakStyle::Keep;
                else
                    error = "option --line-breaks takes crlf, lf or keep, not '" + style + "'";
            }
        } else if (name == "--json") {
            flag(o.json);
        } else if (name == "--saved-types") {
            flag(o.savedTypes);
        } else if (name == "--case-sensitive") {
            flag(o.caseSensitive);
        } else if (name == "--remove-leftovers") {
            flag(o.removeLeftovers);
        } else if (name == "-t" || name == "--types") {
            if (value(o.types))
                o.typesGiven = true;
        } else if (name == "--find") {
            if (o.findGiven)
                error = "option --find given twice";
            else if (value(o.find))
                o.findGiven = true;
        } else if (name == "--with") {
            if (o.withGiven)
                error = "option --with given twice";
            else if (value(o.with))
                o.withGiven = true;
        } else if (name == "-b" || name == "--backup") {
            std::string dir;
            if (value(dir)) {
                if (dir.empty())
                    error = "option --backup needs a directory";
                else
                    o.backupDir = dir;
            }
        } else if (name == "-j" || name == "--jobs") {
            std::string jobs;
            if (value(jobs) && !ParseJobs(jobs, o.jobs))
                error = "option --jobs needs a whole number from 1 to " + std::to_string(MaxJobs) +
                        ", not '" + jobs + "'";
        } else {
            error = "unknown option '" + arg + "'";
        }
    }
    if (!error.empty() || o.help || o.version)
        return parsed;

    if (o.command == CliCommand::None) {
        error = "no command given (use optimize or replace)";
    } else if (o.paths.empty()) {
        error = "no PATH given";
    } else if (o.typesGiven && o.savedTypes) {
        error = "--types and --saved-types exclude each other";
    } else if (o.command == CliCommand::Replace && (!o.findGiven || !o.withGiven)) {
        error = "replace needs --find TEXT and --with TEXT";
    } else if (o.command == CliCommand::Optimize &&
               (o.findGiven || o.withGiven || o.caseSensitive)) {
        error = "--find, --with and --case-sensitive belong to replace";
    }
    if (error.empty())
        error = CombinationProblem(o);
    o.find = TypedText(o.find);
    o.with = TypedText(o.with);
    return parsed;
}
