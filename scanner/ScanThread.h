#pragma once
// The worker that walks the directories of one scan and reports what it finds
// through synchronous calls into the thread that owns the scanner.

#include "platform/DirList.h"
#include "platform/Drives.h"
#include "platform/FileTime.h"
#include "scanner/DirWalk.h"
#include "scanner/Masks.h"
#include "scanner/ScanTypes.h"

#include <QThread>

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

class THandOver;

class TScanThread : public QThread {
    Q_OBJECT
public:
    // Created suspended: start() runs it. The arguments are copies of the
    // scanner's properties; attributeMask holds the attribute bits to require.
    TScanThread(bool recursive, std::int32_t attributeMask, std::string files,
                std::string directory, TScanDrives drives, TScanStrategy strategy,
                TDoFileFound onFileFound, TDoProcess onProcess);
    ~TScanThread() override;

    // The copies taken at creation.
    TDoFileFound FOnFileFound;
    TDoProcess FOnProcess;
    bool FRecursive;
    TScanStrategy FStrategy;
    TScanDrives FDrives;
    std::string FDirectory;
    std::int32_t FAttributes;
    std::string FFiles;
    // The entry being reported, and the state of the scan.
    TFindData FEntry;
    std::int32_t FStatus = 0;     // 0 while well, -1 after a failure
    std::uint32_t FCount = 0;     // entries reported
    std::uint32_t FTotalSize = 0; // their sizes, modulo 2^32
    std::string FCurrent;         // the directory being walked, or the failure's message

    // Run on the owner's thread once the body has ended (the scanner's ScanThreadDone).
    std::function<void(TScanThread*)> OnTerminate;
    // Frees the thread once it has ended and its end handler has run.
    void SetFreeOnTerminate(bool on);
    bool FreeOnTerminate() const { return freeOnTerminate_; }
    // Deletes the thread on its owner's thread once its body has ended.
    void FreeWhenFinished();
    // The stop request: the walk's stop token, looked at before each directory entry.
    void Terminate() { stop_.request_stop(); }
    bool Terminated() const { return stop_.stop_requested(); }
    // The hand-over into the owner's thread; without one, calls run on the caller.
    void SetHandOver(std::shared_ptr<THandOver> handOver) { handOver_ = std::move(handOver); }

    // Where the drives and the file times come from (tests give fixed answers).
    const TDriveService* DriveService;
    const TFileTimeService* FileTimeService;

    // The body: FStatus := 0, RunScan, and a failure stored in FCurrent/FStatus.
    // Walks on the calling thread when called directly (no hand-over: every call
    // runs there).
    void Execute();
    virtual void RunScan();
    virtual void CallProcess();
    virtual void CallFileFound();
    virtual void ReportFileFound();
    // Runs call on the owner's thread while this thread waits.
    virtual void Synchronize(const std::function<void()>& call);

    void WalkAllDrives(const TCollection& masks);
    // Walks path with the scan's rules (DirWalk.h); nothing once FStatus is not 0.
    void WalkDirectory(const std::string& path, std::int32_t attributeMask,
                       const TCollection& masks);

    // Scan threads alive in the process.
    static int LiveCount();

    // What the last Execute met besides the entries it reported: the folders it
    // could not read (their entries are missing), and the full paths of safe
    // writes' temporaries (TempNames.h), which it neither reports nor enters (a
    // folder named like one is walked as any folder).
    const std::vector<UnreadFolder>& UnreadFolders() const { return unread_; }
    const std::vector<std::string>& Leftovers() const { return leftovers_; }

protected:
    void run() override;

private:
    class Sink;

    void DeleteWhenFinished();
    void WalkMount(const std::string& mountPoint, const TCollection& masks);

    std::vector<UnreadFolder> unread_;
    std::vector<std::string> leftovers_;

    std::stop_source stop_;
    std::shared_ptr<THandOver> handOver_;
    bool freeOnTerminate_ = false;
    bool freeQueued_ = false; // owner's thread only
    bool sameDevice_ = false; // walking one mount: stay on its device
    std::uint64_t device_ = 0;
};
