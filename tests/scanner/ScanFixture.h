#pragma once
// Helpers of the scanner tests: a scanner that records its events, and small
// builders for temporary directory trees.

#include "scanner/FScanner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

struct ScanEvent {
    enum Kind { Process, FileFound, Done } kind = Process;
    std::string name;
    std::string path; // APath, or ACurrent of a Process event
    std::int32_t attr = 0;
    std::int32_t size = 0;
    double dateTime = 0;
    std::uint32_t count = 0;
    std::uint32_t total = 0;
};

// Records every event through the overridable handlers; reads the thread's
// status and message at the end event.
class RecordingScanner : public TBaseScanner {
public:
    explicit RecordingScanner(QObject* owner = nullptr) : TBaseScanner(owner) {
        SetScanStrategy(ssSpecifiedDir);
        SetAttributes({});
        SetRecursive(false);
        OnProcessDone = [this](std::uint32_t count, std::uint32_t total) {
            ScanEvent e;
            e.kind = ScanEvent::Done;
            e.count = count;
            e.total = total;
            events.push_back(e);
            if (thread != nullptr) {
                status = thread->FStatus;
                current = thread->FCurrent;
            }
            if (onEvent) {
                onEvent(events.back());
            }
        };
    }

    void HandleProcess(std::uint32_t count, std::uint32_t total, const std::string& current,
                       std::uint32_t currentSize, std::uint32_t currentPos) override {
        ScanEvent e;
        e.kind = ScanEvent::Process;
        e.path = current;
        e.count = count;
        e.total = total;
        e.attr = static_cast<std::int32_t>(currentSize + currentPos);
        events.push_back(e);
        if (onEvent) {
            onEvent(events.back());
        }
    }
    void HandleFileFound(const std::string& name, const std::string& path, std::int32_t attr,
                         std::int32_t size, double dateTime) override {
        ScanEvent e;
        e.kind = ScanEvent::FileFound;
        e.name = name;
        e.path = path;
        e.attr = attr;
        e.size = size;
        e.dateTime = dateTime;
        events.push_back(e);
        if (onEvent) {
            onEvent(events.back());
        }
    }
    TScanThread* CreateScanThread() override {
        TScanThread* t = TBaseScanner::CreateScanThread();
        if (drives != nullptr) {
            t->DriveService = drives;
        }
        if (times != nullptr) {
            t->FileTimeService = times;
        }
        thread = t;
        return t;
    }

    // Starts a scan and lets the event loop run until it has ended.
    bool Run() {
        events.clear();
        StartScan();
        return QTest::qWaitFor([this] { return !IsScanning(); }, 60000);
    }

    std::vector<ScanEvent> Of(ScanEvent::Kind kind) const {
        std::vector<ScanEvent> out;
        for (const ScanEvent& e : events) {
            if (e.kind == kind) {
                out.push_back(e);
            }
        }
        return out;
    }
    QStringList FoundNames() const {
        QStringList names;
        for (const ScanEvent& e : Of(ScanEvent::FileFound)) {
            names << QString::fromStdString(e.name);
        }
        names.sort();
        return names;
    }
    QStringList ProcessPaths() const {
        QStringList paths;
        for (const ScanEvent& e : Of(ScanEvent::Process)) {
            paths << QString::fromStdString(e.path);
        }
        return paths;
    }

    std::vector<ScanEvent> events;
    std::function<void(const ScanEvent&)> onEvent;
    const TDriveService* drives = nullptr;
    const TFileTimeService* times = nullptr;
    TScanThread* thread = nullptr; // valid until the end event has run
    std::int32_t status = 0;
    std::string current;
};

inline std::string Native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

inline void MakeFile(const std::string& path, const std::string& content = std::string()) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QVERIFY2(fd >= 0, path.c_str());
    if (!content.empty()) {
        QCOMPARE(::write(fd, content.data(), content.size()), ssize_t(content.size()));
    }
    ::close(fd);
}

inline void MakeDir(const std::string& path) {
    QVERIFY2(::mkdir(path.c_str(), 0755) == 0, path.c_str());
}

inline void SetMTime(const std::string& path, std::time_t seconds) {
    timespec times[2];
    times[0].tv_sec = seconds;
    times[0].tv_nsec = 0;
    times[1].tv_sec = seconds;
    times[1].tv_nsec = 0;
    QVERIFY2(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0, path.c_str());
}

// Seconds since the epoch of a local date and time.
inline std::time_t LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}
