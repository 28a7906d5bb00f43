#pragma once
// The system code page as the scanner's masks see it: the set of bytes that
// start a double-byte character.

#include <bitset>
#include <string_view>

// Bit n set: the byte value n is the first byte of a double-byte character.
using TLeadBytes = std::bitset<256>;

// The lead bytes of the code page whose name (as nl_langinfo(CODESET) gives it)
// is codeset: the double-byte code pages (Shift-JIS, GBK, Big5, UHC) have lead
// bytes; UTF-8 and the single-byte code pages have none.
TLeadBytes LeadBytesOfCodeSet(std::string_view codeset);

// The lead bytes of the process's code page, read once. Empty on UTF-8.
const TLeadBytes& PlatformLeadBytes();
