// Runs the safe writes in a process of their own, for the failure-injection tests.
//   safewrite_helper one <path> <text>           writes text to path
//   safewrite_helper batch <size> <path>...      writes size bytes of a letter per file
//                                                ('A' for the first, 'B' for the next...)
// Prints the error message and exits with 1 when the write fails.

#include "commands/WriteInOrder.h"
#include "platform/SafeWrite.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: safewrite_helper one <path> <text> | batch <size> <path>...\n");
        return 2;
    }
    try {
        if (std::strcmp(argv[1], "one") == 0) {
            WriteWholeFile(argv[2], argv[3]);
        } else {
            const std::size_t size = std::strtoul(argv[2], nullptr, 10);
            std::vector<std::string> paths(argv + 3, argv + argc);
            std::string content;
            WriteFilesInOrder(
                paths.size(), [&](std::size_t i) { return paths[i]; },
                [&](std::size_t i) -> std::string_view {
                    content.assign(size, static_cast<char>('A' + i % 26));
                    return content;
                },
                2);
        }
    } catch (const std::exception& e) {
        std::printf("%s", e.what());
        return 1;
    }
    return 0;
}
