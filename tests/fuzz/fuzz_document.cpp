// The text document's line splitting: AssignLines, SetWholeText and the file
// reader, checked against plain splitting. Every line the document gives holds
// no CR and no LF, LineCount agrees, WholeText and JoinedText are the lines with
// CR LF after each (JoinedText always, WholeText as the content ends), and a
// character limit cuts AssignLines after the last line that fits; optimizing what
// was read gives the optimized pieces.
//
// Input: a flags byte, a limit byte, then the text. The reader reads one file,
// rewritten for every input, in a directory made at start-up.

#include "FuzzCheck.h"
#include "Reference.h"
#include "platform/FileIO.h"
#include "text/Optimizer.h"
#include "text/TextDocument.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string g_dir;
std::string g_input;  // the file the reader reads
std::string g_output; // the file WriteToFile writes

void RemoveFiles() {
    ::unlink(g_input.c_str());
    ::unlink(g_output.c_str());
    ::rmdir(g_dir.c_str());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror("open");
        std::abort();
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            std::perror("write");
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// The document's lines against the pieces, and JoinedText against them.
void CheckLines(const TextDocument& doc, const std::vector<std::string>& pieces,
                const std::string& what) {
    FUZZ_CHECK(doc.LineCount() == pieces.size(), what + ": " + std::to_string(doc.LineCount()) +
                                                     " lines, expected " +
                                                     std::to_string(pieces.size()));
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string_view line = doc.LineAt(i);
        FUZZ_CHECK(line == pieces[i], what + ": line " + std::to_string(i) + " is " +
                                          fuzzcheck::Quoted(line) + " expected " +
                                          fuzzcheck::Quoted(pieces[i]));
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos, what);
    }
    const std::string joined = reference::JoinWithBreaks(pieces);
    FUZZ_CHECK(doc.JoinedText() == joined, what + ": joined text");
    FUZZ_CHECK(doc.JoinedLength() == joined.size(), what + ": joined length");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_document.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_dir = pattern;
    g_input = g_dir + "/input.htm";
    g_output = g_dir + "/output.htm";
    std::atexit(RemoveFiles);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto flags = in.ConsumeIntegral<std::uint8_t>();
    const auto limitByte = in.ConsumeIntegral<std::uint8_t>();
    const std::string text = in.ConsumeRemainingBytesAsString();
    const std::string shown = fuzzcheck::Quoted(text);
    const std::vector<std::string> pieces = reference::Pieces(text);
    const std::string joined = reference::JoinWithBreaks(pieces);

    // AssignLines: every piece a line with CR LF.
    {
        TextDocument doc;
        doc.SetWholeText("old content\r\n");
        doc.AssignLines(text);
        FUZZ_CHECK(doc.WholeText() == joined, "AssignLines of " + shown);
        CheckLines(doc, pieces, "AssignLines of " + shown);
    }

    // AssignLines under a small character limit: the lines that fit stay.
    if (flags & 1) {
        TextDocument doc;
        doc.SetCharLimit(limitByte);
        std::string fits;
        bool overflow = false;
        for (const std::string& piece : pieces) {
            if (fits.size() + piece.size() + 2 > limitByte) {
                overflow = true;
                break;
            }
            fits += piece + "\r\n";
        }
        std::string error;
        try {
            doc.AssignLines(text);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        const std::string what =
            "AssignLines with limit " + std::to_string(limitByte) + " of " + shown;
        FUZZ_CHECK(error == (overflow ? "RichEdit line insertion error" : ""), what + ": " + error);
        FUZZ_CHECK(doc.WholeText() == fits, what + ": kept " + fuzzcheck::Quoted(doc.WholeText()));
    }

    // SetWholeText keeps the bytes; lone breaks still end lines.
    {
        TextDocument doc;
        doc.SetWholeText(text);
        FUZZ_CHECK(doc.WholeText() == text, "SetWholeText of " + shown);
        CheckLines(doc, pieces, "SetWholeText of " + shown);
        // A line appended after it follows the content's lines.
        if (text.empty() || text.back() == '\n' || text.back() == '\r') {
            doc.AppendLine("tail");
            std::vector<std::string> more = pieces;
            more.push_back("tail");
            CheckLines(doc, more, "AppendLine after SetWholeText of " + shown);
        }
    }

    // The file reader: breaks unified, the same lines.
    {
        WriteFile(g_input, text);
        TextDocument doc;
        doc.SetCharLimit(TextDocument::FileCharLimit);
        doc.ReadFromFile(g_input);
        const std::string unified = reference::UnifyBreaks(text);
        FUZZ_CHECK(doc.WholeText() == unified,
                   "ReadFromFile of " + shown + " gave " + fuzzcheck::Quoted(doc.WholeText()));
        FUZZ_CHECK(doc.CharLimit() == TextDocument::ReadCharLimit, "limit after reading " + shown);
        CheckLines(doc, pieces, "ReadFromFile of " + shown);
        FUZZ_CHECK(ReadWholeFile(g_input) == text, "ReadWholeFile of " + shown);

        // Optimize File on what was read, against the rules on the plain pieces.
        if (flags & 2) {
            TextDocument optimized = doc;
            const std::string expected =
                reference::JoinWithBreaks(reference::OptimizeLines(pieces));
            const OptimizeRun run = OptimizeDocument(optimized);
            const std::string what = "optimizing what was read from " + shown;
            FUZZ_CHECK(optimized.WholeText() == expected,
                       what + " gave " + fuzzcheck::Quoted(optimized.WholeText()));
            FUZZ_CHECK(run.lengthBefore == joined.size(), what + ": length before");
            FUZZ_CHECK(run.lengthAfter == expected.size(), what + ": length after");
            FUZZ_CHECK(run.hasPre == (expected.find("<pre>") != std::string::npos),
                       what + ": <pre> test");
            CheckLines(optimized, reference::OptimizeLines(pieces), what);
        }

        // Now and then the whole round: write the content and read it back.
        if ((flags & 0xF0) == 0xF0) {
            doc.WriteToFile(g_output);
            FUZZ_CHECK(ReadWholeFile(g_output) == unified, "WriteToFile of " + shown);
        }
    }
    return 0;
}
