#pragma once
// File names in what velocitrix-cli prints. A name may hold any byte but "/" and
// NUL: line breaks, TABs, quotes, escape sequences, bytes that are not UTF-8. In
// a diff header, a report line or a message such a name must neither read as
// more than one name or line, nor act on the terminal, and must give back its
// exact bytes to whoever reads it (patch, a shell, a person).

#include <cstddef>
#include <string>
#include <string_view>

// The length of the UTF-8 sequence at s[i] (shortest form, no surrogate, at
// most U+10FFFF), or 0 when none starts there.
std::size_t Utf8Length(std::string_view s, std::size_t i);

// The name as GNU diff writes it after "--- " and "+++ ": as it is when it holds
// no control character, space, '"', '\' or byte above 127; otherwise in double
// quotes with C escapes (\t, \n, \", \\, \ooo for the other bytes), which GNU
// patch reads back byte for byte.
std::string DiffHeaderName(std::string_view name);

// True when the name cannot be printed as it is: it holds a character a shell
// treats specially, or one that does not print (see QuotedName).
bool NameNeedsQuoting(std::string_view name);

// The name as "ls --quoting-style=shell-escape" prints it in a UTF-8 locale: as
// it is when it needs no quoting; else in single quotes ("a'b" in double
// quotes), with each run of bytes that do not print as $'...' with C escapes
// (\n, \t, \033, \377, ...). Pasted into a POSIX shell it gives the name's
// bytes. Besides what ls escapes (controls, bytes that are not UTF-8, C1
// controls, characters the locale does not print), the invisible marks that
// reorder or hide text (bidirectional controls, zero-width characters, the
// byte order mark) are escaped too.
std::string QuotedName(std::string_view name);

// The message with each mention of name replaced by QuotedName(name) (a mention
// in double quotes, as the program's messages word it, loses those quotes);
// unchanged when the name needs no quoting.
std::string QuoteNameIn(std::string message, std::string_view name);

// A line for the terminal: each byte that does not print (a control character,
// DEL, a byte that is not UTF-8, a character QuotedName escapes) as \ooo, so
// that whatever a message carries it stays one line and moves no cursor.
std::string PrintableText(std::string_view text);
