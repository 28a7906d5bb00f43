// The scanner under stress: hundreds of scans started, stopped and destroyed at
// random moments (also from inside their own events), several at a time, over a
// directory tree that another thread changes all the while. Every scan that ends
// delivers OnProcessDone exactly once, with the counts of the events delivered
// before it; no event runs after its scanner is destroyed or off the owner's
// thread; every wait is bounded, so a deadlock fails the test; no scan thread is
// left at the end. Run under ThreadSanitizer by the sanitizer job.
//
// VELOCITRIX_STRESS_ITERATIONS sets the number of rounds of each test (default
// 300: a few seconds, about half a minute under ThreadSanitizer).

#include "scanner/FScanner.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bound of every wait: a scan of this small tree takes milliseconds.
constexpr int WaitMs = 30000;

int Iterations() {
    if (const char* s = std::getenv("VELOCITRIX_STRESS_ITERATIONS")) {
        const int n = std::atoi(s);
        if (n > 0)
            return n;
    }
    return 300;
}

void WriteFile(const std::string& path, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return; // its directory has just gone: fine for the churn
    const std::string bytes(size, 'x');
    [[maybe_unused]] const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    ::close(fd);
}

// Runs the event loop until done() holds, at most ms milliseconds. It sleeps
// until an event comes (a timer ticks meanwhile), so each hand-over from a worker
// is run as soon as it is posted.
bool WaitUntil(const std::function<bool()>& done, int ms = WaitMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// Removes a tree bottom-up; entries that vanish meanwhile are no error.
void RemoveTree(const std::string& path) {
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "/" + name;
            struct stat st {};
            if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                RemoveTree(child);
            else
                ::unlink(child.c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(path.c_str());
}

// Another thread that keeps creating, renaming and deleting files and whole
// directories inside the tree being scanned. Plain system calls only.
class Churn {
public:
    explicit Churn(std::string root) : root_(std::move(root)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Churn() { Stop(); }
    void Stop() {
        stop_.store(true);
        if (thread_.joinable())
            thread_.join();
    }
    long Operations() const { return operations_.load(); }

private:
    void Run() {
        std::mt19937 rng(12345);
        std::vector<std::string> dirs{root_, root_ + "/a", root_ + "/b", root_ + "/a/deep"};
        const std::size_t fixedDirs = dirs.size();
        std::vector<std::string> files;
        long serial = 0;
        while (!stop_.load()) {
            const std::string& where = dirs[rng() % dirs.size()];
            switch (rng() % 6) {
            case 0:
            case 1: { // a new file
                const std::string path =
                    where + "/c" + std::to_string(serial++) + (rng() % 2 ? ".htm" : ".txt");
                WriteFile(path, rng() % 300);
                files.push_back(path);
                break;
            }
            case 2: // a file goes
                if (!files.empty()) {
                    const std::size_t i = rng() % files.size();
                    ::unlink(files[i].c_str());
                    files.erase(files.begin() + static_cast<long>(i));
                }
                break;
            case 3: // a file is renamed
                if (!files.empty()) {
                    const std::size_t i = rng() % files.size();
                    const std::string to = where + "/r" + std::to_string(serial++) + ".htm";
                    if (::rename(files[i].c_str(), to.c_str()) == 0)
                        files[i] = to;
                }
                break;
            case 4: { // a new directory with a few files
                const std::string dir = where + "/d" + std::to_string(serial++);
                if (::mkdir(dir.c_str(), 0755) == 0) {
                    for (unsigned k = rng() % 5; k > 0; --k)
                        WriteFile(dir + "/f" + std::to_string(k) + ".htm", k * 7);
                    dirs.push_back(dir);
                }
                break;
            }
            case 5: // a directory made here goes, with what it holds
                if (dirs.size() > fixedDirs) {
                    const std::size_t i = fixedDirs + rng() % (dirs.size() - fixedDirs);
                    const std::string gone = dirs[i];
                    RemoveTree(gone);
                    std::vector<std::string> keptDirs;
                    for (const std::string& d : dirs)
                        if (d != gone && d.rfind(gone + "/", 0) != 0)
                            keptDirs.push_back(d);
                    dirs.swap(keptDirs);
                    std::vector<std::string> keptFiles;
                    for (const std::string& f : files)
                        if (f.rfind(gone + "/", 0) != 0)
                            keptFiles.push_back(f);
                    files.swap(keptFiles);
                }
                break;
            }
            // Keep the tree small, and leave the other threads some processor.
            if (files.size() > 300) {
                ::unlink(files.front().c_str());
                files.erase(files.begin());
            }
            ++operations_;
            if (serial % 16 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }

    std::string root_;
    std::atomic<bool> stop_{false};
    std::atomic<long> operations_{0};
    std::thread thread_;
};

// What one scanner saw; shared with its handlers, so it outlives the scanner.
struct Record {
    int scans = 0;         // scans started
    int done = 0;          // OnProcessDone calls
    int lateEvents = 0;    // events after the scanner was destroyed
    int foreignThread = 0; // events off the owner's thread
    int wrongCounts = 0;   // OnProcessDone counts unlike the events delivered
    int outsideScan = 0;   // events while no scan of this scanner was running
    bool destroyed = false;
    bool running = false;
    std::uint32_t found = 0; // OnFileFound of the current scan
    std::uint32_t size = 0;  // their sizes, modulo 2^32
    int events = 0;          // every event of the current scan
};

} // namespace

class tst_ScanStress : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void startStopRestart();
    void destroyMidScan();
    void destroyFromOwnEvent_data();
    void destroyFromOwnEvent();
    void severalScannersAtOnce();

private:
    // A scanner over the tree whose handlers fill rec; action (may be empty) runs
    // after each event is recorded and may stop or destroy the scanner.
    TBaseScanner* MakeScanner(const std::shared_ptr<Record>& rec);
    void Start(TBaseScanner* scanner, const std::shared_ptr<Record>& rec);
    void Destroy(TBaseScanner* scanner, const std::shared_ptr<Record>& rec);
    static void CheckClean(const Record& rec, const char* where);
    static bool WaitForNoThreads();

    QTemporaryDir tmp_;
    std::string root_;
    std::unique_ptr<Churn> churn_;
    std::mt19937 rng_{2024};
};

void tst_ScanStress::initTestCase() {
    QVERIFY(tmp_.isValid());
    root_ = QFile::encodeName(tmp_.path()).toStdString();
    for (const char* d : {"/a", "/b", "/a/deep"})
        QVERIFY(::mkdir((root_ + d).c_str(), 0755) == 0);
    for (int i = 0; i < 40; ++i) {
        WriteFile(root_ + "/a/s" + std::to_string(i) + ".htm", static_cast<std::size_t>(i));
        WriteFile(root_ + "/b/s" + std::to_string(i) + ".css", static_cast<std::size_t>(i));
        WriteFile(root_ + "/a/deep/s" + std::to_string(i) + ".htm", 1);
    }
    churn_ = std::make_unique<Churn>(root_);
}

void tst_ScanStress::cleanupTestCase() {
    if (churn_) {
        churn_->Stop();
        qInfo("the tree changed %ld times during the tests", churn_->Operations());
        QVERIFY(churn_->Operations() > 0);
    }
    QVERIFY2(WaitForNoThreads(), "scan threads left at the end");
}

TBaseScanner* tst_ScanStress::MakeScanner(const std::shared_ptr<Record>& rec) {
    auto* scanner = new TBaseScanner;
    scanner->SetScanStrategy(ssSpecifiedDir);
    scanner->SetDirectory(root_);
    scanner->SetFiles("*.htm; *.css; d*");
    scanner->SetAttributes({});
    scanner->SetRecursive(true);
    QThread* owner = QThread::currentThread();
    auto seen = [rec, owner] {
        if (rec->destroyed)
            ++rec->lateEvents;
        if (QThread::currentThread() != owner)
            ++rec->foreignThread;
        if (!rec->running)
            ++rec->outsideScan;
        ++rec->events;
    };
    scanner->OnProcess = [seen](std::uint32_t, std::uint32_t, const std::string&, std::uint32_t,
                                std::uint32_t) {
        seen();
    };
    scanner->OnFileFound = [seen, rec](const std::string&, const std::string&, std::int32_t,
                                       std::int32_t size, double) {
        seen();
        ++rec->found;
        rec->size += static_cast<std::uint32_t>(size);
    };
    scanner->OnProcessDone = [seen, rec](std::uint32_t count, std::uint32_t size) {
        seen();
        ++rec->done;
        if (count != rec->found || size != rec->size)
            ++rec->wrongCounts;
        rec->running = false;
    };
    return scanner;
}

void tst_ScanStress::Start(TBaseScanner* scanner, const std::shared_ptr<Record>& rec) {
    if (scanner->IsScanning())
        return;
    rec->running = true;
    rec->found = 0;
    rec->size = 0;
    rec->events = 0;
    ++rec->scans;
    scanner->StartScan();
    QVERIFY(scanner->IsScanning());
}

void tst_ScanStress::Destroy(TBaseScanner* scanner, const std::shared_ptr<Record>& rec) {
    rec->destroyed = true;
    delete scanner;
}

void tst_ScanStress::CheckClean(const Record& rec, const char* where) {
    QVERIFY2(rec.lateEvents == 0, where);
    QVERIFY2(rec.foreignThread == 0, where);
    QVERIFY2(rec.wrongCounts == 0, where);
    QVERIFY2(rec.outsideScan == 0, where);
}

bool tst_ScanStress::WaitForNoThreads() {
    return WaitUntil([] { return TScanThread::LiveCount() == 0; });
}

// One scanner, scan after scan: some run to their end, some are stopped at once,
// some from inside an event, some started again from their own end event (which
// must be ignored) or twice in a row.
void tst_ScanStress::startStopRestart() {
    auto rec = std::make_shared<Record>();
    std::unique_ptr<TBaseScanner> scanner(MakeScanner(rec));
    TBaseScanner* raw = scanner.get();
    int stopAfter = -1;
    bool restartInDone = false;
    const TDoProcessDone done = raw->OnProcessDone;
    raw->OnProcessDone = [&, done](std::uint32_t count, std::uint32_t size) {
        done(count, size);
        if (restartInDone) {
            raw->StartScan(); // still scanning until this returns: ignored
        }
    };
    const TDoFileFound found = raw->OnFileFound;
    raw->OnFileFound = [&, found](const std::string& n, const std::string& p, std::int32_t a,
                                  std::int32_t s, double t) {
        found(n, p, a, s, t);
        if (stopAfter >= 0 && rec->events >= stopAfter)
            raw->StopScan();
    };

    const int rounds = Iterations();
    for (int i = 0; i < rounds; ++i) {
        const unsigned how = rng_() % 5;
        stopAfter = how == 1 ? static_cast<int>(rng_() % 40) : -1;
        restartInDone = how == 3;
        Start(raw, rec);
        if (how == 2)
            raw->StopScan();
        if (how == 4)
            raw->StartScan(); // a second start while scanning changes nothing
        QVERIFY2(WaitUntil([&] { return !raw->IsScanning(); }),
                 qPrintable(QStringLiteral("round %1 (kind %2) did not end").arg(i).arg(how)));
        QCOMPARE(rec->done, rec->scans);
        // Nothing more arrives between scans.
        const int events = rec->events;
        QCoreApplication::processEvents();
        QCOMPARE(rec->events, events);
        CheckClean(*rec, "startStopRestart");
    }
    QCOMPARE(rec->scans, rounds);
    scanner.reset();
    QVERIFY2(WaitForNoThreads(), "scan threads left");
}

// Scanners destroyed while they scan: at once, before their first event has run,
// after a few events, or after a short while. No event runs afterwards.
void tst_ScanStress::destroyMidScan() {
    const int rounds = Iterations();
    int doneBeforeDestroy = 0;
    for (int i = 0; i < rounds; ++i) {
        auto rec = std::make_shared<Record>();
        TBaseScanner* scanner = MakeScanner(rec);
        Start(scanner, rec);
        switch (rng_() % 4) {
        case 0: // at once
            break;
        case 1: // after the worker has had time to post its first call
            QThread::usleep(rng_() % 2000);
            break;
        case 2: { // after some events
            const int wanted = 1 + static_cast<int>(rng_() % 60);
            QVERIFY2(WaitUntil([&] { return rec->events >= wanted || !rec->running; }),
                     "no events");
            break;
        }
        case 3: // a stop first
            QCoreApplication::processEvents();
            scanner->StopScan();
            break;
        }
        const int doneBefore = rec->done;
        Destroy(scanner, rec);
        doneBeforeDestroy += doneBefore;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(rec->done <= 1);
        QCOMPARE(rec->done, doneBefore);
        CheckClean(*rec, "destroyMidScan");
    }
    qInfo("%d of %d scans had ended before their scanner was destroyed", doneBeforeDestroy, rounds);
    QVERIFY2(WaitForNoThreads(), "scan threads left");
}

void tst_ScanStress::destroyFromOwnEvent_data() {
    QTest::addColumn<int>("kind"); // 0 OnProcess, 1 OnFileFound, 2 OnProcessDone
    QTest::newRow("OnProcess") << 0;
    QTest::newRow("OnFileFound") << 1;
    QTest::newRow("OnProcessDone") << 2;
}

// A scanner destroyed by one of its own events, which then still runs to its end.
void tst_ScanStress::destroyFromOwnEvent() {
    QFETCH(int, kind);
    const int rounds = Iterations() / 3 + 1;
    for (int i = 0; i < rounds; ++i) {
        auto rec = std::make_shared<Record>();
        QPointer<TBaseScanner> scanner = MakeScanner(rec);
        TBaseScanner* raw = scanner.data();
        const int at = 1 + static_cast<int>(rng_() % 20);
        int seen = 0;
        auto destroyHere = [&, rec, raw] {
            if (!rec->destroyed && ++seen >= at)
                Destroy(raw, rec);
        };
        if (kind == 0) {
            const TDoProcess process = raw->OnProcess;
            raw->OnProcess = [process, destroyHere](std::uint32_t a, std::uint32_t b,
                                                    const std::string& c, std::uint32_t d,
                                                    std::uint32_t e) {
                process(a, b, c, d, e);
                destroyHere();
            };
        } else if (kind == 1) {
            const TDoFileFound found = raw->OnFileFound;
            raw->OnFileFound = [found, destroyHere](const std::string& n, const std::string& p,
                                                    std::int32_t a, std::int32_t s, double t) {
                found(n, p, a, s, t);
                destroyHere();
            };
        } else {
            seen = at; // the first end event destroys
            const TDoProcessDone done = raw->OnProcessDone;
            raw->OnProcessDone = [done, destroyHere](std::uint32_t c, std::uint32_t s) {
                done(c, s);
                destroyHere();
            };
        }
        Start(raw, rec);
        // Either the event destroys it, or the scan ends first (fewer events than
        // wanted); then it is destroyed here.
        QVERIFY2(WaitUntil([&] { return scanner.isNull() || !rec->running; }),
                 "the scan neither ended nor was destroyed");
        if (!scanner.isNull())
            Destroy(scanner.data(), rec);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(rec->done <= 1);
        CheckClean(*rec, "destroyFromOwnEvent");
    }
    QVERIFY2(WaitForNoThreads(), "scan threads left");
}

// Four scanners at once, each started, stopped, restarted and replaced at random.
void tst_ScanStress::severalScannersAtOnce() {
    constexpr int Count = 4;
    struct Slot {
        std::shared_ptr<Record> rec;
        TBaseScanner* scanner = nullptr;
    };
    Slot slots[Count];
    std::vector<std::shared_ptr<Record>> all;
    for (Slot& s : slots) {
        s.rec = std::make_shared<Record>();
        s.scanner = MakeScanner(s.rec);
        all.push_back(s.rec);
    }
    const int rounds = Iterations();
    QElapsedTimer idle;
    for (int i = 0; i < rounds; ++i) {
        Slot& s = slots[rng_() % Count];
        switch (rng_() % 4) {
        case 0:
            Start(s.scanner, s.rec);
            break;
        case 1:
            s.scanner->StopScan();
            break;
        case 2: // replaced by a new scanner
            Destroy(s.scanner, s.rec);
            s.rec = std::make_shared<Record>();
            s.scanner = MakeScanner(s.rec);
            all.push_back(s.rec);
            Start(s.scanner, s.rec);
            break;
        case 3:
            QTest::qWait(1);
            break;
        }
        QCoreApplication::processEvents();
    }
    // Let the running scans end, then check every scanner that ever lived.
    for (Slot& s : slots) {
        QVERIFY2(WaitUntil([&] { return !s.scanner->IsScanning(); }), "a scan did not end");
        Destroy(s.scanner, s.rec);
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    for (const auto& rec : all) {
        CheckClean(*rec, "severalScannersAtOnce");
        QVERIFY(rec->done <= rec->scans);
        QVERIFY(rec->done >= rec->scans - 1); // only a destroyed scan may miss its end
    }
    QVERIFY2(WaitForNoThreads(), "scan threads left");
}

QTEST_GUILESS_MAIN(tst_ScanStress)
#include "tst_scanstress.moc"
