// The text core on a ~100 MB web-like text: the user's path through the document
// (read, optimize and refill, measure, write), the optimizer alone, the replacement,
// and plain memchr / memmem passes over the same bytes for comparison.
//
// VX_BENCH_DIR names the folder for the files (default: /dev/shm when present, so
// that the figures are those of the program, not of the disk); VX_BENCH_MB the size.

#include "CorpusGen.h"

#include "platform/FileIO.h"
#include "platform/SafeWrite.h"
#include "text/LineBreaks.h"
#include "text/Optimizer.h"
#include "text/PieceEditor.h"
#include "text/ReplaceText.h"
#include "text/TextDocument.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string BenchDir() {
    if (const char* d = std::getenv("VX_BENCH_DIR"))
        return d;
    struct stat st {};
    return ::stat("/dev/shm", &st) == 0 ? "/dev/shm" : "/tmp";
}

std::size_t BenchBytes() {
    const char* mb = std::getenv("VX_BENCH_MB");
    return (mb != nullptr ? std::strtoul(mb, nullptr, 10) : 100) << 20;
}

struct Corpus {
    std::string text;
    std::string path;
    std::string outPath;
    Corpus() {
        text = GenerateWebCorpus(BenchBytes());
        const std::string dir = BenchDir();
        path = dir + "/vx-bench-corpus-" + std::to_string(::getpid()) + ".htm";
        outPath = dir + "/vx-bench-out-" + std::to_string(::getpid()) + ".htm";
        WriteWholeFile(path, text);
    }
    ~Corpus() {
        ::unlink(path.c_str());
        ::unlink(outPath.c_str());
    }
};

const Corpus& TheCorpus() {
    static const Corpus corpus;
    return corpus;
}

void Bytes(benchmark::State& state, std::size_t perIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(perIteration));
}

// Load File, Optimize File (with refill and both lengths), Save File.
void BM_DocumentPath(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    TextDocument doc;
    std::size_t saved = 0;
    for (auto _ : state) {
        doc.SetCharLimit(TextDocument::FileCharLimit);
        doc.ReadFromFile(c.path);
        const OptimizeRun run = OptimizeDocument(doc);
        saved = run.Saved();
        benchmark::DoNotOptimize(doc.JoinedLength());
        doc.WriteToFile(c.outPath);
    }
    state.counters["saved_MB"] = static_cast<double>(saved) / 1e6;
    Bytes(state, c.text.size());
}
BENCHMARK(BM_DocumentPath)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadFromFile(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    TextDocument doc;
    for (auto _ : state) {
        doc.ReadFromFile(c.path);
        benchmark::DoNotOptimize(doc.WholeText().data());
    }
    Bytes(state, c.text.size());
}
BENCHMARK(BM_ReadFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// OptimizeDocument on a loaded document: measure, optimize every line, refill,
// measure again, look for "<pre>"; with the options given.
void OptimizeLoaded(benchmark::State& state, const OptimizeOptions& options) {
    const Corpus& c = TheCorpus();
    TextDocument doc;
    std::size_t after = 0;
    for (auto _ : state) {
        state.PauseTiming();
        doc.ReadFromFile(c.path);
        state.ResumeTiming();
        const OptimizeRun run = OptimizeDocument(doc, options);
        after = run.lengthAfter;
        benchmark::DoNotOptimize(run);
    }
    state.counters["after_MB"] = static_cast<double>(after) / 1e6;
    Bytes(state, c.text.size());
}

void BM_OptimizeDocument(benchmark::State& state) {
    OptimizeLoaded(state, {});
}
BENCHMARK(BM_OptimizeDocument)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with preformatted blocks kept (the corpus has <pre> blocks over
// several lines and one-line <PRE>x</PRE> elements).
void BM_OptimizeDocumentKeepingBlocks(benchmark::State& state) {
    OptimizeLoaded(state, OptimizeOptions{true});
}
BENCHMARK(BM_OptimizeDocumentKeepingBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

// The piecewise form velocitrix-cli works a file in: the text fed in pieces of the
// size it reads, the output counted and dropped; without and with kept blocks.
void OptimizeInPieces(benchmark::State& state, const OptimizeOptions& options) {
    const Corpus& c = TheCorpus();
    std::size_t after = 0;
    for (auto _ : state) {
        PieceEditor editor([](std::string_view) {}, TextDocument::ReadCharLimit, options);
        const std::string_view text = c.text;
        for (std::size_t at = 0; at < text.size(); at += PieceEditor::BlockBytes)
            editor.Feed(text.substr(at, PieceEditor::BlockBytes));
        after = editor.Finish().after;
    }
    state.counters["after_MB"] = static_cast<double>(after) / 1e6;
    Bytes(state, c.text.size());
}

void BM_PieceEditor(benchmark::State& state) {
    OptimizeInPieces(state, {});
}
BENCHMARK(BM_PieceEditor)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PieceEditorKeepingBlocks(benchmark::State& state) {
    OptimizeInPieces(state, OptimizeOptions{true});
}
BENCHMARK(BM_PieceEditorKeepingBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

// JoinedLength of a text not measured before: one pass counting lines and breaks.
void BM_JoinedLength(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    for (auto _ : state)
        benchmark::DoNotOptimize(MeasureLines(c.text).joinedLength);
    Bytes(state, c.text.size());
}
BENCHMARK(BM_JoinedLength)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteToFile(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    TextDocument doc;
    doc.ReadFromFile(c.path);
    for (auto _ : state)
        doc.WriteToFile(c.outPath);
    Bytes(state, doc.WholeText().size());
}
BENCHMARK(BM_WriteToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: one memchr pass counting LF over the same bytes.
void BM_Memchr(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    for (auto _ : state) {
        std::size_t lines = 0;
        const char* p = c.text.data();
        const char* const end = p + c.text.size();
        while ((p = static_cast<const char*>(
                    std::memchr(p, '\n', static_cast<std::size_t>(end - p))))) {
            ++lines;
            ++p;
        }
        benchmark::DoNotOptimize(lines);
    }
    Bytes(state, c.text.size());
}
BENCHMARK(BM_Memchr)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Memmem(benchmark::State& state, const char* pattern) {
    const Corpus& c = TheCorpus();
    const std::size_t m = std::strlen(pattern);
    std::size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        const char* p = c.text.data();
        const char* const end = p + c.text.size();
        while ((p = static_cast<const char*>(
                    ::memmem(p, static_cast<std::size_t>(end - p), pattern, m)))) {
            ++hits;
            p += m;
        }
        benchmark::DoNotOptimize(hits);
    }
    state.counters["matches"] = static_cast<double>(hits);
    Bytes(state, c.text.size());
}
BENCHMARK_CAPTURE(BM_Memmem, short_link, CorpusLinkPrefix)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Memmem, rare_long, CorpusRareMarker)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ReplaceText(benchmark::State& state, const char* pattern, const char* replacement,
                    bool caseSensitive) {
    const Corpus& c = TheCorpus();
    std::string folded = pattern;
    if (!caseSensitive) // search with a pattern in another case, as a user might type it
        for (char& ch : folded)
            if (ch >= 'a' && ch <= 'z')
                ch = static_cast<char>(ch - 32);
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string result = ReplaceText(c.text, folded, replacement, caseSensitive);
        size = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["result_MB"] = static_cast<double>(size) / 1e6;
    Bytes(state, c.text.size());
}
BENCHMARK_CAPTURE(BM_ReplaceText, sensitive_short, CorpusLinkPrefix, "href=\"/", true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ReplaceText, sensitive_rare_long, CorpusRareMarker, "<!-- -->", true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ReplaceText, insensitive_short, CorpusLinkPrefix, "href=\"/", false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ReplaceText, insensitive_rare_long, CorpusRareMarker, "<!-- -->", false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
