#pragma once
// Writes files as velocitrix-cli does: found by a walk of root, each read first
// and written through the file as read, in folders the thread keeps (the path the
// write's checks take from the reading).

#include "platform/FileIO.h"
#include "platform/KeptFolders.h"
#include "platform/SafeWrite.h"

#include <string>
#include <vector>

inline void WriteAsRead(const std::string& root, const std::vector<std::string>& paths,
                        const std::string& data) {
    const KeepFolders kept;
    for (const std::string& path : paths) {
        InputFile in(path, root);
        char buffer[4096];
        while (in.Read(buffer, sizeof buffer) != 0) {
        }
        WriteOptions options;
        options.beneath = root;
        options.readAs = in.Stamp();
        options.source = &in;
        WriteWholeFile(path, data, options);
    }
}
