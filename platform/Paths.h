#pragma once
// Paths as text, with "/" between folders and names; nothing here looks at the
// file system. Several are needed because callers differ on the folder of a bare
// name and on a trailing "/": pick the one whose examples fit.

#include <string>
#include <string_view>

// folder and name with exactly one "/" between them, whether or not folder ends
// with one: ("/web", "a") and ("/web/", "a") give "/web/a", ("/", "a") gives "/a".
// An empty folder gives the name alone, an empty name the folder alone.
std::string JoinPath(std::string_view folder, std::string_view name);

// The path of an entry a walk found in folder: exactly one "/" between them, also
// after an empty folder: ("/web", "a") and ("/web/", "a") give "/web/a", ("", "a")
// gives "/a".
std::string FoundPath(std::string_view folder, std::string_view name);

// What follows the last "/", or the whole path when it has none: "/web/a.htm"
// gives "a.htm", "a.htm" gives "a.htm", "/web/" gives "".
std::string NameOf(std::string_view path);

// The folder to open for the path's name: the part before the last "/" ("/web/a"
// gives "/web", "/a" gives "/"), "." for a bare name. A trailing "/" counts as
// the last one: "/web/" gives "/web".
std::string FolderOf(std::string_view path);

// Everything up to and including the last "/", "" when there is none, so that
// FolderPrefixOf(p) + NameOf(p) == p: "/web/a.htm" gives "/web/", "a.htm" gives "".
std::string FolderPrefixOf(std::string_view path);

// The path without its trailing "/"s, but a lone "/" (the root) is kept:
// "/web//" gives "/web", "///" gives "/".
std::string TrimTrailingSlashes(std::string_view path);

// The path with empty and "." parts dropped and each ".." taking away the part
// before it, by name alone, as a browser resolves an address: "/web/css/../a.css"
// gives "/web/a.css", "/.." gives "/", "a/../../b" gives "../b", "a/.." gives ".".
std::string TidiedPath(std::string_view path);
