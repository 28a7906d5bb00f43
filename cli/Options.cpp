#include "cli/Options.h"

#include "cli/OptionTable.h"
#include "text/LineBreaks.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace {

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
        const CliOptionRow* row = FindCliOption(name);
        if (row == nullptr) {
            error = "unknown option '" + arg + "'";
            continue;
        }
        std::string value;
        if (row->valueName.empty()) {
            if (hasInline) {
                error = "option " + name + " takes no value";
                continue;
            }
        } else if (hasInline) {
            value = inlineValue;
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = "option " + name + " needs a value";
            continue;
        }
        error = row->set(o, name, value);
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
