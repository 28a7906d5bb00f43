#pragma once
// The benchmark tree: about 50,000 files in 4 levels of directories; about 80% of
// them carry one of the default web types (HTML, server scripts, style sheets,
// about 165 MB of web-like text in all), the rest other types (images, scripts,
// text) that no default mask matches.

#include <cstdint>
#include <string>

struct TreeStats {
    long directories = 0;
    long files = 0;
    long matchingFiles = 0;
    std::uint64_t matchingBytes = 0;
    std::uint64_t otherBytes = 0;
};

// Writes the tree under root (created; must not exist yet). Deterministic for a
// seed. files > 0: a tree of exactly that many files, the same mix with as many
// more (or fewer) folders as that takes; the first files of a larger tree are
// those of a smaller one.
TreeStats GenerateTree(const std::string& root, std::uint32_t seed = 1, long files = 0);

// The default file-type list of the program (sixteen masks).
extern const char* const kDefaultTypes;

// The tree at $VX_BENCH_TREE, or /tmp/velocitrix-bench-tree, generated once; with
// files > 0, the tree of that many files at the same name followed by "-<files>".
std::string BenchTree(long files = 0);
