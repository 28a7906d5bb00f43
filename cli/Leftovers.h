#pragma once
// Temporaries of safe writes that an interrupted run (of this program or of the
// window) left in the walked folders: told about once, deleted on request.

#include <cstddef>
#include <string>
#include <vector>

// The notice for count leftovers found and not deleted.
std::string LeftoversNotice(std::size_t count);

struct LeftoversRemoved {
    std::size_t removed = 0;
    std::vector<std::string> errors; // one message per file that could not go
};

// Deletes each path that is still a regular file (a link or anything else put in
// its place is left alone).
LeftoversRemoved RemoveLeftovers(const std::vector<std::string>& paths);
