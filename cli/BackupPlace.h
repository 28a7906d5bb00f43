#pragma once
// Where --backup DIR may not lie: inside (or at) a folder the run walks, where
// the copies would become files of the site, or where a copy's path is one of
// the files worked on, so that the copy would be made over its own original.

#include <string>
#include <vector>

struct ListEntry;

// Why DIR cannot take the copies of this run, as a usage error's text, or empty
// when it can. paths: the PATH arguments; entries: the files listed from them.
std::string BackupPlaceProblem(const std::string& backupDir, const std::vector<std::string>& paths,
                               const std::vector<ListEntry>& entries);
