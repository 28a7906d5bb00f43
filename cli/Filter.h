#pragma once
// "velocitrix-cli optimize -": standard input worked to standard output a piece
// at a time, for editors and pipes; no file is touched, and input of any size
// costs a few pieces' worth of memory.

#include <cstdio>
#include <string>

struct PipelineSettings;

struct FilterOutcome {
    bool failed = false;
    bool stopped = false; // a signal asked to stop
    bool hasPre = false;  // optimize: "<pre>" in the output
    std::string error;    // the failure, as the program words it
};

FilterOutcome FilterStream(int inFd, std::FILE* out, const PipelineSettings& settings);
