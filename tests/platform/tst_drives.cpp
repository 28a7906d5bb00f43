// Drives: the kind of each mounted file system, the mount that holds a path,
// and path resolution.

#include "platform/CodePage.h"
#include "platform/Drives.h"

#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <set>

namespace {

class FakeTable : public TDriveService {
public:
    std::vector<TMountEntry> table;
    std::set<std::string> removable;

protected:
    std::vector<TMountEntry> MountTable() const override { return table; }
    bool IsRemovableDevice(const std::string& device) const override {
        return removable.count(device) == 1;
    }
};

} // namespace

class tst_Drives : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void driveTypes_data();
    void driveTypes();
    void drivesInMountOrder();
    void mountPointOf_data();
    void mountPointOf();
    void systemMountTable();
    void resolvedPath_data();
    void resolvedPath();
    void leadBytes();
};

void tst_Drives::driveTypes_data() {
    QTest::addColumn<QByteArray>("fsType");
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<bool>("removable");
    QTest::addColumn<int>("type");
    auto row = [](const char* tag, const char* fs, const char* dev, bool rem, int type) {
        QTest::newRow(tag) << QByteArray(fs) << QByteArray(dev) << rem << type;
    };
    row("ext4", "ext4", "/dev/sda1", false, dtFixed);
    row("usb stick", "vfat", "/dev/sdb1", true, dtRemovable);
    row("nfs", "nfs4", "server:/export", false, dtRemote);
    row("cifs", "cifs", "//server/share", false, dtRemote);
    row("sshfs", "fuse.sshfs", "user@host:", false, dtRemote);
    row("cd", "iso9660", "/dev/sr0", false, dtCDROM);
    row("dvd", "udf", "/dev/sr0", true, dtCDROM);
    row("tmpfs", "tmpfs", "tmpfs", false, dtRAMDisk);
    row("ramfs", "ramfs", "ramfs", false, dtRAMDisk);
    row("proc", "proc", "proc", false, dtNoRootDir);
    row("sysfs", "sysfs", "sysfs", false, dtNoRootDir);
    row("cgroup2", "cgroup2", "cgroup2", false, dtNoRootDir);
    row("devpts", "devpts", "devpts", false, dtNoRootDir);
    row("overlay", "overlay", "overlay", false, dtNoRootDir);
    row("zfs dataset", "zfs", "pool/home", false, dtFixed);
    row("unknown", "mystery", "thing", false, dtUnknown);
}

void tst_Drives::driveTypes() {
    QFETCH(QByteArray, fsType);
    QFETCH(QByteArray, device);
    QFETCH(bool, removable);
    QFETCH(int, type);
    QCOMPARE(DriveTypeOf(fsType.toStdString(), device.toStdString(), removable), type);
}

void tst_Drives::drivesInMountOrder() {
    FakeTable fake;
    fake.table = {{"/dev/sda1", "/", "ext4"},
                  {"proc", "/proc", "proc"},
                  {"/dev/sdb1", "/media/stick", "vfat"},
                  {"tmpfs", "/tmp", "tmpfs"},
                  {"srv:/x", "/mnt/x", "nfs"}};
    fake.removable = {"/dev/sdb1"};
    const std::vector<TDriveInfo> drives = fake.Drives();
    QCOMPARE(drives.size(), std::size_t(5));
    const int types[] = {dtFixed, dtNoRootDir, dtRemovable, dtRAMDisk, dtRemote};
    for (std::size_t i = 0; i < drives.size(); ++i) {
        QCOMPARE(drives[i].MountPoint, fake.table[i].MountPoint);
        QCOMPARE(drives[i].Type, types[i]);
    }
}

void tst_Drives::mountPointOf_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("mount");
    QTest::newRow("root") << QByteArray("/") << QByteArray("/");
    QTest::newRow("under root") << QByteArray("/etc/x") << QByteArray("/");
    QTest::newRow("mount point itself") << QByteArray("/srv/web") << QByteArray("/srv/web");
    QTest::newRow("inside mount") << QByteArray("/srv/web/a/b") << QByteArray("/srv/web");
    QTest::newRow("name prefix only") << QByteArray("/srv/webby") << QByteArray("/");
    QTest::newRow("dot dot") << QByteArray("/srv/web/../other") << QByteArray("/");
}

void tst_Drives::mountPointOf() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, mount);
    FakeTable fake;
    fake.table = {{"/dev/sda1", "/", "ext4"}, {"/dev/sdc1", "/srv/web", "ext4"}};
    QCOMPARE(fake.MountPointOf(path.toStdString()), mount.toStdString());
    FakeTable empty;
    QCOMPARE(empty.MountPointOf(path.toStdString()), std::string());
}

void tst_Drives::systemMountTable() {
    // Whatever the machine mounts, "/" holds every absolute path.
    const std::vector<TDriveInfo> drives = SystemDrives().Drives();
    bool hasRoot = false;
    for (const TDriveInfo& d : drives) {
        QVERIFY(d.Type >= dtUnknown && d.Type <= dtRAMDisk);
        hasRoot = hasRoot || d.MountPoint == "/";
    }
    if (!hasRoot) {
        QSKIP("no mount table readable here");
    }
    QTemporaryDir tmp;
    const std::string mount =
        SystemDrives().MountPointOf(QFile::encodeName(tmp.path()).toStdString());
    QVERIFY(!mount.empty());
    QVERIFY(QFile::encodeName(tmp.path()).toStdString().rfind(mount, 0) == 0);
}

void tst_Drives::resolvedPath_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("resolved");
    QTest::newRow("root") << QByteArray("/") << QByteArray("/");
    QTest::newRow("missing, tidied")
        << QByteArray("/no-such-dir-xyz/./a//b/../c") << QByteArray("/no-such-dir-xyz/a/c");
    QTest::newRow("above root") << QByteArray("/../../x-missing") << QByteArray("/x-missing");
}

void tst_Drives::resolvedPath() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, resolved);
    QCOMPARE(ResolvedPath(path.toStdString()), resolved.toStdString());
}

void tst_Drives::leadBytes() {
    QVERIFY(LeadBytesOfCodeSet("UTF-8").none());
    QVERIFY(LeadBytesOfCodeSet("ISO-8859-1").none());
    const TLeadBytes sjis = LeadBytesOfCodeSet("Shift_JIS");
    QVERIFY(sjis.test(0x81) && sjis.test(0x9F) && sjis.test(0xE0) && !sjis.test(0xA0));
    QVERIFY(LeadBytesOfCodeSet("gbk").test(0xFE));
    // The program runs in a UTF-8 locale: no lead bytes.
    setlocale(LC_ALL, "C.UTF-8");
    QVERIFY(PlatformLeadBytes().none());
}

QTEST_GUILESS_MAIN(tst_Drives)
#include "tst_drives.moc"
