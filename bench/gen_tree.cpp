// gen_tree DIR [SEED [FILES]]: writes the benchmark tree under DIR (which must not
// exist); with FILES, a tree of exactly that many files.

#include "TreeGen.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [SEED [FILES]]\n", argv[0]);
        return 2;
    }
    try {
        const std::uint32_t seed =
            argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
        const long files = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 0;
        const TreeStats s = GenerateTree(argv[1], seed, files);
        std::printf("%ld directories, %ld files, %ld matching the default types (%llu bytes), "
                    "%ld others (%llu bytes)\n",
                    s.directories, s.files, s.matchingFiles,
                    static_cast<unsigned long long>(s.matchingBytes), s.files - s.matchingFiles,
                    static_cast<unsigned long long>(s.otherBytes));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
