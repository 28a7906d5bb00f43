#pragma once
// Finding and unifying line breaks. A line break is CR LF, a lone CR or a lone LF;
// LF followed by CR is two breaks.
//
// Texts are kept with CR LF breaks; the break a file is written with is chosen
// only where the bytes leave the program (BreakStyleSink.h for pieces).

#include <cstddef>
#include <string>
#include <string_view>

// The first CR or LF in [p, end), or end.
const char* FindLineBreak(const char* p, const char* end);

// p points at a CR or LF: the start of the next line.
inline const char* SkipLineBreak(const char* p, const char* end) {
    return (*p == '\r' && p + 1 != end && p[1] == '\n') ? p + 2 : p + 1;
}

// The position of the first lone CR or lone LF, or npos when every break is CR LF.
std::size_t FirstLoneBreak(std::string_view text);

// Appends text[from..] to out with every break made CR LF (out receives text[0, from)
// as it is first). When finalBreak is set, a last line without a break gets one.
void AppendUnifiedBreaks(std::string_view text, std::size_t from, std::string& out,
                         bool finalBreak = false);

// The break a file is written with. Keep: the style of the file's own first
// line break as it was read (see FirstBreakStyle); where the bytes are made it
// has been resolved to CrLf or Lf (ResolvedBreaks).
enum class LineBreakStyle : unsigned char { CrLf, Lf, Keep };

// The style of text's first line break: CrLf for a CR LF or a lone CR, Lf for a
// lone LF, and Lf for a text without a break.
LineBreakStyle FirstBreakStyle(std::string_view text);

// chosen, with Keep made the file's own style.
inline LineBreakStyle ResolvedBreaks(LineBreakStyle chosen, LineBreakStyle own) {
    return chosen == LineBreakStyle::Keep ? own : chosen;
}

// Appends text to out with every line break (CR LF, lone CR, lone LF) written as
// style's break (CrLf or Lf; Keep counts as CrLf, the breaks the text holds).
void AppendInStyle(std::string_view text, LineBreakStyle style, std::string& out);

// Copies text to out with every CR LF and every lone CR made one LF (a lone LF
// stays); out has room for text.size() bytes. Returns the bytes written.
std::size_t CopyWithLfBreaks(std::string_view text, char* out);

struct LineFigures {
    std::size_t loneBreaks = 0;   // lone CRs and lone LFs
    std::size_t joinedLength = 0; // every line + CR LF
    bool endsWithBreak = false;
};
LineFigures MeasureLines(std::string_view text);

// The lines of a text given a piece at a time, counted as JoinedText has them:
// one per break (CR LF, lone CR, lone LF), and one for a last line without a break.
class LineCounter {
public:
    void Feed(std::string_view bytes);
    std::size_t Lines() const { return breaks_ + (any_ && last_ != '\r' && last_ != '\n'); }

private:
    std::size_t breaks_ = 0;
    char last_ = '\0'; // the last byte fed, when any_
    bool any_ = false;
};
