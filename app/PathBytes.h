#pragma once
// The bytes that name a file, from the path a file dialog gives.

#include <QString>

#include <string>

// Qt reads file names as UTF-8 and shows a name that is not valid UTF-8 with
// U+FFFD in place of each bad sequence; such a name no longer leads to its file.
// Each part of path that holds U+FFFD is looked up in its folder: a name that
// is exactly that text is taken, else the one name there that reads the same,
// else the text is kept (two or more that read alike are not guessed between).
// Any other path is its UTF-8 bytes.
std::string PathBytesOf(const QString& path);
