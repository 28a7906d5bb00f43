// The main window's directory commands on a copy of a benchmark tree (TreeGen.h),
// driven through the real window under the offscreen platform. The last argument
// of the four batch commands is the tree's number of files (10,000, 50,000 or
// 200,000; about 80% of them listed), so their growth shows in the cost per file:
//  - BM_LoadDir/N: "Load Dir" with subdirectories and the default types, from the
//    dialog's confirmation to the end of the scan (every file listed, sorted);
//  - BM_OptimizeDir/K/N, BM_ChangeDir/K/N: the command over every listed file,
//    from the click to its closing message; K 0 reads the files, K 1 works on the
//    texts kept by the previous command;
//  - BM_SaveAll/N: writing every kept text back over its file, click to message.
//    These three count max_gap_ms: the longest the window went without handling
//    an event during the command (over every iteration).
//  Each of them counts files (listed), us_per_file, and the memory of the process
//  during the command: base_MB (resident at its start) and peak_MB (the highest
//  resident size while it ran; the kernel's high-water mark is reset at its
//  start), both the highest over the iterations.
//  - BM_OptimizeDirPre: "Optimize Dir" once every other file of the classic tree's
//    copy holds <pre>, click to its warning shown and painted; show_to_paint_ms is
//    the part from the box's show event to the box answered after its first paint;
//  - BM_LongMessage/N: the warning listing N paths, from the call to the box shown
//    and painted.
// The trees are made once (BenchTree); the copies live at $VX_BENCH_WORK (default
// /tmp/velocitrix-bench-dircommands) followed by "-N", made afresh the first time
// a process uses them, since "Save All" rewrites them. Memory figures are clearest
// with one tree size per process (--benchmark_filter='/10000$' and so on).

#include "TreeGen.h"
#include "app/FileListModel.h"
#include "app/Unit1.h"
#include "settings/FileTypeLists.h"

#include <benchmark/benchmark.h>

#include "app/MessageBoxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string WorkTree(long files) {
    const char* env = std::getenv("VX_BENCH_WORK");
    std::string root = env != nullptr && *env != '\0' ? env : "/tmp/velocitrix-bench-dircommands";
    return files > 0 ? root + "-" + std::to_string(files) : root;
}

// A line "<key>: <n> kB" of /proc/self/status, in MB; 0 when it cannot be read.
double StatusMb(const char* key) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(key) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::strtod(line.c_str() + prefix.size(), nullptr) / 1024.0;
    return 0;
}

// The process's memory while it lives: resident at its start, and the kernel's
// high-water mark of the resident size, reset at its start (clear_refs 5).
class MemoryWatch {
public:
    MemoryWatch() : base_(StatusMb("VmRSS")) { std::ofstream("/proc/self/clear_refs") << "5"; }
    double BaseMb() const { return base_; }
    static double PeakMb() { return StatusMb("VmHWM"); }

private:
    double base_;
};

// The time and the highest base and peak seen over a benchmark's iterations.
struct MemoryFigures {
    double base = 0;
    double peak = 0;
    double seconds = 0;
    int runs = 0;
    template <typename F> double Watch(F&& command) {
        MemoryWatch watch;
        const double s = command();
        base = std::max(base, watch.BaseMb());
        peak = std::max(peak, MemoryWatch::PeakMb());
        seconds += s;
        ++runs;
        return s;
    }
};

void CountPerFile(benchmark::State& state, std::size_t files, const MemoryFigures& memory) {
    state.counters["files"] = static_cast<double>(files);
    state.counters["us_per_file"] =
        files > 0 && memory.runs > 0
            ? 1e6 * memory.seconds / memory.runs / static_cast<double>(files)
            : 0;
    state.counters["base_MB"] = memory.base;
    state.counters["peak_MB"] = memory.peak;
}

// Answers the window's dialogs as they open: a file dialog gets the folder's
// preset name "Directory", a message box its OK. Records when each showed.
class Answerer : public QObject {
public:
    Answerer() {
        timer_.setInterval(1);
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
        qApp->installEventFilter(this);
    }
    std::optional<Clock::time_point> accepted;  // when a file dialog was confirmed
    std::optional<Clock::time_point> shownAt;   // a message box's show event
    std::optional<Clock::time_point> messageAt; // when a message box showed
    QString lastMessage;

    void SetFolder(const std::string& folder) { folder_ = QString::fromStdString(folder); }
    void Reset() {
        accepted.reset();
        shownAt.reset();
        messageAt.reset();
    }

protected:
    // The show event comes before the box lays itself out; the poll that answers
    // it runs after the event loop has painted it.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched) != nullptr)
            shownAt = Clock::now();
        return false;
    }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (handled_ && (modal != handled_ || !handled_->isVisible()))
            handled_.clear(); // the dialog answered last has gone; it may come again
        if (modal == nullptr || !modal->isVisible() || modal == handled_)
            return;
        handled_ = modal;
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            QPointer<QFileDialog> target(dialog);
            QTimer::singleShot(0, this, [this, target] {
                if (!target)
                    return;
                if (auto* name = target->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(folder_ + QStringLiteral("/Directory"));
                accepted = Clock::now();
                static_cast<QDialog*>(target.data())->accept();
            });
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messageAt = Clock::now();
            lastMessage = box->text();
            QPointer<QMessageBox> target(box);
            QTimer::singleShot(0, this, [target] {
                if (target)
                    target->button(QMessageBox::Ok)->click();
            });
        }
    }

    QString folder_;
    QTimer timer_;
    QPointer<QWidget> handled_;
};

// The longest wait between two handled events while it lives: a 10 ms timer
// notes the time since its previous call.
class GapMeter : public QObject {
public:
    GapMeter() {
        timer_.setInterval(10);
        connect(&timer_, &QTimer::timeout, this, [this] { Note(); });
        timer_.start();
    }
    double MaxMs() {
        Note();
        return std::chrono::duration<double, std::milli>(max_).count();
    }

private:
    void Note() {
        const auto now = Clock::now();
        max_ = std::max(max_, now - last_);
        last_ = now;
    }

    QTimer timer_;
    Clock::time_point last_ = Clock::now();
    Clock::duration max_{};
};

// Runs handler() under a GapMeter; raises maxMs to its longest gap.
template <typename F> double Metered(double& maxMs, F&& handler) {
    GapMeter meter;
    const double seconds = handler();
    maxMs = std::max(maxMs, meter.MaxMs());
    return seconds;
}

struct Fixture {
    std::unique_ptr<TForm1> form;
    std::unique_ptr<Answerer> answerer;
    std::string tree;                   // the copy the window works on
    long listed = -1;                   // the tree size whose files are listed
    std::map<long, std::string> copies; // made by this process

    static Fixture& Instance() {
        static Fixture f;
        return f;
    }
    // The window, working on the copy of the tree of the given size (0: the
    // classic tree of about 50,000 files), its files listed.
    static Fixture& Get(long files = 0) {
        Fixture& f = Instance();
        if (!f.form) {
            f.form = std::make_unique<TForm1>();
            Form1 = f.form.get();
            f.answerer = std::make_unique<Answerer>();
            f.form->show();
        }
        auto copy = f.copies.find(files);
        if (copy == f.copies.end()) {
            const std::string work = WorkTree(files);
            std::filesystem::remove_all(work);
            std::filesystem::copy(BenchTree(files), work, std::filesystem::copy_options::recursive);
            copy = f.copies.emplace(files, work).first;
        }
        if (f.listed != files) {
            f.tree = copy->second;
            f.answerer->SetFolder(f.tree);
            f.LoadDir();
            f.listed = files;
        }
        return f;
    }

    // "Load Dir" through the button; returns the seconds from the dialog's
    // confirmation to the end of the scan.
    double LoadDir() {
        FileTypes = kDefaultTypes;
        form->CheckBox1->setChecked(true);
        answerer->Reset();
        form->LoadDir->click();
        while (!form->LoadDir->isEnabled())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto end = Clock::now();
        if (!answerer->accepted)
            return 0;
        return std::chrono::duration<double>(end - *answerer->accepted).count();
    }

    // Runs a handler that ends with one message; returns the seconds to it.
    template <typename F> double UntilMessage(F&& handler) {
        answerer->Reset();
        const auto start = Clock::now();
        handler();
        if (!answerer->messageAt)
            return 0;
        return std::chrono::duration<double>(*answerer->messageAt - start).count();
    }
};

void BM_LoadDir(benchmark::State& state) {
    Fixture& f = Fixture::Get(state.range(0));
    MemoryFigures memory;
    for (auto _ : state)
        state.SetIterationTime(memory.Watch([&] { return f.LoadDir(); }));
    CountPerFile(state, f.form->FileList().Count(), memory);
}

void BM_OptimizeDir(benchmark::State& state) {
    Fixture& f = Fixture::Get(state.range(1));
    const bool kept = state.range(0) != 0;
    if (kept) {
        f.form->Batch().Forget();
        f.UntilMessage([&] { f.form->Button1Click(nullptr); });
    }
    double maxGap = 0;
    MemoryFigures memory;
    for (auto _ : state) {
        state.PauseTiming();
        if (!kept) // the files are read again; otherwise the kept texts stay current
            f.form->Batch().Forget();
        state.ResumeTiming();
        state.SetIterationTime(memory.Watch([&] {
            return Metered(maxGap,
                           [&] { return f.UntilMessage([&] { f.form->OptDirClick(nullptr); }); });
        }));
    }
    CountPerFile(state, f.form->FileList().Count(), memory);
    state.counters["max_gap_ms"] = maxGap;
}

void BM_ChangeDir(benchmark::State& state) {
    Fixture& f = Fixture::Get(state.range(1));
    const bool kept = state.range(0) != 0;
    f.form->Memo2->setPlainText(QStringLiteral("lorem"));
    f.form->Memo3->setPlainText(QStringLiteral("Lorem"));
    f.form->CheckBox2->setChecked(false);
    if (kept) {
        f.form->Batch().Forget();
        f.UntilMessage([&] { f.form->OptDirClick(nullptr); });
    }
    double maxGap = 0;
    MemoryFigures memory;
    for (auto _ : state) {
        state.PauseTiming();
        if (!kept) // the files are read again; otherwise the kept texts stay current
            f.form->Batch().Forget();
        state.ResumeTiming();
        state.SetIterationTime(memory.Watch([&] {
            return Metered(maxGap,
                           [&] { return f.UntilMessage([&] { f.form->Button1Click(nullptr); }); });
        }));
    }
    CountPerFile(state, f.form->FileList().Count(), memory);
    state.counters["max_gap_ms"] = maxGap;
}

void BM_SaveAll(benchmark::State& state) {
    Fixture& f = Fixture::Get(state.range(0));
    double maxGap = 0;
    MemoryFigures memory;
    for (auto _ : state) {
        // Kept texts read afresh (not timed): Save All writes only the files as
        // they were read, and the previous iteration has rewritten them.
        f.form->Batch().Forget();
        f.UntilMessage([&] { f.form->OptDirClick(nullptr); });
        const double seconds = memory.Watch([&] {
            return Metered(maxGap,
                           [&] { return f.UntilMessage([&] { f.form->SaveAllClick(nullptr); }); });
        });
        if (f.answerer->lastMessage != QStringLiteral("All Files have been saved."))
            state.SkipWithError("Save All did not end with its message");
        state.SetIterationTime(seconds);
    }
    CountPerFile(state, f.form->FileList().Count(), memory);
    state.counters["max_gap_ms"] = maxGap;
}

// Appends a <pre> block to every other file of the tree, in path order.
void AddPreToEveryOther(const std::string& tree) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (std::size_t i = 0; i < files.size(); i += 2)
        std::ofstream(files[i], std::ios::app) << "<pre>x</pre>";
}

void BM_OptimizeDirPre(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    static bool prepared = false;
    if (!prepared) {
        AddPreToEveryOther(f.tree);
        f.LoadDir();
        prepared = true;
    }
    double showToPaint = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.form->Batch().Forget();
        state.ResumeTiming();
        state.SetIterationTime(f.UntilMessage([&] { f.form->OptDirClick(nullptr); }));
        if (!f.answerer->lastMessage.startsWith(QStringLiteral("<pre> tags")))
            state.SkipWithError("Optimize Dir did not end with the <pre> warning");
        else if (f.answerer->shownAt)
            showToPaint += std::chrono::duration<double, std::milli>(*f.answerer->messageAt -
                                                                     *f.answerer->shownAt)
                               .count();
    }
    state.counters["files"] = static_cast<double>(f.form->FileList().Count());
    state.counters["show_to_paint_ms"] =
        benchmark::Counter(showToPaint, benchmark::Counter::kAvgIterations);
}

void BM_LongMessage(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    QString text = QStringLiteral("<pre> tags have been detected in the following file(s):");
    for (int i = 0; i < state.range(0); ++i)
        text += QStringLiteral("/home/user/site/section%1/page%2.html, ").arg(i % 97).arg(i);
    text += QStringLiteral("The Velocitrix Website Optimizer could damage text.");
    for (auto _ : state)
        state.SetIterationTime(f.UntilMessage([&] { ShowMessage(text); }));
}

} // namespace

// The tree sizes; one iteration of the largest takes seconds, so the number of
// iterations is left to the library (at least one, half a second in all).
constexpr long kSizes[] = {10000, 50000, 200000};

void Sizes(benchmark::internal::Benchmark* b) {
    for (long n : kSizes)
        b->Arg(n);
}

void KeptAndSizes(benchmark::internal::Benchmark* b) {
    for (long n : kSizes)
        for (long kept : {0L, 1L})
            b->Args({kept, n});
}

BENCHMARK(BM_LoadDir)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_OptimizeDir)->Apply(KeptAndSizes)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_ChangeDir)->Apply(KeptAndSizes)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_SaveAll)->Apply(Sizes)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_OptimizeDirPre)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_LongMessage)
    ->Arg(3000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window reads and writes its settings; keep them away from the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Velocitrix Website Optimizer"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The window goes before the application object does.
    Fixture::Instance().answerer.reset();
    Fixture::Instance().form.reset();
    Form1 = nullptr;
    return 0;
}
