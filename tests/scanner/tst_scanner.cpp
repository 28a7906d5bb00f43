// The scanner component and its thread on temporary trees: which entries are
// reported with which names, paths, attributes, sizes and times; event order;
// stopping, failures, and destroying the scanner while it scans.

#include "ScanFixture.h"
#include "platform/Paths.h"

#include <QPointer>

#include <memory>
#include <set>
#include <stdexcept>

Q_DECLARE_METATYPE(TFileAttributes)

namespace {

// A mount table of fixed answers: each drive a directory of the test's tree.
class FakeDrives : public TDriveService {
public:
    std::vector<TDriveInfo> drives;
    std::string mountOf;
    std::vector<TDriveInfo> Drives() const override { return drives; }
    std::string MountPointOf(const std::string&) const override { return mountOf; }
};

// Every file time converts to the same local time.
class FixedTime : public TFileTimeService {
public:
    TLocalTime local;
    bool ok = true;
    bool ToLocalTime(const TFileTime&, TLocalTime& out) const override {
        out = local;
        return ok;
    }
};

} // namespace

class tst_Scanner : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void constructedValues();
    void properties();
    void attributeSets_data();
    void attributeSets();
    void directoryNamedLikeAFile_data();
    void directoryNamedLikeAFile();
    void recursion_data();
    void recursion();
    void pathForms_data();
    void pathForms();
    void emptyDirectoryIsCurrentDirectory();
    void emptyOrInvalidFiles_data();
    void emptyOrInvalidFiles();
    void onFileFoundUnset();
    void eventOrderAndCounts();
    void sizeAndTime();
    void fileBefore1980();
    void timeOutsideDosRange();
    void linksAndCycles();
    void nonUtf8Name();
    void stopMidScan();
    void startTwice();
    void handlerExceptionEndsScan_data();
    void handlerExceptionEndsScan();
    void allDrives();
    void allDrivesAfterStop();
    void specifiedDisk();
    void priorities_data();
    void priorities();
    void destroyWhileWorkerWaits();
    void destroyMidScan();
    void destroyFromItsOwnEvent();
    void ownerDestroyed();
    void joinPath_data();
    void joinPath();

private:
    std::unique_ptr<QTemporaryDir> tmp;
    std::string root;
    std::string Under(const std::string& rel) const { return root + "/" + rel; }
    void ManyFiles(const std::string& dir, int n);
};

void tst_Scanner::init() {
    tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp->isValid());
    root = Native(tmp->path());
}

void tst_Scanner::ManyFiles(const std::string& dir, int n) {
    for (int i = 0; i < n; ++i) {
        MakeFile(dir + "/f" + std::to_string(i) + ".htm", "x");
    }
}

void tst_Scanner::constructedValues() {
    TBaseScanner scanner;
    QCOMPARE(scanner.Directory(), std::string("/"));
    QCOMPARE(scanner.Files(), std::string("*"));
    QCOMPARE(scanner.ScanStrategy(), ssGlobal);
    QVERIFY((scanner.ScanDrives() == TScanDrives{sdHard, sdCDROM, sdRAM, sdNetwork}));
    QVERIFY(!scanner.ScanDrives().contains(sdFloppy));
    QVERIFY((scanner.Attributes() == TFileAttributes{faArchive}));
    QCOMPARE(scanner.Attributes().Bits(), std::uint8_t(32));
    QVERIFY(scanner.Recursive());
    QCOMPARE(scanner.Priority(), tpTimeCritical);
    QVERIFY(static_cast<bool>(scanner.OnProcess));
    QVERIFY(static_cast<bool>(scanner.OnFileFound));
    QVERIFY(!scanner.OnProcessDone);
    QVERIFY(!scanner.IsScanning());
    scanner.StopScan(); // no scan: nothing happens
    QVERIFY(!scanner.IsScanning());
}

void tst_Scanner::properties() {
    TBaseScanner scanner;
    const QMetaObject* meta = scanner.metaObject();
    const char* names[] = {"Directory",  "Files",     "ScanStrategy", "ScanDrives",
                           "Attributes", "Recursive", "Priority"};
    int previous = -1;
    for (const char* name : names) {
        const int index = meta->indexOfProperty(name);
        QVERIFY2(index > previous, name); // declared, in this order
        previous = index;
    }
    QVERIFY(scanner.setProperty("Recursive", false));
    QVERIFY(!scanner.Recursive());
    QVERIFY(scanner.setProperty("Directory", QVariant::fromValue(std::string("/srv/web"))));
    QCOMPARE(scanner.Directory(), std::string("/srv/web"));
    QCOMPARE(scanner.property("Files").value<std::string>(), std::string("*"));
    scanner.SetAttributes({faReadOnly, faHidden});
    QCOMPARE(scanner.Attributes().Bits(), std::uint8_t(3));
    scanner.SetScanDrives({sdFloppy});
    QCOMPARE(scanner.ScanDrives().Bits(), std::uint8_t(16));
}

void tst_Scanner::attributeSets_data() {
    QTest::addColumn<TFileAttributes>("attributes");
    QTest::addColumn<QStringList>("expected");
    const QString all = QStringLiteral(".hid.htm .hro.htm a.htm ro.htm sub sub.htm");
    QTest::newRow("[]") << TFileAttributes{} << all.split(QLatin1Char(' '));
    QTest::newRow("[faDirectory]") << TFileAttributes{faDirectory}
                                   << QStringList{QStringLiteral("sub"), QStringLiteral("sub.htm")};
    QTest::newRow("[faArchive]")
        << TFileAttributes{faArchive}
        << QStringLiteral(".hid.htm .hro.htm a.htm ro.htm").split(QLatin1Char(' '));
    QTest::newRow("[faReadOnly, faHidden]")
        << TFileAttributes{faReadOnly, faHidden} << QStringList{QStringLiteral(".hro.htm")};
    QTest::newRow("[faReadOnly]") << TFileAttributes{faReadOnly}
                                  << QStringList{QStringLiteral(".hro.htm"),
                                                 QStringLiteral("ro.htm")};
    QTest::newRow("[faVolumeID]") << TFileAttributes{faVolumeID} << QStringList{};
    QTest::newRow("[faDirectory, faArchive]")
        << TFileAttributes{faDirectory, faArchive} << QStringList{};
}

void tst_Scanner::attributeSets() {
    QFETCH(TFileAttributes, attributes);
    QFETCH(QStringList, expected);
    MakeFile(Under("a.htm"), "abc");
    MakeFile(Under(".hid.htm"));
    MakeFile(Under("ro.htm"));
    MakeFile(Under(".hro.htm"));
    QCOMPARE(::chmod(Under("ro.htm").c_str(), 0444), 0);
    QCOMPARE(::chmod(Under(".hro.htm").c_str(), 0444), 0);
    MakeDir(Under("sub"));
    MakeDir(Under("sub.htm"));
    MakeFile(Under("sub/inner.htm"));

    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.SetAttributes(attributes);
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.FoundNames(), expected);
    const std::map<std::string, std::int32_t> attrs = {{"a.htm", 32},  {".hid.htm", 34},
                                                       {"ro.htm", 33}, {".hro.htm", 35},
                                                       {"sub", 16},    {"sub.htm", 16}};
    for (const ScanEvent& e : scanner.Of(ScanEvent::FileFound)) {
        QCOMPARE(e.attr, attrs.at(e.name));
        QCOMPARE(e.path, root);
    }
}

void tst_Scanner::directoryNamedLikeAFile_data() {
    QTest::addColumn<bool>("recursive");
    QTest::newRow("recursive") << true;
    QTest::newRow("not recursive") << false;
}

void tst_Scanner::directoryNamedLikeAFile() {
    QFETCH(bool, recursive);
    MakeDir(Under("old.htm"));
    MakeFile(Under("old.htm/x.htm"), "12345");
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.SetFiles("*.htm");
    scanner.SetRecursive(recursive);
    QVERIFY(scanner.Run());
    const auto& ev = scanner.events;
    QCOMPARE(ev.front().kind, ScanEvent::Process);
    QCOMPARE(ev[1].kind, ScanEvent::FileFound);
    QCOMPARE(ev[1].name, std::string("old.htm"));
    QVERIFY(ev[1].attr & 16);
    if (recursive) {
        QCOMPARE(ev.size(), std::size_t(5));
        QCOMPARE(ev[2].kind, ScanEvent::Process); // reported, then walked
        QCOMPARE(ev[2].path, root + "/old.htm");
        QCOMPARE(ev[3].name, std::string("x.htm"));
        QCOMPARE(ev[3].path, root + "/old.htm");
        QCOMPARE(ev[3].size, 5);
        QCOMPARE(ev[4].count, 2u);
    } else {
        QCOMPARE(ev.size(), std::size_t(3));
        QCOMPARE(ev[2].kind, ScanEvent::Done);
    }
}

void tst_Scanner::recursion_data() {
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<int>("processes");
    QTest::newRow("recursive") << true
                               << QStringList{QStringLiteral("a.htm"), QStringLiteral("b.htm"),
                                              QStringLiteral("c.htm")}
                               << 4;
    QTest::newRow("not recursive") << false << QStringList{QStringLiteral("a.htm")} << 1;
}

void tst_Scanner::recursion() {
    QFETCH(bool, recursive);
    QFETCH(QStringList, found);
    QFETCH(int, processes);
    MakeFile(Under("a.htm"));
    MakeFile(Under("skip.txt"));
    MakeDir(Under("nomatch"));
    MakeFile(Under("nomatch/b.htm"));
    MakeDir(Under("nomatch/deeper"));
    MakeFile(Under("nomatch/deeper/c.htm"));
    MakeDir(Under("empty"));
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.SetFiles("*.htm");
    scanner.SetRecursive(recursive);
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.FoundNames(), found);
    QCOMPARE(scanner.ProcessPaths().size(), processes);
    if (recursive) {
        QVERIFY(scanner.ProcessPaths().contains(QString::fromStdString(root + "/nomatch/deeper")));
        QVERIFY(scanner.ProcessPaths().contains(QString::fromStdString(root + "/empty")));
    }
}

void tst_Scanner::pathForms_data() {
    QTest::addColumn<bool>("trailingSlash");
    QTest::newRow("with /") << true;
    QTest::newRow("without /") << false;
}

void tst_Scanner::pathForms() {
    QFETCH(bool, trailingSlash);
    MakeFile(Under("top.htm"));
    MakeDir(Under("sub"));
    MakeFile(Under("sub/in.htm"));
    RecordingScanner scanner;
    const std::string start = trailingSlash ? root + "/" : root;
    scanner.SetDirectory(start);
    scanner.SetFiles("*.htm");
    scanner.SetRecursive(true);
    QVERIFY(scanner.Run());
    for (const ScanEvent& e : scanner.Of(ScanEvent::FileFound)) {
        QCOMPARE(e.path, e.name == "top.htm" ? start : root + "/sub");
    }
    QCOMPARE(scanner.ProcessPaths(),
             (QStringList{QString::fromStdString(start), QString::fromStdString(root + "/sub")}));
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(2));
}

void tst_Scanner::emptyDirectoryIsCurrentDirectory() {
    MakeFile(Under("top.htm"));
    MakeDir(Under("sub"));
    MakeFile(Under("sub/in.htm"));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tmp->path()));
    RecordingScanner scanner;
    scanner.SetDirectory("");
    scanner.SetFiles("*.htm");
    scanner.SetRecursive(true);
    const bool ran = scanner.Run();
    QDir::setCurrent(before);
    QVERIFY(ran);
    QCOMPARE(scanner.ProcessPaths(), (QStringList{QString(), QStringLiteral("sub")}));
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(2));
    for (const ScanEvent& e : scanner.Of(ScanEvent::FileFound)) {
        QCOMPARE(e.path, std::string(e.name == "top.htm" ? "" : "sub"));
    }
}

void tst_Scanner::emptyOrInvalidFiles_data() {
    QTest::addColumn<QByteArray>("files");
    QTest::addColumn<int>("processes");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("empty") << QByteArray("") << 2 << QByteArray();
    QTest::newRow(";") << QByteArray(";") << 2 << QByteArray();
    QTest::newRow("spaces") << QByteArray(" ; ") << 2 << QByteArray();
    QTest::newRow("[") << QByteArray("[") << 0 << QByteArray("'[' is an invalid mask at (2)");
    QTest::newRow("*.htm;[a-") << QByteArray("*.htm;[a-") << 0
                               << QByteArray("'[a-' is an invalid mask at (4)");
}

void tst_Scanner::emptyOrInvalidFiles() {
    QFETCH(QByteArray, files);
    QFETCH(int, processes);
    QFETCH(QByteArray, message);
    MakeFile(Under("a.htm"));
    MakeDir(Under("sub"));
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.SetFiles(files.toStdString());
    scanner.SetRecursive(true);
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.ProcessPaths().size(), processes);
    QVERIFY(scanner.Of(ScanEvent::FileFound).empty());
    QCOMPARE(scanner.events.back().kind, ScanEvent::Done);
    QCOMPARE(scanner.events.back().count, 0u);
    QCOMPARE(scanner.events.back().total, 0u);
    QCOMPARE(scanner.status, message.isEmpty() ? 0 : -1);
    if (!message.isEmpty()) {
        QCOMPARE(scanner.current, message.toStdString());
    }
}

void tst_Scanner::onFileFoundUnset() {
    MakeFile(Under("a.htm"), "abc");
    MakeFile(Under("b.htm"), "abc");
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.OnFileFound = nullptr;
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.ProcessPaths().size(), 1);
    QCOMPARE(scanner.events.back().count, 0u);
    QCOMPARE(scanner.events.back().total, 0u);
    // And with OnProcess unset too, only the end event comes.
    scanner.OnProcess = nullptr;
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.events.size(), std::size_t(1));
    QCOMPARE(scanner.events.back().kind, ScanEvent::Done);
}

void tst_Scanner::eventOrderAndCounts() {
    for (const char* d : {"d1", "d1/d2", "d3"}) {
        MakeDir(Under(d));
    }
    for (const char* f : {"a.htm", "d1/b.htm", "d1/c.htm", "d1/d2/e.htm", "d3/f.htm"}) {
        MakeFile(Under(f), std::string(std::strlen(f), 'x'));
    }
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.SetFiles("*.htm");
    scanner.SetRecursive(true);
    QVERIFY(scanner.Run());
    const auto& ev = scanner.events;
    QCOMPARE(ev.front().kind, ScanEvent::Process);
    QCOMPARE(ev.front().path, root);
    std::set<std::string> processed;
    std::uint32_t count = 0;
    std::uint32_t total = 0;
    for (std::size_t i = 0; i < ev.size(); ++i) {
        const ScanEvent& e = ev[i];
        switch (e.kind) {
        case ScanEvent::Process:
            QCOMPARE(e.count, count);
            QCOMPARE(e.total, total);
            QCOMPARE(e.attr, 0); // ACurrentSize + ACurrentPos
            processed.insert(e.path);
            break;
        case ScanEvent::FileFound:
            QVERIFY2(processed.count(e.path) == 1, e.path.c_str()); // its directory came first
            ++count;
            total += static_cast<std::uint32_t>(e.size);
            break;
        case ScanEvent::Done:
            QCOMPARE(i, ev.size() - 1); // last, and once
            QCOMPARE(e.count, count);
            QCOMPARE(e.total, total);
            break;
        }
    }
    QCOMPARE(count, 5u);
    QCOMPARE(total, 5u + 8u + 8u + 11u + 8u);
    QCOMPARE(processed.size(), std::size_t(4));
}

void tst_Scanner::sizeAndTime() {
    MakeFile(Under("a.htm"), std::string(1234, 'z'));
    const std::time_t when = LocalSeconds(2020, 5, 17, 13, 45, 31);
    SetMTime(Under("a.htm"), when);
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    QVERIFY(scanner.Run());
    const auto found = scanner.Of(ScanEvent::FileFound);
    QCOMPARE(found.size(), std::size_t(1));
    QCOMPARE(found[0].size, 1234);
    // Two-second steps: 13:45:31 arrives as 13:45:30.
    const double expected =
        static_cast<double>(DaysSince18991230(2020, 5, 17)) + (13 * 3600 + 45 * 60 + 30) / 86400.0;
    QCOMPARE(found[0].dateTime, expected);
    QCOMPARE(scanner.status, 0);
}

void tst_Scanner::fileBefore1980() {
    ManyFiles(root, 12);
    MakeFile(Under("old.htm"), "old");
    const std::time_t when = LocalSeconds(1979, 6, 15, 10, 20, 30);
    SetMTime(Under("old.htm"), when);
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    QVERIFY(scanner.Run());
    const auto found = scanner.Of(ScanEvent::FileFound);
    QVERIFY(!found.empty());
    // The old file is reported, with its own local time, and nothing after it.
    QCOMPARE(found.back().name, std::string("old.htm"));
    const double expected =
        static_cast<double>(DaysSince18991230(1979, 6, 15)) + (10 * 3600 + 20 * 60 + 30) / 86400.0;
    QCOMPARE(found.back().dateTime, expected);
    QCOMPARE(scanner.status, -1);
    QCOMPARE(scanner.events.back().count, std::uint32_t(found.size()));
}

void tst_Scanner::timeOutsideDosRange() {
    MakeFile(Under("a.htm"));
    MakeFile(Under("b.htm"));
    FixedTime times;
    times.local = {2108, 1, 1, 0, 0, 0};
    RecordingScanner scanner;
    scanner.times = &times;
    scanner.SetDirectory(root);
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(1));
    QCOMPARE(scanner.Of(ScanEvent::FileFound)[0].dateTime, LocalTimeToDateTime(times.local));
    QCOMPARE(scanner.status, -1);
    // A time the platform can't convert to local time: reported with 0, then the end.
    times.ok = false;
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(1));
    QCOMPARE(scanner.Of(ScanEvent::FileFound)[0].dateTime, 0.0);
    // The last representable time passes.
    times.ok = true;
    times.local = {2107, 12, 31, 23, 59, 59};
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(2));
    QCOMPARE(scanner.status, 0);
}

void tst_Scanner::linksAndCycles() {
    MakeFile(Under("a.htm"), "0123456789");
    MakeDir(Under("sub"));
    MakeFile(Under("sub/in.htm"));
    QCOMPARE(::symlink("..", Under("sub/loop").c_str()), 0);
    QCOMPARE(::symlink("../sub", Under("sub/self").c_str()), 0);
    QCOMPARE(::symlink("missing", Under("dangling").c_str()), 0);
    QCOMPARE(::symlink("a.htm", Under("tofile").c_str()), 0);
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.SetRecursive(true);
    QVERIFY(scanner.Run());
    // Linked directories are reported as directories but never entered.
    QCOMPARE(scanner.ProcessPaths(),
             (QStringList{QString::fromStdString(root), QString::fromStdString(root + "/sub")}));
    std::map<std::string, ScanEvent> byName;
    for (const ScanEvent& e : scanner.Of(ScanEvent::FileFound)) {
        QVERIFY2(byName.emplace(e.name, e).second, e.name.c_str());
    }
    QCOMPARE(byName.size(), std::size_t(7));
    QCOMPARE(byName.at("loop").attr, 16);
    QCOMPARE(byName.at("self").attr, 16);
    QCOMPARE(byName.at("dangling").attr, 32);
    QCOMPARE(byName.at("dangling").size, 0);
    QCOMPARE(byName.at("tofile").attr, 32);
    QCOMPARE(byName.at("tofile").size, 10);
    QCOMPARE(scanner.status, 0);
}

void tst_Scanner::nonUtf8Name() {
    const std::string name = "caf\xe9 \xff.htm";
    MakeFile(Under(name), "x");
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.SetFiles("*.HTM");
    QVERIFY(scanner.Run());
    const auto found = scanner.Of(ScanEvent::FileFound);
    ::unlink(Under(name).c_str()); // a name QDir can't spell, so the clean-up can't remove it
    QCOMPARE(found.size(), std::size_t(1));
    QCOMPARE(found[0].name, name);
}

void tst_Scanner::stopMidScan() {
    ManyFiles(root, 40);
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.onEvent = [&](const ScanEvent& e) {
        if (e.kind == ScanEvent::FileFound) {
            scanner.StopScan();
            QVERIFY(scanner.IsScanning());
        }
    };
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(1));
    QCOMPARE(scanner.events.back().kind, ScanEvent::Done);
    QCOMPARE(scanner.events.back().count, 1u);
    QCOMPARE(scanner.events.back().total, 1u);
    QCOMPARE(scanner.status, 0);
}

void tst_Scanner::startTwice() {
    ManyFiles(root, 5);
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.StartScan();
    QVERIFY(scanner.IsScanning());
    TScanThread* first = scanner.thread;
    scanner.SetFiles("nothing");
    scanner.StartScan();
    QCOMPARE(scanner.thread, first);
    QVERIFY(QTest::qWaitFor([&] { return !scanner.IsScanning(); }, 60000));
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(5));
    QCOMPARE(scanner.Of(ScanEvent::Done).size(), std::size_t(1));
    // Calling StartScan from inside the end event is ignored as well.
    int starts = 0;
    scanner.onEvent = [&](const ScanEvent& e) {
        if (e.kind == ScanEvent::Done && starts++ == 0) {
            scanner.StartScan();
        }
    };
    scanner.SetFiles("*");
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.Of(ScanEvent::Done).size(), std::size_t(1));
    QVERIFY(!scanner.IsScanning());
}

void tst_Scanner::handlerExceptionEndsScan_data() {
    QTest::addColumn<bool>("inProcess");
    QTest::newRow("OnFileFound throws") << false;
    QTest::newRow("OnProcess throws") << true;
}

void tst_Scanner::handlerExceptionEndsScan() {
    QFETCH(bool, inProcess);
    ManyFiles(root, 10);
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.onEvent = [&](const ScanEvent& e) {
        if ((e.kind == ScanEvent::Process) == inProcess && e.kind != ScanEvent::Done) {
            throw std::runtime_error("Handler failed");
        }
    };
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(inProcess ? 0 : 1));
    QCOMPARE(scanner.Of(ScanEvent::Done).size(), std::size_t(1));
    QCOMPARE(scanner.events.back().count, inProcess ? 0u : 1u);
    QCOMPARE(scanner.status, -1);
    QCOMPARE(scanner.current, std::string("Handler failed"));
    QVERIFY(QTest::qWaitFor([] { return TScanThread::LiveCount() == 0; }, 60000));
}

void tst_Scanner::allDrives() {
    for (const char* d : {"A", "B", "C", "D", "E", "F"}) {
        MakeDir(Under(d));
        MakeFile(Under(std::string(d) + "/x.htm"));
    }
    FakeDrives drives;
    drives.drives = {{Under("A"), dtFixed},   {Under("B"), dtNoRootDir}, {Under("C"), dtRemote},
                     {Under("D"), dtRAMDisk}, {Under("E"), dtUnknown},   {Under("F"), dtRemovable},
                     {Under("G"), dtCDROM}};
    RecordingScanner scanner;
    scanner.drives = &drives;
    scanner.SetScanStrategy(ssGlobal);
    scanner.SetScanDrives({sdHard, sdRAM, sdCDROM});
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.ProcessPaths(),
             (QStringList{QString::fromStdString(Under("A")), QString::fromStdString(Under("D")),
                          QString::fromStdString(Under("G"))}));
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(2));
    QCOMPARE(scanner.Of(ScanEvent::FileFound)[0].path, Under("A"));
    scanner.SetScanDrives({sdNetwork, sdFloppy});
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.ProcessPaths(),
             (QStringList{QString::fromStdString(Under("C")), QString::fromStdString(Under("F"))}));
}

void tst_Scanner::allDrivesAfterStop() {
    for (const char* d : {"A", "B", "C"}) {
        MakeDir(Under(d));
        ManyFiles(Under(d), 5);
    }
    FakeDrives drives;
    drives.drives = {{Under("A"), dtFixed}, {Under("B"), dtFixed}, {Under("C"), dtFixed}};
    RecordingScanner scanner;
    scanner.drives = &drives;
    scanner.SetScanStrategy(ssGlobal);
    scanner.onEvent = [&](const ScanEvent& e) {
        if (e.kind == ScanEvent::FileFound) {
            scanner.StopScan();
        }
    };
    QVERIFY(scanner.Run());
    // Each remaining drive is still entered, and left at once.
    QCOMPARE(scanner.ProcessPaths().size(), 3);
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(1));
}

void tst_Scanner::specifiedDisk() {
    MakeDir(Under("M"));
    MakeDir(Under("M/deep"));
    MakeFile(Under("M/top.htm"));
    MakeFile(Under("M/deep/in.htm"));
    FakeDrives drives;
    drives.mountOf = Under("M");
    RecordingScanner scanner;
    scanner.drives = &drives;
    scanner.SetScanStrategy(ssSpecifiedDisk);
    scanner.SetDirectory(Under("M/deep"));
    scanner.SetRecursive(true);
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.ProcessPaths(), (QStringList{QString::fromStdString(Under("M")),
                                                  QString::fromStdString(Under("M/deep"))}));
    QCOMPARE(scanner.FoundNames(), (QStringList{QStringLiteral("deep"), QStringLiteral("in.htm"),
                                                QStringLiteral("top.htm")}));
}

void tst_Scanner::priorities_data() {
    QTest::addColumn<int>("priority");
    for (int p = tpIdle; p <= tpTimeCritical; ++p) {
        QTest::addRow("%d", p) << p;
    }
}

void tst_Scanner::priorities() {
    QFETCH(int, priority);
    ManyFiles(root, 3);
    RecordingScanner scanner;
    scanner.SetDirectory(root);
    scanner.SetPriority(static_cast<TThreadPriority>(priority));
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(3));
    const QThread::Priority expected[] = {QThread::IdlePriority,        QThread::LowestPriority,
                                          QThread::LowPriority,         QThread::NormalPriority,
                                          QThread::HighPriority,        QThread::HighestPriority,
                                          QThread::TimeCriticalPriority};
    QCOMPARE(TBaseScanner::ToQtPriority(static_cast<TThreadPriority>(priority)),
             expected[priority]);
}

void tst_Scanner::destroyWhileWorkerWaits() {
    ManyFiles(root, 20);
    auto events = std::make_shared<int>(0);
    auto* scanner = new TBaseScanner;
    scanner->SetScanStrategy(ssSpecifiedDir);
    scanner->SetDirectory(root);
    scanner->SetAttributes({});
    scanner->OnProcess = [events](std::uint32_t, std::uint32_t, const std::string&, std::uint32_t,
                                  std::uint32_t) {
        ++*events;
    };
    scanner->OnFileFound = [events](const std::string&, const std::string&, std::int32_t,
                                    std::int32_t, double) {
        ++*events;
    };
    scanner->OnProcessDone = [events](std::uint32_t, std::uint32_t) {
        ++*events;
    };
    scanner->StartScan();
    // The worker now waits for its first event, which this thread never runs.
    QCOMPARE(TScanThread::LiveCount(), 1);
    QThread::msleep(50); // time to post its first call; this thread doesn't look
    delete scanner;
    QCOMPARE(TScanThread::LiveCount(), 0);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(*events, 0);
}

void tst_Scanner::destroyMidScan() {
    MakeDir(Under("d"));
    ManyFiles(Under("d"), 200);
    auto events = std::make_shared<int>(0);
    auto* scanner = new RecordingScanner;
    scanner->SetDirectory(root);
    scanner->SetRecursive(true);
    scanner->onEvent = [events](const ScanEvent&) {
        ++*events;
    };
    scanner->StartScan();
    QVERIFY(QTest::qWaitFor([&] { return *events >= 20; }, 60000));
    const int seen = *events;
    delete scanner;
    QCOMPARE(TScanThread::LiveCount(), 0);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(*events, seen);
}

void tst_Scanner::destroyFromItsOwnEvent() {
    ManyFiles(root, 30);
    auto events = std::make_shared<int>(0);
    QPointer<RecordingScanner> scanner = new RecordingScanner;
    scanner->SetDirectory(root);
    RecordingScanner* raw = scanner.data();
    scanner->onEvent = [events, raw](const ScanEvent& e) {
        ++*events;
        if (e.kind == ScanEvent::FileFound && *events == 3) {
            delete raw;
        }
    };
    scanner->StartScan();
    QVERIFY(QTest::qWaitFor([&] { return scanner.isNull(); }, 60000));
    // The worker, released, ends and frees itself; no further event arrives.
    QVERIFY(QTest::qWaitFor([] { return TScanThread::LiveCount() == 0; }, 60000));
    QCOMPARE(*events, 3);
}

void tst_Scanner::ownerDestroyed() {
    ManyFiles(root, 50);
    auto* owner = new QObject;
    auto* scanner = new RecordingScanner(owner);
    scanner->SetDirectory(root);
    bool reached = false;
    scanner->onEvent = [&](const ScanEvent& e) {
        if (e.kind == ScanEvent::FileFound) {
            reached = true;
        }
    };
    scanner->StartScan();
    QVERIFY(QTest::qWaitFor([&] { return reached; }, 60000));
    delete owner;
    QCOMPARE(TScanThread::LiveCount(), 0);
}

void tst_Scanner::joinPath_data() {
    QTest::addColumn<QByteArray>("directory");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("joined");
    QTest::newRow("root") << QByteArray("/") << QByteArray("a") << QByteArray("/a");
    QTest::newRow("dir") << QByteArray("/web") << QByteArray("a") << QByteArray("/web/a");
    QTest::newRow("dir/") << QByteArray("/web/") << QByteArray("a") << QByteArray("/web/a");
    QTest::newRow("empty") << QByteArray("") << QByteArray("a") << QByteArray("a");
    QTest::newRow("relative") << QByteArray("sub") << QByteArray("a") << QByteArray("sub/a");
}

void tst_Scanner::joinPath() {
    QFETCH(QByteArray, directory);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, joined);
    QCOMPARE(JoinPath(directory.toStdString(), name.toStdString()), joined.toStdString());
}

QTEST_GUILESS_MAIN(tst_Scanner)
#include "tst_scanner.moc"
