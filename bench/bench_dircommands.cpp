// The main window's directory commands on a copy of the benchmark tree (TreeGen.h),
// driven through the real window under the offscreen platform:
//  - BM_LoadDir: "Load Dir" with subdirectories and the default types, from the
//    dialog's confirmation to the end of the scan (every file listed, sorted);
//  - BM_OptimizeDir / BM_ChangeDir: the command over every listed file, from the
//    click to its closing message; arg 0 reads the files, arg 1 works on the texts
//    kept by the previous command;
//  - BM_SaveAll: writing every kept text back over its file, click to message.
//    These three count max_gap_ms: the longest the window went without handling
//    an event during the command (over every iteration).
//  - BM_OptimizeDirPre: "Optimize Dir" once every other file of the copy holds
//    <pre>, click to its warning shown and painted; show_to_paint_ms is the part
//    from the box's show event to the box answered after its first paint;
//  - BM_LongMessage/N: the warning listing N paths, from the call to the box shown
//    and painted.
// The copy lives at $VX_BENCH_WORK (default /tmp/velocitrix-bench-dircommands) and
// is made afresh at every start, since "Save All" rewrites it.

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
#include <memory>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string WorkTree() {
    const char* env = std::getenv("VX_BENCH_WORK");
    return env != nullptr && *env != '\0' ? env : "/tmp/velocitrix-bench-dircommands";
}

// Answers the window's dialogs as they open: a file dialog gets the folder's
// preset name "Directory", a message box its OK. Records when each showed.
class Answerer : public QObject {
public:
    explicit Answerer(QString folder) : folder_(std::move(folder)) {
        timer_.setInterval(1);
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
        qApp->installEventFilter(this);
    }
    std::optional<Clock::time_point> accepted;  // when a file dialog was confirmed
    std::optional<Clock::time_point> shownAt;   // a message box's show event
    std::optional<Clock::time_point> messageAt; // when a message box showed
    QString lastMessage;

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
    std::string tree;

    static Fixture& Instance() {
        static Fixture f;
        return f;
    }
    static Fixture& Get() {
        Fixture& f = Instance();
        if (!f.form) {
            f.tree = WorkTree();
            std::filesystem::remove_all(f.tree);
            std::filesystem::copy(BenchTree(), f.tree, std::filesystem::copy_options::recursive);
            f.form = std::make_unique<TForm1>();
            Form1 = f.form.get();
            f.answerer = std::make_unique<Answerer>(QString::fromStdString(f.tree));
            f.form->show();
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
    Fixture& f = Fixture::Get();
    for (auto _ : state)
        state.SetIterationTime(f.LoadDir());
    state.counters["files"] = static_cast<double>(f.form->FileList().Count());
}

void BM_OptimizeDir(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    if (f.form->FileList().Count() == 0)
        f.LoadDir();
    const bool kept = state.range(0) != 0;
    if (kept) {
        f.form->Batch().Forget();
        f.UntilMessage([&] { f.form->Button1Click(nullptr); });
    }
    double maxGap = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!kept) // the files are read again; otherwise the kept texts stay current
            f.form->Batch().Forget();
        state.ResumeTiming();
        state.SetIterationTime(
            Metered(maxGap, [&] { return f.UntilMessage([&] { f.form->OptDirClick(nullptr); }); }));
    }
    state.counters["files"] = static_cast<double>(f.form->FileList().Count());
    state.counters["max_gap_ms"] = maxGap;
}

void BM_ChangeDir(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    if (f.form->FileList().Count() == 0)
        f.LoadDir();
    const bool kept = state.range(0) != 0;
    f.form->Memo2->setPlainText(QStringLiteral("lorem"));
    f.form->Memo3->setPlainText(QStringLiteral("Lorem"));
    f.form->CheckBox2->setChecked(false);
    if (kept) {
        f.form->Batch().Forget();
        f.UntilMessage([&] { f.form->OptDirClick(nullptr); });
    }
    double maxGap = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!kept) // the files are read again; otherwise the kept texts stay current
            f.form->Batch().Forget();
        state.ResumeTiming();
        state.SetIterationTime(Metered(
            maxGap, [&] { return f.UntilMessage([&] { f.form->Button1Click(nullptr); }); }));
    }
    state.counters["files"] = static_cast<double>(f.form->FileList().Count());
    state.counters["max_gap_ms"] = maxGap;
}

void BM_SaveAll(benchmark::State& state) {
    Fixture& f = Fixture::Get();
    if (f.form->FileList().Count() == 0)
        f.LoadDir();
    double maxGap = 0;
    for (auto _ : state) {
        // Kept texts read afresh (not timed): Save All writes only the files as
        // they were read, and the previous iteration has rewritten them.
        f.form->Batch().Forget();
        f.UntilMessage([&] { f.form->OptDirClick(nullptr); });
        const double seconds =
            Metered(maxGap, [&] { return f.UntilMessage([&] { f.form->SaveAllClick(nullptr); }); });
        if (f.answerer->lastMessage != QStringLiteral("All Files have been saved."))
            state.SkipWithError("Save All did not end with its message");
        state.SetIterationTime(seconds);
    }
    state.counters["files"] = static_cast<double>(f.form->FileList().Count());
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

BENCHMARK(BM_LoadDir)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_OptimizeDir)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK(BM_ChangeDir)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK(BM_SaveAll)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
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
