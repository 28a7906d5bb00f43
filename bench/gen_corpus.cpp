// Writes the web-like benchmark text: gen_corpus <file> [megabytes, default 100]

#include "CorpusGen.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: gen_corpus <file> [megabytes]\n";
        return 2;
    }
    const std::size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100;
    const std::string text = GenerateWebCorpus(megabytes << 20);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }
    std::cout << text.size() << " bytes written to " << argv[1] << "\n";
    return 0;
}
