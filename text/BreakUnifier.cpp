#include "text/BreakUnifier.h"

#include "text/LineBreaks.h"

void BreakUnifier::Feed(std::string_view bytes, std::string& out) {
    if (bytes.empty())
        return;
    if (crHeld_) {
        crHeld_ = false;
        out.append("\r\n", 2);
        if (bytes.front() == '\n')
            bytes.remove_prefix(1);
        else
            sawLone_ = true;
    }
    if (!bytes.empty() && bytes.back() == '\r') {
        crHeld_ = true;
        bytes.remove_suffix(1);
    }
    const std::size_t lone = FirstLoneBreak(bytes);
    if (lone == std::string_view::npos) {
        out.append(bytes);
    } else {
        sawLone_ = true;
        AppendUnifiedBreaks(bytes, lone, out);
    }
}

void BreakUnifier::Finish(std::string& out) {
    if (!crHeld_)
        return;
    crHeld_ = false;
    sawLone_ = true;
    out.append("\r\n", 2);
}
