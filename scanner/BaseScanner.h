#pragma once
// The scanner component: finds the directory entries whose names match a mask
// list and whose attributes include a chosen set, in one directory (optionally
// with its subdirectories), on one drive or on every drive of chosen kinds. The
// walk runs on a TScanThread; every event runs on the thread that owns the
// scanner while the worker waits.

#include "scanner/ScanThread.h"
#include "scanner/ScanTypes.h"

#include <QObject>
#include <QPointer>

#include <exception>
#include <functional>
#include <memory>
#include <string>

class THandOver;

class TBaseScanner : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::string Directory READ Directory WRITE SetDirectory)
    Q_PROPERTY(std::string Files READ Files WRITE SetFiles)
    Q_PROPERTY(TScanStrategy ScanStrategy READ ScanStrategy WRITE SetScanStrategy)
    Q_PROPERTY(TScanDrives ScanDrives READ ScanDrives WRITE SetScanDrives)
    Q_PROPERTY(TFileAttributes Attributes READ Attributes WRITE SetAttributes)
    Q_PROPERTY(bool Recursive READ Recursive WRITE SetRecursive)
    Q_PROPERTY(TThreadPriority Priority READ Priority WRITE SetPriority)

public:
    explicit TBaseScanner(QObject* owner = nullptr);
    // A running scan ends promptly: its worker is released and waited for, and
    // no event of it runs any more.
    ~TBaseScanner() override;

    std::string Directory() const { return FDirectory; }
    void SetDirectory(const std::string& value) { FDirectory = value; }
    std::string Files() const { return FFiles; }
    void SetFiles(const std::string& value) { FFiles = value; }
    TScanStrategy ScanStrategy() const { return FScanStrategy; }
    void SetScanStrategy(TScanStrategy value) { FScanStrategy = value; }
    TScanDrives ScanDrives() const { return FScanDrives; }
    void SetScanDrives(TScanDrives value) { FScanDrives = value; }
    TFileAttributes Attributes() const { return FAttributes; }
    void SetAttributes(TFileAttributes value) { FAttributes = value; }
    bool Recursive() const { return FRecursive; }
    void SetRecursive(bool value) { FRecursive = value; }
    TThreadPriority Priority() const { return FPriority; }
    void SetPriority(TThreadPriority value) { FPriority = value; }

    // What the last scan could not list, known from its end event on: folders it
    // could not read, and temporaries of safe writes it left out.
    const std::vector<UnreadFolder>& UnreadFolders() const { return FUnreadFolders; }
    std::size_t LeftoverCount() const { return FLeftoverCount; }

    // The events; "set" means non-empty. The constructor binds OnProcess and
    // OnFileFound to HandleProcess and HandleFileFound.
    TDoProcess OnProcess;
    TDoProcessDone OnProcessDone;
    TDoFileFound OnFileFound;
    // Receives what a failing OnProcessDone threw, once the scanner is idle: the
    // scanner runs inside Qt's event delivery, which no exception may cross, and
    // leaves showing the error to its owner (the window sets its handler guard's).
    // Unset: the error goes to the Qt warning log.
    std::function<void(std::exception_ptr)> OnProcessDoneError;

    // Creates the worker, suspended, from the current property values.
    virtual TScanThread* CreateScanThread();
    virtual void HandleProcess(std::uint32_t ACount, std::uint32_t ASize,
                               const std::string& ACurrent, std::uint32_t ACurrentSize,
                               std::uint32_t ACurrentPos);
    virtual void HandleFileFound(const std::string& AName, const std::string& APath,
                                 std::int32_t AAttr, std::int32_t ASize, double ADateTime);
    // Starts a scan unless one runs; returns at once.
    virtual void StartScan();
    // Asks the running scan to stop; returns at once.
    virtual void StopScan();
    // True from StartScan until the end event has been delivered.
    bool IsScanning() const { return FScanThread != nullptr; }
    // The end handler of the scan thread: OnProcessDone, then the scanner is idle.
    void ScanThreadDone(TScanThread* thread);

    // The platform thread priority of a scanner priority.
    static QThread::Priority ToQtPriority(TThreadPriority priority);

protected:
    bool event(QEvent* event) override;

private:
    std::string FDirectory;
    std::string FFiles;
    TScanStrategy FScanStrategy;
    TScanDrives FScanDrives;
    TFileAttributes FAttributes;
    bool FRecursive;
    TThreadPriority FPriority;

    TScanThread* FScanThread = nullptr;
    std::shared_ptr<THandOver> FHandOver;
    // The last thread started; it may still be finishing after its end handler.
    QPointer<TScanThread> FLastThread;
    std::vector<UnreadFolder> FUnreadFolders;
    std::size_t FLeftoverCount = 0;
};
