#pragma once
// Giving a new file everything the user set on the file it replaces: owner, group,
// extended attributes (ACLs among them) and permission bits, and nothing more.

#include <string>
#include <sys/stat.h>
#include <vector>

// Gives fd the owner, group, extended attributes and mode of the file at source
// (st being its status). Attributes fd has that source has not (a folder's default
// ACL inherited at creation) are removed, so that the new file is readable by
// exactly those who could read the old one. Returns 0 or errno. keepInPlace is
// set (and 0 returned) when the new file could not be given everything the old
// one has (another owner, an attribute the process may not set or remove): the
// caller then writes the old file in place, which keeps all of it.
int CopyFileAttributes(const std::string& source, const struct stat& st, int fd, bool& keepInPlace);

// The names of the extended attributes of the open file fd. Returns 0 or errno.
int AttributeNames(int fd, std::vector<std::string>& names);

// CopyFileAttributes from the open file sourceFd, whose attribute names are
// known (names), onto fd, whose status is made: the owner and group are changed
// only where they differ, the mode only where it differs or the owner changed.
// made receives fd's status at the end; inherited is set where fd had
// attributes of its own before (what its folder gives a new file).
int GiveFileAttributes(int sourceFd, const std::vector<std::string>& names, const struct stat& st,
                       int fd, struct stat& made, bool& keepInPlace, bool& inherited);

// A file's set-user-ID and set-group-ID bits and its capabilities (the
// security.capability attribute) do not survive a write into the file: the
// kernel takes the bits away on a write by a process without CAP_FSETID (the
// set-group-ID bit only where it means something: with the group's execute bit,
// or for a process outside the file's group), and the attribute on any write.
enum class PrivilegeLoss { None, SetUserId, SetGroupId, Capabilities };

// What a write into a file is to give back to it afterwards.
struct HeldPrivileges {
    mode_t mode = 0;        // the mode to set again; 0: none
    std::string capability; // the security.capability value to set again; empty: none
};

// Whether a write into fd (st: its status) by this process would take away
// something this process could not give back; held is filled with what it gives
// back with RestorePrivileges. Read before any byte of the file changes.
PrivilegeLoss PrivilegesAfterWrite(int fd, const struct stat& st, HeldPrivileges& held);

// Gives fd back what a write took away. Returns 0 or errno.
int RestorePrivileges(int fd, const HeldPrivileges& held);

// The permission bits of mode that are no wider than the folders above the file
// at path allow: where some folder on its way (every link resolved) does not let
// every account through, only the owner's bits stay. For a copy of the file
// elsewhere, which must not be readable by anyone who could not read the file.
mode_t ModeSeenThroughFolders(const std::string& path, mode_t mode);
