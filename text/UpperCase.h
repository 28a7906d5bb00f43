#pragma once
// Upper-casing that keeps every byte position: the search copies of the
// case-insensitive replacement. Texts are UTF-8 here, but any bytes may occur.
//
// ASCII a-z become A-Z, and a UTF-8 encoded letter becomes its capital when the
// capital is one character of the same encoded length (é to É, ж to Ж); every other
// byte stays as it is: digits, punctuation, letters whose capital is longer or
// shorter, and bytes that are not valid UTF-8 (so Latin-1 letters fold no case).

#include <cstddef>
#include <string>
#include <string_view>

// The length (2 to 4) of the valid UTF-8 multi-byte character that begins at p, or
// 0 when none does (ASCII byte, stray continuation byte, overlong or truncated form,
// surrogate, beyond U+10FFFF). end bounds the bytes that may be looked at.
std::size_t Utf8SequenceLength(const char* p, const char* end);

// True when byte i of text continues a valid multi-byte character that begins before
// it: no search match may begin there.
bool InsideUtf8Character(std::string_view text, std::size_t i);

// Writes the upper-cased copy of [src, src + n) to dst (n bytes; dst may equal src).
// The bytes are taken as a whole: a character cut at either end is left unchanged.
void UpperCaseInto(const char* src, std::size_t n, char* dst);

std::string UpperCase(std::string_view text);

// Only a-z to A-Z, every other byte as it is. Where the upper-cased copy is compared
// with an ASCII pattern this gives the same matches: a letter of two or more bytes
// stays two or more bytes of 0x80 and above, which no ASCII byte equals.
void AsciiUpperCaseInto(const char* src, std::size_t n, char* dst);

namespace velocitrix_upper_case {
struct CasePair {
    char16_t lower;
    char16_t upper;
};
// The generated tables (UpperCaseTable.cpp).
extern const CasePair TwoByteLetters[];
extern const std::size_t TwoByteLettersSize;
extern const CasePair ThreeByteLetters[];
extern const std::size_t ThreeByteLettersSize;
} // namespace velocitrix_upper_case
