// Safe writes under injected failures: a full disk, short writes, failing fsync,
// syncfs and rename, a kill in the middle of a batch, an immutable file, dropped
// capabilities, set-user-ID files and file capabilities. Every case checks the target's bytes and
// metadata before and after. The writes run in a helper process, with a failure injector preloaded
// into it.

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "TestFiles.h"
#include "commands/WriteInOrder.h"
#include "platform/SafeWrite.h"

using namespace std::string_literals;

namespace {

// What a user would notice of a file.
struct FileState {
    std::string bytes;
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    nlink_t links = 0;
    ino_t inode = 0;
    std::string attribute;

    static FileState Of(const std::string& path) {
        FileState f;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return f;
        f.bytes = ReadRaw(path);
        f.mode = st.st_mode;
        f.uid = st.st_uid;
        f.gid = st.st_gid;
        f.links = st.st_nlink;
        f.inode = st.st_ino;
        char value[64] = {};
        const ssize_t n = ::getxattr(path.c_str(), "user.keep", value, sizeof value);
        if (n > 0)
            f.attribute.assign(value, static_cast<std::size_t>(n));
        return f;
    }
    // Everything but the bytes and the inode, which a replacing write changes.
    bool SameMetadata(const FileState& o) const {
        return mode == o.mode && uid == o.uid && gid == o.gid && links == o.links &&
               attribute == o.attribute;
    }
    bool operator==(const FileState& o) const {
        return SameMetadata(o) && bytes == o.bytes && inode == o.inode;
    }
};

struct Outcome {
    int exitCode = -1;
    bool crashed = false;
    std::string message;
};

Outcome RunHelper(const QStringList& args, const QString& fault, const QString& faultDir,
                  const QStringList& prefix = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VX_FAULT_SHIM));
    env.insert(QStringLiteral("VX_FAULT"), fault);
    env.insert(QStringLiteral("VX_FAULT_DIR"), faultDir);
    // The helper may be built with AddressSanitizer, which wants to be loaded first.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               QStringLiteral("verify_asan_link_order=0:detect_leaks=0"));
    p.setProcessEnvironment(env);
    if (prefix.isEmpty()) {
        p.start(QStringLiteral(VX_WRITE_HELPER), args);
    } else {
        QStringList all = prefix.mid(1);
        all << QStringLiteral(VX_WRITE_HELPER) << args;
        p.start(prefix.first(), all);
    }
    Outcome o;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return o;
    }
    o.crashed = p.exitStatus() == QProcess::CrashExit;
    o.exitCode = p.exitCode();
    o.message = p.readAllStandardOutput().toStdString();
    return o;
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool IsHiddenTemporary(const QString& name) {
    return name.startsWith(QLatin1Char('.')) && name.contains(QStringLiteral(".vx-")) &&
           name.endsWith(QStringLiteral(".tmp"));
}

bool Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestSafeWriteFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void singleFile_data();
    void singleFile();
    void batchFailure_data();
    void batchFailure();
    void fullDisk();
    void batchNeedsRoomForFilesInFlightOnly();
    void immutable();
    void droppedCapabilities();
    void specialBits_data();
    void specialBits();
};

void TestSafeWriteFaults::initTestCase() {
    QVERIFY(QFileInfo::exists(QStringLiteral(VX_FAULT_SHIM)));
    QVERIFY(QFileInfo::exists(QStringLiteral(VX_WRITE_HELPER)));
}

void TestSafeWriteFaults::singleFile_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("hardLinked");
    QTest::addColumn<QString>("error"); // empty: the write succeeds
    QTest::newRow("no fault") << QString() << false << QString();
    QTest::newRow("disk full on write")
        << QStringLiteral("write:ENOSPC") << false << QStringLiteral("No space left on device");
    QTest::newRow("write stores nothing")
        << QStringLiteral("write:zero") << false << QStringLiteral("No space left on device");
    QTest::newRow("short writes") << QStringLiteral("write:short") << false << QString();
    QTest::newRow("fsync fails") << QStringLiteral("fsync:EIO") << false
                                 << QStringLiteral("Input/output error");
    QTest::newRow("rename fails") << QStringLiteral("rename:EXDEV") << false
                                  << QStringLiteral("Invalid cross-device link");
    QTest::newRow("quota on write")
        << QStringLiteral("write:EDQUOT") << false << QStringLiteral("Disk quota exceeded");
    QTest::newRow("in place: no room")
        << QStringLiteral("fallocate:ENOSPC") << true << QStringLiteral("No space left on device");
    QTest::newRow("in place: write fails")
        << QStringLiteral("write:EIO") << true << QStringLiteral("Input/output error");
    QTest::newRow("in place: short writes") << QStringLiteral("write:short") << true << QString();
    QTest::newRow("in place: fsync fails")
        << QStringLiteral("fsync:EIO") << true << QStringLiteral("Input/output error");
    // A file system without fallocate: the growth is written first and taken back.
    QTest::newRow("in place: no fallocate, disk full")
        << QStringLiteral("fallocate:EOPNOTSUPP,write:ENOSPC") << true
        << QStringLiteral("No space left on device");
    QTest::newRow("in place: no fallocate")
        << QStringLiteral("fallocate:EOPNOTSUPP") << true << QString();
}

void TestSafeWriteFaults::singleFile() {
    QFETCH(QString, fault);
    QFETCH(bool, hardLinked);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("page.htm")).toStdString();
    WriteRaw(path, "the old content of the page\r\n");
    QVERIFY(::chmod(path.c_str(), 0640) == 0);
    ::setxattr(path.c_str(), "user.keep", "yes", 3, 0); // where the file system takes it
    if (hardLinked)
        QVERIFY(::link(path.c_str(),
                       dir.filePath(QStringLiteral("other.htm")).toLocal8Bit().constData()) == 0);
    const FileState before = FileState::Of(path);
    const QStringList names = Entries(dir.path());

    const std::string content = "the new, longer content of the page\r\n";
    const Outcome o = RunHelper(
        {QStringLiteral("one"), QString::fromStdString(path), QString::fromStdString(content)},
        fault, dir.path());
    QVERIFY(!o.crashed);
    const FileState after = FileState::Of(path);
    if (error.isEmpty()) {
        QCOMPARE(o.exitCode, 0);
        QCOMPARE(after.bytes, content);
        QVERIFY(after.SameMetadata(before));
        if (hardLinked)
            QCOMPARE(after.inode, before.inode);
    } else {
        QCOMPARE(o.exitCode, 1);
        QCOMPARE(o.message, "Cannot create file \"" + path + "\". " + error.toStdString());
        // Also in place, where the old bytes are written back after a failure.
        QVERIFY(after == before);
    }
    QCOMPARE(Entries(dir.path()), names); // no temporary left behind
}

void TestSafeWriteFaults::batchFailure_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("written"); // files 0 .. written-1 new, the rest old
    QTest::addColumn<bool>("killed");
    QTest::addColumn<int>("failing"); // the file named in the message, -1 for none
    QTest::newRow("syncfs fails: per-file fsync")
        << QStringLiteral("syncfs:EIO") << 5 << false << -1;
    QTest::newRow("third rename fails") << QStringLiteral("rename:EIO:3") << 2 << false << 2;
    // The third fsync flushes the folder after the first chunk's renames: the
    // last file put there is reported, the rest untouched.
    QTest::newRow("syncfs and the folder's flush fail")
        << QStringLiteral("syncfs:EIO,fsync:EIO:3") << 2 << false << 1;
    QTest::newRow("disk full at the fourth file")
        << QStringLiteral("write:ENOSPC:4") << 3 << false << 3;
    QTest::newRow("killed before the third rename")
        << QStringLiteral("rename:KILL:3") << 2 << true << -1;
    QTest::newRow("killed writing the fourth file")
        << QStringLiteral("write:KILL:4") << 2 << true << -1;
}

void TestSafeWriteFaults::batchFailure() {
    // Save All's order: the files before the failing one written, the rest untouched.
    QFETCH(QString, fault);
    QFETCH(int, written);
    QFETCH(bool, killed);
    QFETCH(int, failing);
    QTemporaryDir dir;
    const int count = 5;
    std::vector<std::string> paths;
    std::vector<FileState> before;
    QStringList args{QStringLiteral("batch"), QStringLiteral("100000")};
    for (int i = 0; i < count; ++i) {
        paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(paths.back(), std::string(50000 + static_cast<std::size_t>(i), 'o'));
        QVERIFY(::chmod(paths.back().c_str(), 0604) == 0);
        before.push_back(FileState::Of(paths.back()));
        args << QString::fromStdString(paths.back());
    }
    const Outcome o = RunHelper(args, fault, dir.path());
    QCOMPARE(o.crashed, killed);
    if (!killed) {
        QCOMPARE(o.exitCode, failing < 0 ? 0 : 1);
        if (failing >= 0)
            QVERIFY2(o.message.starts_with("Cannot create file \"" +
                                           paths[static_cast<std::size_t>(failing)] + "\". "),
                     o.message.c_str());
    }
    for (int i = 0; i < count; ++i) {
        const FileState now = FileState::Of(paths[static_cast<std::size_t>(i)]);
        if (i < written) {
            QCOMPARE(now.bytes, std::string(100000, static_cast<char>('A' + i)));
            QVERIFY(now.SameMetadata(before[static_cast<std::size_t>(i)]));
        } else {
            QVERIFY2(now == before[static_cast<std::size_t>(i)], qPrintable(QString::number(i)));
        }
    }
    // Only a killed process leaves temporaries, and no file-type mask matches them.
    for (const QString& name : Entries(dir.path())) {
        if (name.startsWith(QLatin1Char('f')))
            continue;
        QVERIFY2(killed && IsHiddenTemporary(name), qPrintable(name));
    }
}

void TestSafeWriteFaults::fullDisk() {
    if (::geteuid() != 0)
        QSKIP("mounting a small tmpfs needs the superuser");
    QTemporaryDir dir;
    const QByteArray mountPoint = dir.path().toLocal8Bit();
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=256k") != 0)
        QSKIP("this machine does not let the test mount a tmpfs");
    auto cleanup = qScopeGuard([&] { ::umount2(mountPoint.constData(), MNT_DETACH); });
    const std::string path = dir.filePath(QStringLiteral("page.htm")).toStdString();
    const std::string linked = dir.filePath(QStringLiteral("link.htm")).toStdString();
    WriteRaw(path, std::string(40000, 'o'));
    // Fill the rest of the disk, leaving less than the new content needs.
    {
        std::ofstream filler(dir.filePath(QStringLiteral("filler")).toStdString(),
                             std::ios::binary);
        const std::string block(4096, 'f');
        for (int i = 0; i < 1000 && filler; ++i)
            filler.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    const FileState before = FileState::Of(path);
    const std::string big(120000, 'n');
    const std::string expected = "Cannot create file \"" + path + "\". No space left on device";
    try {
        WriteWholeFile(path, big);
        QFAIL("the write succeeded on a full disk");
    } catch (const std::runtime_error& e) {
        QCOMPARE(std::string(e.what()), expected);
    }
    QVERIFY(FileState::Of(path) == before);
    QCOMPARE(Entries(dir.path()),
             (QStringList{QStringLiteral("filler"), QStringLiteral("page.htm")}));
    // The same with a second name: written in place, the room is reserved first.
    QVERIFY(::link(path.c_str(), linked.c_str()) == 0);
    const FileState linkedBefore = FileState::Of(path);
    try {
        WriteWholeFile(path, big);
        QFAIL("the write in place succeeded on a full disk");
    } catch (const std::runtime_error& e) {
        QCOMPARE(std::string(e.what()), expected);
    }
    QVERIFY(FileState::Of(path) == linkedBefore);
}

void TestSafeWriteFaults::batchNeedsRoomForFilesInFlightOnly() {
    // 70 files of 1 MiB on a disk with 17 MiB free, each to get smaller, written
    // as Save All writes them (chunks of up to 768 files or 128 MiB).
    if (::geteuid() != 0)
        QSKIP("mounting a small tmpfs needs the superuser");
    QTemporaryDir dir;
    const QByteArray mountPoint = dir.path().toLocal8Bit();
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=90m") != 0)
        QSKIP("this machine does not let the test mount a tmpfs");
    auto cleanup = qScopeGuard([&] { ::umount2(mountPoint.constData(), MNT_DETACH); });
    constexpr std::size_t Files = 70;
    constexpr std::size_t MiB = std::size_t{1} << 20;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < Files; ++i) {
        paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(paths.back(), std::string(MiB, 'o'));
    }
    struct statvfs vfs {};
    QVERIFY(::statvfs(mountPoint.constData(), &vfs) == 0);
    const std::size_t free = static_cast<std::size_t>(vfs.f_bavail) * vfs.f_frsize;
    QVERIFY(free > 17 * MiB);
    WriteRaw(dir.filePath(QStringLiteral("filler")).toStdString(),
             std::string(free - 17 * MiB, 'f'));
    const std::string smaller(MiB - 100 * 1024, 'n');
    WriteFilesInOrder(
        Files, [&](std::size_t i) { return paths[i]; },
        [&](std::size_t) { return std::string_view(smaller); }, 768, 128 * MiB);
    for (const std::string& path : paths)
        QVERIFY2(ReadRaw(path) == smaller, path.c_str());
    QCOMPARE(Entries(dir.path()).size(), qsizetype(Files + 1)); // no temporary left
}

void TestSafeWriteFaults::immutable() {
    const QString chattr = QStandardPaths::findExecutable(QStringLiteral("chattr"));
    if (chattr.isEmpty())
        QSKIP("chattr is not installed");
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("page.htm")).toStdString();
    WriteRaw(path, "old");
    if (!Run(chattr, {QStringLiteral("+i"), QString::fromStdString(path)}))
        QSKIP("the file system or the process cannot make a file immutable");
    auto undo = qScopeGuard([&] {
        Run(chattr, {QStringLiteral("-i"), QString::fromStdString(path)});
    });
    const FileState before = FileState::Of(path);
    try {
        WriteWholeFile(path, "new");
        QFAIL("an immutable file was written");
    } catch (const std::runtime_error& e) {
        QCOMPARE(std::string(e.what()),
                 "Cannot create file \"" + path + "\". Operation not permitted");
    }
    QVERIFY(FileState::Of(path) == before);
    undo.dismiss();
    QVERIFY(Run(chattr, {QStringLiteral("-i"), QString::fromStdString(path)}));

    // An immutable folder takes no new file, but its files can be written: in place.
    QVERIFY(Run(chattr, {QStringLiteral("+i"), dir.path()}));
    auto undoDir = qScopeGuard([&] { Run(chattr, {QStringLiteral("-i"), dir.path()}); });
    WriteWholeFile(path, "new content");
    QCOMPARE(ReadRaw(path), "new content"s);
    QCOMPARE(FileState::Of(path).inode, before.inode);
    QCOMPARE(Entries(dir.path()), QStringList{QStringLiteral("page.htm")});
}

void TestSafeWriteFaults::droppedCapabilities() {
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty() || ::geteuid() != 0)
        QSKIP("needs setpriv and the superuser");
    QTemporaryDir dir;
    const std::string mine = dir.filePath(QStringLiteral("theirs-readonly.htm")).toStdString();
    const std::string open = dir.filePath(QStringLiteral("theirs-open.htm")).toStdString();
    WriteRaw(mine, "old");
    WriteRaw(open, "old");
    QVERIFY(::chown(mine.c_str(), 1234, 1234) == 0 && ::chmod(mine.c_str(), 0644) == 0);
    QVERIFY(::chown(open.c_str(), 1234, 1234) == 0 && ::chmod(open.c_str(), 0666) == 0);
    const QStringList prefix{
        setpriv, QStringLiteral("--bounding-set=-chown,-dac_override,-fowner,-dac_read_search"),
        QStringLiteral("--inh-caps=-all"), QStringLiteral("--")};
    if (!Run(setpriv, {QStringLiteral("--bounding-set=-chown"), QStringLiteral("--"),
                       QStringLiteral("true")}))
        QSKIP("setpriv cannot drop capabilities here");

    // Without the right to override permissions, another user's 0644 file is refused.
    const FileState mineBefore = FileState::Of(mine);
    Outcome o =
        RunHelper({QStringLiteral("one"), QString::fromStdString(mine), QStringLiteral("new")},
                  QString(), QString(), prefix);
    QCOMPARE(o.exitCode, 1);
    QCOMPARE(o.message, "Cannot create file \"" + mine + "\". Permission denied");
    QVERIFY(FileState::Of(mine) == mineBefore);

    // Writable by all, but its owner cannot be given to a new file: written in place.
    const FileState openBefore = FileState::Of(open);
    o = RunHelper({QStringLiteral("one"), QString::fromStdString(open), QStringLiteral("new")},
                  QString(), QString(), prefix);
    QCOMPARE(o.exitCode, 0);
    const FileState openAfter = FileState::Of(open);
    QCOMPARE(openAfter.bytes, "new"s);
    QVERIFY(openAfter.SameMetadata(openBefore));
    QCOMPARE(openAfter.inode, openBefore.inode);
    QCOMPARE(Entries(dir.path()).size(), 2);
}

void TestSafeWriteFaults::specialBits_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("capability"); // cap_net_bind_service in security.capability
    QTest::addColumn<int>("owner");       // the file's; its group is 4321
    QTest::addColumn<int>("writer");      // 1234, a member of group 4321, or the superuser
    QTest::addColumn<bool>("secondName");
    QTest::addColumn<QString>("error"); // empty: written, keeping all
    const QString losesIts = QStringLiteral("It would lose its ");
    QTest::newRow("another's set-user-ID file")
        << 04775 << false << 5000 << 1234 << false << losesIts + QStringLiteral("set-user-ID bit");
    QTest::newRow("another's set-group-ID file")
        << 02775 << false << 5000 << 1234 << false << losesIts + QStringLiteral("set-group-ID bit");
    QTest::newRow("another's file with capabilities")
        << 0775 << true << 5000 << 1234 << false << losesIts + QStringLiteral("capabilities");
    // Written in place, and the bits or the capabilities given back.
    QTest::newRow("own set-user-ID file, two names")
        << 04775 << false << 1234 << 1234 << true << QString();
    QTest::newRow("the superuser, capabilities, two names")
        << 0755 << true << 5000 << 0 << true << QString();
}

void TestSafeWriteFaults::specialBits() {
    QFETCH(int, mode);
    QFETCH(bool, capability);
    QFETCH(int, owner);
    QFETCH(int, writer);
    QFETCH(bool, secondName);
    QFETCH(QString, error);
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty() || ::geteuid() != 0)
        QSKIP("needs setpriv and the superuser");
    QTemporaryDir dir;
    QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0777) == 0);
    const std::string path = dir.filePath(QStringLiteral("tool.cgi")).toStdString();
    WriteRaw(path, "old");
    QVERIFY(::chown(path.c_str(), uid_t(owner), 4321) == 0);
    QVERIFY(::chmod(path.c_str(), mode_t(mode)) == 0);
    // Revision 2, effective; permitted: cap_net_bind_service (10).
    const unsigned char caps[20] = {1, 0, 0, 2, 0, 4};
    if (capability && ::setxattr(path.c_str(), "security.capability", caps, sizeof caps, 0) != 0)
        QSKIP("the file system takes no capabilities");
    if (secondName)
        QVERIFY(::link(path.c_str(), (path + ".link").c_str()) == 0);
    const QStringList names = Entries(dir.path());
    QStringList prefix;
    if (writer != 0)
        prefix = QStringList{setpriv, QStringLiteral("--reuid=%1").arg(writer),
                             QStringLiteral("--regid=%1").arg(writer),
                             QStringLiteral("--groups=4321"), QStringLiteral("--")};
    const Outcome o =
        RunHelper({QStringLiteral("one"), QString::fromStdString(path), QStringLiteral("new")},
                  QString(), QString(), prefix);
    struct stat st {};
    QVERIFY(::stat(path.c_str(), &st) == 0);
    char value[64] = {};
    const ssize_t kept = ::getxattr(path.c_str(), "security.capability", value, sizeof value);
    if (error.isEmpty()) {
        QCOMPARE(o.message, std::string());
        QCOMPARE(ReadRaw(path), "new"s);
    } else {
        QCOMPARE(o.exitCode, 1);
        QCOMPARE(o.message, "Cannot create file \"" + path + "\". " + error.toStdString());
        QCOMPARE(ReadRaw(path), "old"s);
    }
    QCOMPARE(st.st_mode & 07777, mode_t(mode));
    QCOMPARE(kept, capability ? ssize_t(sizeof caps) : ssize_t(-1));
    QCOMPARE(Entries(dir.path()), names);
}

QTEST_GUILESS_MAIN(TestSafeWriteFaults)
#include "tst_safewrite_faults.moc"
