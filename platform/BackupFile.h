#pragma once
// A new file below a folder that keeps copies (velocitrix-cli's --backup DIR):
// the folder is reached as the user wrote it (created when missing); every
// folder below it is created (open to its maker only) or opened without
// following a symbolic link, and the file is always a new one, never one
// already there nor the target of a link: a link another account put into the
// folder cannot send the copy onto some other file.

#include "platform/UniqueFd.h"

#include <string>
#include <string_view>

class BackupFile {
public:
    // Creates the folders of rel below folder (0700) and the file rel itself,
    // empty, with no permission bit mode lacks, and none for the group and others
    // where a folder above original (the file copied) does not let every account
    // through. path names the copy in messages. Throws std::runtime_error
    // "Cannot create file "<path>". <why>" ("File exists" for a copy that is
    // there already).
    BackupFile(const std::string& path, const std::string& folder, const std::string& rel,
               const std::string& original, unsigned mode);
    BackupFile(const BackupFile&) = delete;
    BackupFile& operator=(const BackupFile&) = delete;
    // A copy that was not kept is removed: no half copy stays behind.
    ~BackupFile();

    void Append(std::string_view bytes);
    // Puts the copy on the disk (its bytes and its name) and keeps it.
    void Keep();

    const std::string& Path() const { return path_; }

private:
    [[noreturn]] void Fail(int err) const;

    std::string path_;
    std::string name_;
    UniqueFd folder_;
    UniqueFd file_;
    bool kept_ = false;
};
