// The directory scan over the benchmark tree (TreeGen.h) with the default type list:
//  - BM_ScanWalk: the walk itself on the calling thread (listing, masks, attributes,
//    the report's size and time), no hand-over;
//  - BM_FindBaseline: find DIR -type f \( -iname '*.htm' -o ... \) on the same tree;
//  - BM_ScanWithHandOver: a real scan, every event handed to this (the owning)
//    thread, a handler that counts; per_event is the time per hand-over event.
// The cache is warm: every benchmark runs once before it is measured.

#include "TreeGen.h"
#include "scanner/FScanner.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct WalkResult {
    std::uint32_t found = 0;
    std::uint32_t directories = 0;
};

WalkResult Walk(const std::string& tree, std::int32_t attributeMask) {
    WalkResult r;
    TScanThread thread(
        true, attributeMask, kDefaultTypes, tree, {}, ssSpecifiedDir,
        [&](const std::string&, const std::string&, std::int32_t, std::int32_t, double) {
            ++r.found;
        },
        [&](std::uint32_t, std::uint32_t, const std::string&, std::uint32_t, std::uint32_t) {
            ++r.directories;
        });
    thread.Execute(); // no hand-over: every call runs here
    return r;
}

void BM_ScanWalk(benchmark::State& state) {
    const std::string tree = BenchTree();
    const auto mask = static_cast<std::int32_t>(state.range(0));
    WalkResult r = Walk(tree, mask);
    for (auto _ : state) {
        r = Walk(tree, mask);
        benchmark::DoNotOptimize(r);
    }
    state.counters["found"] = r.found;
    state.counters["dirs"] = r.directories;
}

int RunFind(const std::string& tree) {
    std::vector<std::string> args = {"find", tree, "-type", "f", "("};
    std::string types = kDefaultTypes;
    std::size_t start = 0;
    bool first = true;
    while (start < types.size()) {
        const std::size_t end = std::min(types.find(';', start), types.size());
        if (!first) {
            args.push_back("-o");
        }
        args.push_back("-iname");
        args.push_back(types.substr(start, end - start));
        first = false;
        start = end + 1;
    }
    args.push_back(")");
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "find", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_FindBaseline(benchmark::State& state) {
    const std::string tree = BenchTree();
    if (RunFind(tree) != 0) {
        state.SkipWithError("find failed");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(RunFind(tree));
    }
}

void BM_ScanWithHandOver(benchmark::State& state) {
    const std::string tree = BenchTree();
    TBaseScanner scanner;
    scanner.SetScanStrategy(ssSpecifiedDir);
    scanner.SetDirectory(tree);
    scanner.SetFiles(kDefaultTypes);
    scanner.SetAttributes({});
    scanner.SetRecursive(true);
    std::uint64_t events = 0;
    scanner.OnProcess = [&](std::uint32_t, std::uint32_t, const std::string&, std::uint32_t,
                            std::uint32_t) {
        ++events;
    };
    scanner.OnFileFound = [&](const std::string&, const std::string&, std::int32_t, std::int32_t,
                              double) {
        ++events;
    };
    QEventLoop loop;
    scanner.OnProcessDone = [&](std::uint32_t, std::uint32_t) {
        ++events;
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
    };
    auto scan = [&] {
        scanner.StartScan();
        loop.exec();
        while (scanner.IsScanning()) {
            QCoreApplication::processEvents();
        }
    };
    scan(); // warm-up
    events = 0;
    for (auto _ : state) {
        scan();
    }
    state.counters["events"] =
        benchmark::Counter(static_cast<double>(events), benchmark::Counter::kAvgIterations);
    state.counters["per_event"] = benchmark::Counter(
        static_cast<double>(events), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_ScanWalk)->Arg(0)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanWithHandOver)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
