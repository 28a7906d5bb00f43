// The command line's piecewise editing gives the bytes and figures of the
// whole-text steps: line breaks unified, the edit, the refill (every line, the
// last included, ending in CR LF), whatever the cuts between the pieces fed and
// whatever the block size. The optimizer works a block of lines at a time, and a
// longer line a part at a time (PieceEditor); a replacement is a stream that may
// reach across lines (PieceReplacer): its pattern and replacement may hold any
// bytes, CR and LF included. With kept blocks (flag 4) the optimizer's bytes and
// "<pre>" test agree with the plain reference. With each file's own line breaks
// (flag 8) the streamed step writes the same bytes with the style of the text's
// first break, counted as written.
//
// Input: a flags byte, a block-size byte, the pattern, the replacement, up to
// eight cut positions, then the text.

#include "FuzzCheck.h"
#include "Reference.h"
#include "commands/StreamedStep.h"
#include "text/PieceEditor.h"
#include "text/PieceReplacer.h"
#include "text/ReplaceText.h"
#include "text/TextDocument.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto flags = in.ConsumeIntegral<std::uint8_t>();
    const bool optimize = flags & 1;
    const bool caseSensitive = flags & 2;
    const OptimizeOptions options{(flags & 4) != 0};
    const std::size_t block = 1 + in.ConsumeIntegral<std::uint8_t>();
    const std::string pattern = in.ConsumeRandomLengthString(16);
    const std::string replacement = in.ConsumeRandomLengthString(16);
    std::vector<std::size_t> cuts(in.ConsumeIntegralInRange<std::size_t>(0, 8));
    for (std::size_t& cut : cuts)
        cut = in.ConsumeIntegral<std::uint16_t>();
    const std::string text = in.ConsumeRemainingBytesAsString();
    for (std::size_t& cut : cuts)
        cut = text.empty() ? 0 : cut % (text.size() + 1);
    std::sort(cuts.begin(), cuts.end());

    // The whole-text steps.
    const std::string unified = reference::UnifyBreaks(text);
    const bool endsWithBreak = !unified.empty() && unified.back() == '\n';
    const std::size_t before = unified.size() + (unified.empty() || endsWithBreak ? 0 : 2);
    std::string expected;
    bool expectPre = false;
    if (optimize && options.keepPre) {
        const reference::KeptResult kept = reference::OptimizeKeeping(unified);
        expected = kept.text;
        expectPre = kept.hasPre;
    } else if (optimize) {
        if (before > 0)
            expected =
                reference::JoinWithBreaks(reference::OptimizeLines(reference::Pieces(unified)));
        expectPre = expected.find("<pre>") != std::string::npos;
    } else {
        expected = reference::JoinWithBreaks(
            reference::Pieces(ReplaceText(unified, pattern, replacement, caseSensitive)));
    }

    std::string actual;
    const auto sink = [&](std::string_view piece) {
        actual.append(piece);
    };
    PieceEditor editor(sink, TextDocument::ReadCharLimit, options, block);
    PieceReplacer replacer(pattern, replacement, caseSensitive, sink, TextDocument::ReadCharLimit,
                           block);
    std::size_t from = 0;
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const std::size_t to = i < cuts.size() ? cuts[i] : text.size();
        const std::string_view piece = std::string_view(text).substr(from, to - from);
        if (optimize)
            editor.Feed(piece);
        else
            replacer.Feed(piece);
        from = to;
    }
    const PieceFigures& f = optimize ? editor.Finish() : replacer.Finish();

    const std::string what = "text " + fuzzcheck::Quoted(text.substr(0, 2000)) + " pattern " +
                             fuzzcheck::Quoted(pattern) + " replacement " +
                             fuzzcheck::Quoted(replacement) + (optimize ? " optimize" : "") +
                             (options.keepPre ? " keeping blocks" : "") + " block " +
                             std::to_string(block);
    if (actual != expected)
        fuzzcheck::Fail("the bytes given out differ from the whole-text steps'",
                        what + "\nexpected " + fuzzcheck::Quoted(expected) + "\nactual " +
                            fuzzcheck::Quoted(actual));
    if (f.before != before || f.after != actual.size())
        fuzzcheck::Fail("the lengths differ", what);
    if (f.changed != (expected != text))
        fuzzcheck::Fail("whether the file changes is wrong", what);
    if (f.hasPre != expectPre)
        fuzzcheck::Fail("the <pre> test differs", what);
    if (flags & 8) {
        FileStep step;
        step.optimize = optimize;
        step.change = {pattern, replacement, caseSensitive};
        step.optimizeOptions = options;
        step.breaks = LineBreakStyle::Keep;
        std::string styled;
        StreamedStep streamed(
            step, [&](std::string_view piece) { styled.append(piece); },
            TextDocument::ReadCharLimit);
        from = 0;
        for (std::size_t i = 0; i <= cuts.size(); ++i) {
            const std::size_t to = i < cuts.size() ? cuts[i] : text.size();
            streamed.Feed(std::string_view(text).substr(from, to - from));
            from = to;
        }
        const PieceFigures& k = streamed.Finish();
        const std::size_t first = text.find_first_of("\r\n");
        const bool lf = first == std::string::npos || text[first] == '\n';
        std::string want;
        std::size_t lines = 0; // of the text read, as JoinedText has them
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const bool crlf = expected.compare(i, 2, "\r\n") == 0;
            want += crlf && lf ? std::string("\n") : std::string(1, expected[i]);
            i += crlf && lf;
        }
        for (std::size_t i = 0; i + 1 < unified.size(); ++i)
            lines += unified.compare(i, 2, "\r\n") == 0;
        lines += !unified.empty() && !endsWithBreak;
        if (styled != want)
            fuzzcheck::Fail("the bytes with the text's own breaks differ",
                            what + "\nexpected " + fuzzcheck::Quoted(want) + "\nactual " +
                                fuzzcheck::Quoted(styled));
        if (k.after != styled.size() || k.before != (lf ? before - lines : before))
            fuzzcheck::Fail("the lengths with the text's own breaks differ", what);
        if (k.changed != (styled != text))
            fuzzcheck::Fail("whether the file changes with the text's own breaks is wrong", what);
    }
    return 0;
}
