#pragma once
// The command line of velocitrix-cli: the command, its options and its paths.

#include "text/LineBreaks.h"

#include <cstddef>
#include <string>
#include <vector>

enum class CliCommand { None, Optimize, Replace };

struct CliOptions {
    CliCommand command = CliCommand::None;
    std::vector<std::string> paths; // files and directories, as given

    // Which files of a directory are taken: a ";"-separated mask list.
    std::string types;
    bool typesGiven = false;
    bool savedTypes = false; // the list stored by the file types window
    bool recursive = false;

    // replace: what to find and what to put in its place (line breaks as CR LF).
    std::string find;
    std::string with;
    bool findGiven = false;
    bool withGiven = false;
    bool caseSensitive = false;

    // optimize: leave preformatted text as it is (--no-keep-pre: the window's
    // plain rules); a command-line tool must not damage a site by default.
    bool keepPre = true;
    bool keepPreGiven = false; // one of the flags was given
    // --line-breaks: by default each file keeps the style of its first break,
    // so an LF file never grows by a byte per line.
    LineBreakStyle lineBreaks = LineBreakStyle::Keep;

    bool dryRun = false;
    bool check = false;    // write nothing; name the files that would change
    bool diff = false;     // write nothing; print their unified diff
    bool writeAll = false; // write every file, also one whose bytes stay the same
    bool compressedSize = false;
    std::string backupDir; // empty: no backup
    bool json = false;
    unsigned jobs = 1;
    bool removeLeftovers = false; // delete the temporaries an interrupted run left

    bool help = false;
    bool version = false;

    // "-" as the PATH: standard input to standard output.
    bool Filter() const { return paths.size() == 1 && paths[0] == "-"; }
};

struct ParsedCommandLine {
    CliOptions options;
    std::string error; // not empty: bad usage, the message to show
};

// Reads argv[1..]. Options may stand before or after the paths; "--" ends them.
// An option's value is the next argument (whatever it starts with) or the part
// after "=" of "--name=value".
ParsedCommandLine ParseCommandLine(int argc, const char* const* argv);

// Every line break of a typed text (CR LF, lone CR, lone LF) made CR LF, as the
// main window's fields hold them.
std::string TypedText(const std::string& text);
