#include "cli/UnifiedDiff.h"

#include "cli/LineDiff.h"
#include "cli/QuotedNames.h"

#include <algorithm>
#include <vector>

namespace {

// A line's text and its break, split at CR LF, lone CR and lone LF.
struct BrokenLine {
    std::string_view text;
    std::string_view brk;
};

std::vector<BrokenLine> SplitAtAnyBreak(std::string_view s) {
    std::vector<BrokenLine> lines;
    std::size_t start = 0;
    while (start < s.size()) {
        const std::size_t at = s.find_first_of("\r\n", start);
        if (at == std::string_view::npos) {
            lines.push_back({s.substr(start), {}});
            break;
        }
        const std::size_t len = (s[at] == '\r' && at + 1 < s.size() && s[at + 1] == '\n') ? 2 : 1;
        lines.push_back({s.substr(start, at - start), s.substr(at, len)});
        start = at + len;
    }
    return lines;
}

// "-3,2": where a side of a hunk starts and how many lines it spans, as diff
// writes it (an empty side names the line before it).
std::string Range(std::size_t start, std::size_t count) {
    if (count == 1)
        return std::to_string(start + 1);
    return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
}

void AppendLine(std::string& out, char mark, std::string_view line) {
    out += mark;
    out.append(line);
    if (line.empty() || line.back() != '\n')
        out += "\n\\ No newline at end of file\n";
}

} // namespace

std::string LineBreakKinds(std::string_view text) {
    bool crlf = false;
    bool lf = false;
    bool cr = false;
    const std::vector<BrokenLine> lines = SplitAtAnyBreak(text);
    for (const BrokenLine& l : lines) {
        crlf |= l.brk == "\r\n";
        lf |= l.brk == "\n";
        cr |= l.brk == "\r";
    }
    const int kinds = int{crlf} + int{lf} + int{cr};
    std::string out = kinds > 1 ? "mixed" : crlf ? "CR LF" : lf ? "LF" : cr ? "CR" : "none";
    if (!lines.empty() && lines.back().brk.empty())
        out += ", no final break";
    return out;
}

bool OnlyLineBreaksDiffer(std::string_view a, std::string_view b) {
    if (a == b)
        return false;
    const std::vector<BrokenLine> la = SplitAtAnyBreak(a);
    const std::vector<BrokenLine> lb = SplitAtAnyBreak(b);
    if (la.size() != lb.size())
        return false;
    for (std::size_t i = 0; i < la.size(); ++i)
        if (la[i].text != lb[i].text)
            return false;
    return true;
}

std::string UnifiedDiff(const std::string& path, std::string_view oldText, std::string_view newText,
                        int context) {
    if (oldText == newText)
        return {};
    const std::vector<std::string_view> a = SplitLines(oldText);
    const std::vector<std::string_view> b = SplitLines(newText);
    const LineEdit edit = DiffLines(a, b);
    const auto ctx = static_cast<std::size_t>(std::max(context, 0));

    std::string out;
    if (OnlyLineBreaksDiffer(oldText, newText))
        out +=
            "# line breaks: " + LineBreakKinds(oldText) + " -> " + LineBreakKinds(newText) + "\n";
    // An absolute path keeps its own first "/" once "a" or "b" is put before it.
    // A name with a line break, TAB, quote or the like is quoted as GNU diff
    // quotes it, so that patch takes it as one name and nothing else.
    const std::string name = !path.empty() && path[0] == '/' ? path : "/" + path;
    out += "--- " + DiffHeaderName("a" + name) + "\n+++ " + DiffHeaderName("b" + name) + "\n";

    // Walk both texts together; i and j are the next old and new lines.
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() || j < b.size()) {
        // The next change.
        while (i < a.size() && j < b.size() && !edit.removed[i] && !edit.added[j])
            ++i, ++j;
        if (i == a.size() && j == b.size())
            break;
        // The hunk starts ctx lines before it and runs until two changes are more
        // than 2 * ctx unchanged lines apart.
        const std::size_t lead = std::min({ctx, i, j});
        std::size_t hi = i - lead;
        std::size_t hj = j - lead;
        std::string body;
        for (std::size_t k = 0; k < lead; ++k)
            AppendLine(body, ' ', a[hi + k]);
        std::size_t ci = i;
        std::size_t cj = j;
        for (;;) {
            while (ci < a.size() && edit.removed[ci])
                AppendLine(body, '-', a[ci++]);
            while (cj < b.size() && edit.added[cj])
                AppendLine(body, '+', b[cj++]);
            // Unchanged lines after the change: how many until the next one.
            std::size_t same = 0;
            while (ci + same < a.size() && cj + same < b.size() && !edit.removed[ci + same] &&
                   !edit.added[cj + same])
                ++same;
            const bool moreChanges = ci + same < a.size() || cj + same < b.size();
            if (moreChanges && same <= 2 * ctx) {
                for (std::size_t k = 0; k < same; ++k)
                    AppendLine(body, ' ', a[ci + k]);
                ci += same;
                cj += same;
                continue;
            }
            const std::size_t tail = std::min(same, ctx);
            for (std::size_t k = 0; k < tail; ++k)
                AppendLine(body, ' ', a[ci + k]);
            ci += tail;
            cj += tail;
            break;
        }
        out += "@@ -" + Range(hi, ci - hi) + " +" + Range(hj, cj - hj) + " @@\n";
        out += body;
        i = ci;
        j = cj;
    }
    return out;
}
