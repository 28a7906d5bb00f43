#pragma once
// Temporaries of safe writes that an interrupted run (of this program or of the
// window) left in the walked folders: told about once, deleted on request.

#include <cstddef>
#include <string>
#include <vector>

struct ListEntry;

// The notice for count leftovers found and not deleted.
std::string LeftoversNotice(std::size_t count);

struct LeftoversRemoved {
    std::size_t removed = 0;
    std::size_t kept = 0;            // a live run's, or not this account's regular files
    std::vector<std::string> errors; // one message per file or folder that failed
};

// Deletes the leftovers a walk found, each relative to its folder reached below
// the walked folder without following a link, and only those that are still
// this account's regular files and that no live run holds (see
// platform/TemporaryLocks.h).
LeftoversRemoved RemoveLeftovers(const std::vector<ListEntry>& leftovers);

// What RemoveLeftovers did, as notices.
std::vector<std::string> LeftoversRemovedNotices(const LeftoversRemoved& result);
