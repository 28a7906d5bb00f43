#pragma once
// The optimizer's work on one line, shared by the whole-text and piecewise forms.

#include <cstddef>

inline constexpr std::size_t DroppedLine = static_cast<std::size_t>(-1);

// The optimized form of [src, src + len) written to dst, its length returned, or
// DroppedLine for a line of nothing but spaces and tabs. dst may equal or precede
// src (each output byte is written only after the input bytes at and before its
// place have been read).
std::size_t OptimizeInto(const char* src, std::size_t len, char* dst);
