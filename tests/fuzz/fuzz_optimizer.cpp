// The whitespace optimizer: OptimizeLine and OptimizeLines agree with the rules
// applied pass by pass; a second run changes nothing; no line and no text gets
// longer. A whole document run (OptimizeDocument), also under a checkpoint, agrees with the
// callers' steps spelt out with the document's own operations, character limit included.
// With kept blocks (flag 16) the document run agrees with the plain reference
// instead, the refill keeping the whole lines that fit.
//
// Input: a flags byte, a limit byte, then the text.

#include "FuzzCheck.h"
#include "Reference.h"
#include "text/Optimizer.h"
#include "text/TextDocument.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Outcome {
    std::size_t before = 0;
    std::size_t after = 0;
    bool pre = false;
    std::string whole;
    std::string error;
};

// Steps 2 to 6 of the callers with ClearDocument and AppendLine.
Outcome StepByStep(TextDocument& doc) {
    Outcome r;
    r.before = doc.JoinedText().size();
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < doc.LineCount(); ++i)
        lines.emplace_back(doc.LineAt(i));
    const std::vector<std::string> kept = reference::OptimizeLines(lines);
    doc.ClearDocument();
    try {
        for (const std::string& line : kept)
            doc.AppendLine(line);
    } catch (const std::runtime_error& e) {
        r.error = e.what();
    }
    r.whole = doc.WholeText();
    r.after = doc.JoinedText().size();
    r.pre = doc.JoinedText().find("<pre>") != std::string::npos;
    return r;
}

// The reference with kept blocks, and the refill's character limit line by line.
Outcome Keeping(const TextDocument& doc) {
    Outcome r;
    const std::string joined = TextDocument(doc).JoinedText();
    r.before = joined.size();
    const reference::KeptResult kept = reference::OptimizeKeeping(joined);
    r.pre = kept.hasPre;
    for (std::size_t from = 0; from < kept.text.size();) {
        const std::size_t to = kept.text.find('\n', from) + 1;
        if (to > doc.CharLimit()) {
            r.error = "RichEdit line insertion error";
            break;
        }
        from = to;
        r.whole = kept.text.substr(0, to);
    }
    r.after = r.whole.size();
    return r;
}

Outcome Run(TextDocument& doc, const OptimizeOptions& options) {
    Outcome r;
    r.before = TextDocument(doc).JoinedText().size(); // on a copy: doc's state stays as it is
    try {
        const OptimizeRun run = OptimizeDocument(doc, options);
        FUZZ_CHECK(run.lengthBefore == r.before, "lengthBefore");
        r.after = run.lengthAfter;
        r.pre = run.hasPre;
    } catch (const std::runtime_error& e) {
        r.error = e.what();
        r.after = doc.JoinedText().size();
        r.pre = doc.JoinedText().find("<pre>") != std::string::npos;
    }
    r.whole = doc.WholeText();
    return r;
}

std::size_t Total(const std::vector<std::string>& lines) {
    std::size_t n = 0;
    for (const std::string& line : lines)
        n += line.size() + 2;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto flags = in.ConsumeIntegral<std::uint8_t>();
    const auto limitByte = in.ConsumeIntegral<std::uint8_t>();
    const std::string text = in.ConsumeRemainingBytesAsString();
    const std::string shown = fuzzcheck::Quoted(text);

    // Lines cut at LF only, so CRs and every other byte reach the optimizer.
    std::vector<std::string> lines;
    {
        std::size_t start = 0;
        for (;;) {
            const std::size_t lf = text.find('\n', start);
            lines.push_back(
                text.substr(start, lf == std::string::npos ? std::string::npos : lf - start));
            if (lf == std::string::npos)
                break;
            start = lf + 1;
        }
    }

    for (const std::string& line : lines) {
        std::string fast, literal;
        const bool kept = OptimizeLine(line, fast);
        const bool keptLiteral = reference::OptimizeLine(line, literal);
        FUZZ_CHECK(kept == keptLiteral, "line " + fuzzcheck::Quoted(line));
        if (kept) {
            FUZZ_CHECK(fast == literal, "line " + fuzzcheck::Quoted(line) + " gave " +
                                            fuzzcheck::Quoted(fast) + " expected " +
                                            fuzzcheck::Quoted(literal));
            FUZZ_CHECK(!fast.empty() && fast.size() <= line.size(),
                       "line " + fuzzcheck::Quoted(line));
            std::string again;
            FUZZ_CHECK(OptimizeLine(fast, again) && again == fast,
                       "second run changed " + fuzzcheck::Quoted(fast));
        }
    }

    const std::vector<std::string> out = OptimizeLines(lines);
    FUZZ_CHECK(out == reference::OptimizeLines(lines), "lines of " + shown);
    FUZZ_CHECK(OptimizeLines(out) == out, "second run of the lines of " + shown);
    FUZZ_CHECK(Total(out) <= Total(lines), "longer: " + shown);
    FUZZ_CHECK(OptimizeLines({}).empty(), "empty input");

    // A whole document, filled the way the commands fill it.
    TextDocument doc;
    if (flags & 1)
        doc.AssignLines(text);
    else
        doc.SetWholeText(text);
    if (flags & 2)
        doc.SetCharLimit(limitByte); // small: the refill may not fit
    else if (flags & 4)
        doc.SetCharLimit(TextDocument::FileCharLimit);
    TextDocument copy = doc;
    // Now and then as a command runs it: the content kept for a rollback, the
    // output built beside it.
    const std::string original = doc.WholeText();
    const bool checkpoint = (flags & 8) != 0 && doc.Checkpoint();
    const OptimizeOptions options{(flags & 16) != 0};
    const Outcome literal = options.keepPre ? Keeping(copy) : StepByStep(copy);
    const Outcome fast = Run(doc, options);
    const std::string what = "document " + shown + " flags " + std::to_string(flags) + " limit " +
                             std::to_string(limitByte);
    FUZZ_CHECK(fast.error == literal.error, what + ": error '" + fast.error + "'");
    FUZZ_CHECK(fast.whole == literal.whole, what + ": gave " + fuzzcheck::Quoted(fast.whole) +
                                                " expected " + fuzzcheck::Quoted(literal.whole));
    FUZZ_CHECK(fast.before == literal.before, what + ": length before");
    FUZZ_CHECK(fast.after == literal.after, what + ": length after");
    // A refill that failed part-way is not looked at for "<pre>" with kept blocks.
    FUZZ_CHECK((options.keepPre && !fast.error.empty()) || fast.pre == literal.pre,
               what + ": <pre> test");
    FUZZ_CHECK(fast.after <= fast.before, what + ": longer");
    if (!options.keepPre) {
        FUZZ_CHECK(doc.LineCount() == copy.LineCount(), what + ": line count");
        FUZZ_CHECK(doc.JoinedText() == copy.JoinedText(), what + ": joined text");
    }
    if (checkpoint && !fast.error.empty()) {
        doc.Rollback();
        FUZZ_CHECK(doc.WholeText() == original, what + ": rollback");
        return 0;
    }
    if (checkpoint)
        doc.Release();

    if (fast.error.empty()) {
        // A second run saves nothing and changes nothing.
        const std::string first = doc.WholeText();
        const Outcome second = Run(doc, options);
        FUZZ_CHECK(second.error.empty() && second.before == second.after && second.whole == first,
                   what + ": second run");
    }
    return 0;
}
