#pragma once
// Every line break of a text that arrives a piece at a time made CR LF, as
// ReadFromFile makes them and AssignLines splits lines: CR LF stays, a lone CR or
// a lone LF becomes CR LF. A CR at the end of a piece is held back until the
// next byte shows whether it starts a CR LF.

#include <string>
#include <string_view>

class BreakUnifier {
public:
    // Appends the unified form of bytes that is settled to out.
    void Feed(std::string_view bytes, std::string& out);
    // The end of the text: a CR held back is a lone CR.
    void Finish(std::string& out);
    // True when some break was a lone CR or a lone LF, so that the output differs.
    bool SawLoneBreak() const { return sawLone_; }

private:
    bool crHeld_ = false;
    bool sawLone_ = false;
};
