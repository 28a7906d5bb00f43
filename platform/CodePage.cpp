#include "platform/CodePage.h"

#include <cctype>
#include <clocale>
#include <langinfo.h>
#include <string>

namespace {

std::string Normalized(std::string_view name) {
    std::string out;
    for (unsigned char c : name) {
        if (c != '-' && c != '_') {
            out.push_back(static_cast<char>(std::toupper(c)));
        }
    }
    return out;
}

void SetRange(TLeadBytes& set, unsigned first, unsigned last) {
    for (unsigned b = first; b <= last; ++b) {
        set.set(b);
    }
}

} // namespace

TLeadBytes LeadBytesOfCodeSet(std::string_view codeset) {
    const std::string name = Normalized(codeset);
    TLeadBytes set;
    if (name == "SHIFTJIS" || name == "SJIS" || name == "CP932" || name == "WINDOWS31J") {
        SetRange(set, 0x81, 0x9F);
        SetRange(set, 0xE0, 0xFC);
    } else if (name == "GBK" || name == "CP936" || name == "GB18030" || name == "BIG5" ||
               name == "CP950" || name == "BIG5HKSCS" || name == "CP949" || name == "UHC") {
        SetRange(set, 0x81, 0xFE);
    }
    return set;
}

const TLeadBytes& PlatformLeadBytes() {
    static const TLeadBytes set = [] {
        // The program runs in the C.UTF-8 / UTF-8 locale; a process that never
        // called setlocale reports "ANSI_X3.4-1968", which has no lead bytes either.
        const char* codeset = nl_langinfo(CODESET);
        return LeadBytesOfCodeSet(codeset ? std::string_view(codeset) : std::string_view());
    }();
    return set;
}
