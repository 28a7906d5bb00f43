#pragma once
// Giving a new file everything the user set on the file it replaces: owner, group,
// extended attributes (ACLs among them) and permission bits, and nothing more.

#include <string>
#include <sys/stat.h>

// What CopyFileAttributes returns when the new file could not be given everything
// the old one has (another owner, an attribute the process may not set or remove):
// the caller then writes the old file in place, which keeps all of it.
constexpr int KeepInPlace = -1;

// Gives fd the owner, group, extended attributes and mode of the file at source
// (st being its status). Attributes fd has that source has not (a folder's default
// ACL inherited at creation) are removed, so that the new file is readable by
// exactly those who could read the old one. Returns 0, KeepInPlace or errno.
int CopyFileAttributes(const std::string& source, const struct stat& st, int fd);
