#include "scanner/BaseScanner.h"

#include "scanner/HandOver.h"

#include <QtGlobal>

namespace {

void WarnUnhandled(const std::exception_ptr& failure) noexcept {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        qWarning("The scan's end event failed: %s", e.what());
    } catch (...) {
        qWarning("The scan's end event failed");
    }
}

} // namespace

TBaseScanner::TBaseScanner(QObject* owner)
    : QObject(owner), FDirectory("/"), FFiles("*"), FScanStrategy(ssGlobal),
      FScanDrives{sdHard, sdCDROM, sdRAM, sdNetwork}, FAttributes{faArchive}, FRecursive(true),
      FPriority(tpTimeCritical) {
    OnProcess = [this](std::uint32_t count, std::uint32_t size, const std::string& current,
                       std::uint32_t currentSize, std::uint32_t currentPos) {
        HandleProcess(count, size, current, currentSize, currentPos);
    };
    OnFileFound = [this](const std::string& name, const std::string& path, std::int32_t attr,
                         std::int32_t size, double dateTime) {
        HandleFileFound(name, path, attr, size, dateTime);
    };
}

TBaseScanner::~TBaseScanner() {
    if (FScanThread != nullptr) {
        FScanThread->Terminate();
        FScanThread = nullptr;
    }
    if (FHandOver) {
        FHandOver->Cancel();
        if (FHandOver->Running() && FLastThread) {
            // Destroyed by one of the scan's own events: the worker waits for that
            // call, further up this stack. Once released it ends; it is freed later.
            FLastThread->FreeWhenFinished();
            return;
        }
    }
    if (FLastThread) {
        // Released by the cancellation (or past its last call): it can't block now.
        FLastThread->wait();
        delete FLastThread.data();
    }
}

QThread::Priority TBaseScanner::ToQtPriority(TThreadPriority priority) {
    switch (priority) {
    case tpIdle:
        return QThread::IdlePriority;
    case tpLowest:
        return QThread::LowestPriority;
    case tpLower:
        return QThread::LowPriority;
    case tpNormal:
        return QThread::NormalPriority;
    case tpHigher:
        return QThread::HighPriority;
    case tpHighest:
        return QThread::HighestPriority;
    case tpTimeCritical:
        return QThread::TimeCriticalPriority;
    }
    return QThread::NormalPriority;
}

TScanThread* TBaseScanner::CreateScanThread() {
    return new TScanThread(FRecursive, FAttributes.Bits(), FFiles, FDirectory, FScanDrives,
                           FScanStrategy, OnFileFound, OnProcess);
}

void TBaseScanner::HandleProcess(std::uint32_t, std::uint32_t, const std::string&, std::uint32_t,
                                 std::uint32_t) {}

void TBaseScanner::HandleFileFound(const std::string&, const std::string&, std::int32_t,
                                   std::int32_t, double) {}

void TBaseScanner::StartScan() {
    if (FScanThread != nullptr) {
        return;
    }
    TScanThread* thread = CreateScanThread();
    if (thread == nullptr) {
        return;
    }
    FScanThread = thread;
    FLastThread = thread;
    FUnreadFolders.clear();
    FLeftoverCount = 0;
    FHandOver = std::make_shared<THandOver>(this);
    thread->SetHandOver(FHandOver);
    thread->OnTerminate = [this](TScanThread* t) {
        ScanThreadDone(t);
    };
    thread->SetFreeOnTerminate(true);
    thread->start(ToQtPriority(FPriority));
    if (!thread->isRunning() && !thread->isFinished()) {
        // The system refused to create the thread: the scan ends before it began.
        FLastThread = nullptr;
        ScanThreadDone(thread);
        delete thread;
    }
}

void TBaseScanner::StopScan() {
    if (IsScanning()) {
        FScanThread->Terminate();
    }
}

void TBaseScanner::ScanThreadDone(TScanThread* thread) {
    QPointer<TBaseScanner> self(this);
    std::exception_ptr failure;
    // Copied first: the end event may destroy the scanner.
    const std::function<void(std::exception_ptr)> onError = OnProcessDoneError;
    FUnreadFolders = thread->UnreadFolders();
    FLeftoverCount = thread->Leftovers().size();
    if (OnProcessDone) {
        const TDoProcessDone handler = OnProcessDone;
        try {
            handler(thread->FCount, thread->FTotalSize);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // Idle before the error is handed on: its handler may show a box and run
    // events meanwhile.
    if (self && FScanThread == thread) {
        FScanThread = nullptr;
    }
    if (!failure) {
        return;
    }
    if (onError) {
        onError(failure);
    } else {
        WarnUnhandled(failure);
    }
}

bool TBaseScanner::event(QEvent* event) {
    if (THandOver::Deliver(event)) {
        return true;
    }
    return QObject::event(event);
}
