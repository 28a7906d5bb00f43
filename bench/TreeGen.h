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

// Writes the tree under root (created; must not exist yet). Deterministic for a seed.
TreeStats GenerateTree(const std::string& root, std::uint32_t seed = 1);

// The default file-type list of the program (sixteen masks).
extern const char* const kDefaultTypes;

// The tree at $VX_BENCH_TREE, or /tmp/velocitrix-bench-tree, generated once.
std::string BenchTree();
