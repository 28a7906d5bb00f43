#include "cli/HelpText.h"

#include "cli/OptionTable.h"

#ifndef VX_VERSION
#define VX_VERSION "0"
#endif

std::string VersionText() {
    return "velocitrix-cli " VX_VERSION "\n"
           "The command-line companion of the Velocitrix Website Optimizer.\n";
}

std::string UsageHint() {
    return "Try 'velocitrix-cli --help' for more information.\n";
}

std::string HelpText() {
    return R"(Usage: velocitrix-cli optimize [OPTION]... PATH...
  or:  velocitrix-cli replace --find TEXT --with TEXT [--case-sensitive] [OPTION]... PATH...
  or:  velocitrix-cli optimize|replace [OPTION]... - (standard input)
Make web site sources smaller, or replace a text in them, from scripts, build
servers or over ssh, with exactly the rules of the Velocitrix Website Optimizer.

A PATH is a file or a directory; - alone reads standard input and writes the
result to standard output a piece at a time (for editors and pipes), touching
no file; it takes none of --check, --diff, --dry-run, --json, --write-all,
--compressed-size and --backup. A directory is walked as the program's
"Load Dir" walks it: every entry whose name matches one of the file-type masks
is taken (a directory named like a mask too, and it then fails on reading),
its subdirectories only with --recursive. Files are worked on in the order of
the program's file list: full paths sorted alphabetically, the case of the
letters A to Z ignored.

optimize does what "Optimize Dir" and then "Save All" do: runs of spaces and
tabs inside a line shrink to their last character, white space at the start
and end of a line goes, and lines that hold nothing but white space are
removed. An empty file is left empty. Preformatted text is left as it is (the
blocks pre, textarea, script, style, xmp, listing, plaintext); --no-keep-pre
applies the rules to it too, as the program's window does by default, and a
file whose optimized text holds "<pre>" is then written with a warning.
Every line break is written in the style of the file's own first line break
(CR LF stays CR LF, LF stays LF, a lone CR counts as CR LF, a file without a
break gets LF), so a file is never made larger by its breaks; --line-breaks=crlf
or lf writes one style in every file.

replace does what "Change Dir" and then "Save All" do: every occurrence of the
--find text is replaced by the --with text, left to right, without overlaps,
ignoring the case of letters unless --case-sensitive is given. A line break in
either text stands for the file's line break, whatever kind it is.

What is written: a listed file whose new bytes differ from its bytes on disk
is written over itself, with its line breaks in the chosen style, and a last
line without a line break gets one (as "Save All" writes). A file whose bytes stay
the same is left alone (its time, inode and links untouched) unless
--write-all is given, which writes every listed file as "Save All" does; the
report is the same either way. Each write is safe: the file is either wholly
old or wholly new, and keeps its permissions, owner and links.

Commands:
  optimize                  remove the white space a browser does not need
  replace                   replace one text by another

)" + CliOptionsHelp() +
           R"(
Output: one line per changed file, "PATH: BEFORE -> AFTER bytes, SAVED saved"
(with --compressed-size followed by "; gzip BEFORE -> AFTER bytes, SAVED
saved"), and a total line; with --check or --diff only the lines or diffs
named above. The byte counts are those the program shows: the length of the
text with the line break written after every line (CR LF, or LF), before and
after. A name that a shell would take apart or that does not print (a line
break, an escape, a byte that is not UTF-8) is quoted as the shell-escape
quoting style of ls quotes it ('a b.htm', 'x'$'\n''y.htm'); in the JSON
document a "path" that is not UTF-8 is followed by "pathBytes", its bytes in
base64. Failures and warnings go to standard error, worded as the program's
error box words them, and do not stop the other files. A progress bar is
shown on standard error when it is a terminal and the run takes a while.

Interrupting: on SIGINT, SIGTERM or SIGHUP no further file is taken, a write
already being put in place is finished, and every file not yet written is
left as it was, with no temporary file behind.

Exit status, for a run, --dry-run and -  |  for --check and --diff:
  0      every file was done             |  no file would change
  1      some file failed (see a)        |  some file would change
  2      bad usage                       |  bad usage
  3      (not used)                      |  the answer is not complete (see b)
  128+N  stopped by signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP)
  a      or a directory's walk ended early, or the report could not be written
  b      a file could not be read or worked (it is named on standard error), or
         standard output could not take the whole answer (a closed pipe, a
         full disk): what was printed may be cut short
)";
}
