// Safe writes: whole old or whole new, with the file's permissions, owner, group,
// extended attributes, symbolic links and hard links kept.

#include "TestFiles.h"
#include "commands/WriteInOrder.h"
#include "platform/SafeWrite.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

using namespace std::string_literals;

namespace {

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// Every name in the folder, hidden ones included: nothing may be left behind.
QStringList Entries(const QTemporaryDir& dir) {
    return QDir(dir.path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                   QDir::Name);
}

class Umask {
public:
    explicit Umask(mode_t m) : old_(::umask(m)) {}
    ~Umask() { ::umask(old_); }

private:
    mode_t old_;
};

} // namespace

class TestSafeWrite : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newFile_data();
    void newFile();
    void replacesContent_data();
    void replacesContent();
    void keepsModeBits_data();
    void keepsModeBits();
    void keepsOwnerAndGroup();
    void keepsExtendedAttributes();
    void keepsAcl();
    void symlinkStays();
    void symlinkChainAndDangling();
    void hardLinkStaysOneFile();
    void readOnlyRefused_data();
    void readOnlyRefused();
    void notRegularRefused_data();
    void notRegularRefused();
    void missingFolder();
    void temporaryName();
    void discardLeavesNoTrace();
    void batchCommitsInOrder();
    void batchPartialFailure();
    void inOrderStopsAtFailingFile();
    void inOrderContentFailure();
    void directoryNotWritable();
    void batchAcrossFoldersKeepsEachFilesOwnState();
    void batchNeverWritesIntoAnOpenOldFile();
    void batchGivesNoFileAnotherFilesAttributes();
    void batchNeverReusesAReplacedFile_data();
    void batchNeverReusesAReplacedFile();
    void batchLeavesAFolderThatTookTheFilesPlace();
    void batchHandsReplacedFilesOver();
};

void TestSafeWrite::newFile_data() {
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("mode");
    QTest::newRow("022") << 022 << 0644;
    QTest::newRow("027") << 027 << 0640;
    QTest::newRow("077") << 077 << 0600;
}

void TestSafeWrite::newFile() {
    QFETCH(int, mask);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("new.htm")).toStdString();
    {
        Umask u(static_cast<mode_t>(mask));
        WriteWholeFile(path, "fresh\r\n");
    }
    QCOMPARE(ReadRaw(path), "fresh\r\n"s);
    QCOMPARE(static_cast<int>(StatOf(path).st_mode & 07777), mode);
    QCOMPARE(Entries(dir), QStringList{QStringLiteral("new.htm")});
}

void TestSafeWrite::replacesContent_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("shorter") << QByteArray("a long old text") << QByteArray("new");
    QTest::newRow("longer") << QByteArray("old") << QByteArray("a much longer new text");
    QTest::newRow("empty") << QByteArray("old") << QByteArray();
    QTest::newRow("NUL bytes") << QByteArray("x") << QByteArray("\0a\0", 3);
    QTest::newRow("large") << QByteArray("x") << QByteArray(5 * 1024 * 1024, 'q');
}

void TestSafeWrite::replacesContent() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("f.htm")).toStdString();
    WriteRaw(path, before.toStdString());
    const std::string data(after.constData(), static_cast<std::size_t>(after.size()));
    WriteWholeFile(path, data);
    QCOMPARE(ReadRaw(path), data);
    QCOMPARE(Entries(dir), QStringList{QStringLiteral("f.htm")});
}

void TestSafeWrite::keepsModeBits_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("0600") << 0600;
    QTest::newRow("0640") << 0640;
    QTest::newRow("0755") << 0755;
    QTest::newRow("0602") << 0602;
    QTest::newRow("0200") << 0200;
    QTest::newRow("setuid 04755") << 04755;
    QTest::newRow("setgid 02775") << 02775;
    QTest::newRow("sticky 01644") << 01644;
}

void TestSafeWrite::keepsModeBits() {
    QFETCH(int, mode);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("f.php")).toStdString();
    WriteRaw(path, "old");
    QVERIFY(::chmod(path.c_str(), static_cast<mode_t>(mode)) == 0);
    const int before = static_cast<int>(StatOf(path).st_mode & 07777);
    if (before != mode)
        QSKIP("the file system does not keep these bits");
    WriteWholeFile(path, "new");
    QCOMPARE(ReadRaw(path), "new"s);
    QCOMPARE(static_cast<int>(StatOf(path).st_mode & 07777), mode);
}

void TestSafeWrite::keepsOwnerAndGroup() {
    if (::geteuid() != 0)
        QSKIP("changing a file's owner needs the superuser");
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("f.css")).toStdString();
    WriteRaw(path, "old");
    QVERIFY(::chown(path.c_str(), 1234, 5678) == 0);
    QVERIFY(::chmod(path.c_str(), 0664) == 0);
    WriteWholeFile(path, "new");
    const struct stat st = StatOf(path);
    QCOMPARE(st.st_uid, uid_t{1234});
    QCOMPARE(st.st_gid, gid_t{5678});
    QCOMPARE(static_cast<int>(st.st_mode & 07777), 0664);
}

void TestSafeWrite::keepsExtendedAttributes() {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("f.htm")).toStdString();
    WriteRaw(path, "old");
    const std::string value = "some \0value"s;
    if (::setxattr(path.c_str(), "user.velocitrix.test", value.data(), value.size(), 0) != 0)
        QSKIP("the file system takes no user extended attributes");
    QVERIFY(::setxattr(path.c_str(), "user.second", "2", 1, 0) == 0);
    WriteWholeFile(path, "new");
    char buffer[64] = {};
    const ssize_t n = ::getxattr(path.c_str(), "user.velocitrix.test", buffer, sizeof buffer);
    QCOMPARE(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), value);
    QCOMPARE(::getxattr(path.c_str(), "user.second", buffer, sizeof buffer), ssize_t{1});
    QCOMPARE(ReadRaw(path), "new"s);
}

void TestSafeWrite::keepsAcl() {
    const QString setfacl = QStandardPaths::findExecutable(QStringLiteral("setfacl"));
    if (setfacl.isEmpty())
        QSKIP("setfacl is not installed");
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("f.htm")).toStdString();
    WriteRaw(path, "old");
    if (QProcess::execute(setfacl, {QStringLiteral("-m"), QStringLiteral("u:4321:rw"),
                                    QString::fromStdString(path)}) != 0)
        QSKIP("the file system takes no ACL");
    char before[256] = {};
    const ssize_t n = ::getxattr(path.c_str(), "system.posix_acl_access", before, sizeof before);
    QVERIFY(n > 0);
    const mode_t mode = StatOf(path).st_mode & 07777;
    WriteWholeFile(path, "new");
    char after[256] = {};
    QCOMPARE(::getxattr(path.c_str(), "system.posix_acl_access", after, sizeof after), n);
    QCOMPARE(std::string(after, static_cast<std::size_t>(n)),
             std::string(before, static_cast<std::size_t>(n)));
    QCOMPARE(StatOf(path).st_mode & 07777, mode);
}

void TestSafeWrite::symlinkStays() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
    const std::string target = dir.filePath(QStringLiteral("real/page.htm")).toStdString();
    const std::string link = dir.filePath(QStringLiteral("page.htm")).toStdString();
    WriteRaw(target, "old");
    QVERIFY(::symlink("real/page.htm", link.c_str()) == 0);
    WriteWholeFile(link, "new");
    QVERIFY(S_ISLNK(StatOf(link).st_mode));
    QCOMPARE(ReadRaw(target), "new"s);
    QCOMPARE(Entries(dir), (QStringList{QStringLiteral("page.htm"), QStringLiteral("real")}));
    QCOMPARE(QDir(dir.filePath(QStringLiteral("real")))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("page.htm")});
}

void TestSafeWrite::symlinkChainAndDangling() {
    QTemporaryDir dir;
    const std::string a = dir.filePath(QStringLiteral("a")).toStdString();
    const std::string b = dir.filePath(QStringLiteral("b")).toStdString();
    const std::string c = dir.filePath(QStringLiteral("c")).toStdString();
    QVERIFY(::symlink("b", a.c_str()) == 0);
    QVERIFY(::symlink(c.c_str(), b.c_str()) == 0); // dangling: c does not exist
    WriteWholeFile(a, "made");
    QCOMPARE(ReadRaw(c), "made"s);
    QVERIFY(S_ISLNK(StatOf(a).st_mode));
    QVERIFY(S_ISLNK(StatOf(b).st_mode));
    const std::string loop = dir.filePath(QStringLiteral("loop")).toStdString();
    QVERIFY(::symlink("loop", loop.c_str()) == 0);
    QCOMPARE(ErrorOf([&] { WriteWholeFile(loop, "x"); }),
             "Cannot create file \"" + loop + "\". Too many levels of symbolic links");
}

void TestSafeWrite::hardLinkStaysOneFile() {
    QTemporaryDir dir;
    const std::string a = dir.filePath(QStringLiteral("a.htm")).toStdString();
    const std::string b = dir.filePath(QStringLiteral("b.htm")).toStdString();
    WriteRaw(a, "a rather long old content");
    QVERIFY(::link(a.c_str(), b.c_str()) == 0);
    const ino_t inode = StatOf(a).st_ino;
    WriteWholeFile(b, "short");
    QCOMPARE(ReadRaw(a), "short"s);
    QCOMPARE(StatOf(a).st_ino, inode);
    QCOMPARE(StatOf(b).st_ino, inode);
    QCOMPARE(StatOf(a).st_nlink, nlink_t{2});
    WriteWholeFile(a, "longer than before, longer still");
    QCOMPARE(ReadRaw(b), "longer than before, longer still"s);
    QCOMPARE(Entries(dir), (QStringList{QStringLiteral("a.htm"), QStringLiteral("b.htm")}));
}

void TestSafeWrite::readOnlyRefused_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("0444") << 0444;
    QTest::newRow("0555") << 0555;
    QTest::newRow("0000") << 0000;
}

void TestSafeWrite::readOnlyRefused() {
    // Also for the superuser: a read-only file is not overwritten.
    QFETCH(int, mode);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("ro.htm")).toStdString();
    WriteRaw(path, "old");
    QVERIFY(::chmod(path.c_str(), static_cast<mode_t>(mode)) == 0);
    QCOMPARE(ErrorOf([&] { WriteWholeFile(path, "new"); }),
             "Cannot create file \"" + path + "\". Permission denied");
    QCOMPARE(ReadRaw(path), "old"s);
    QCOMPARE(static_cast<int>(StatOf(path).st_mode & 07777), mode);
    QCOMPARE(Entries(dir), QStringList{QStringLiteral("ro.htm")});
}

void TestSafeWrite::notRegularRefused_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("directory") << QStringLiteral("dir") << QStringLiteral("Is a directory");
    QTest::newRow("fifo") << QStringLiteral("fifo") << QStringLiteral("Invalid argument");
    QTest::newRow("device") << QStringLiteral("dev") << QStringLiteral("Invalid argument");
}

void TestSafeWrite::notRegularRefused() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("x.htm")).toStdString();
    if (kind == QStringLiteral("dir"))
        QVERIFY(::mkdir(path.c_str(), 0755) == 0);
    else if (kind == QStringLiteral("fifo"))
        QVERIFY(::mkfifo(path.c_str(), 0666) == 0);
    else
        path = "/dev/null";
    QCOMPARE(ErrorOf([&] { WriteWholeFile(path, "new"); }),
             "Cannot create file \"" + path + "\". " + text.toStdString());
    if (kind != QStringLiteral("dev"))
        QCOMPARE(Entries(dir), QStringList{QStringLiteral("x.htm")});
}

void TestSafeWrite::missingFolder() {
    QCOMPARE(ErrorOf([] { WriteWholeFile("/x/y", "z"); }),
             "Cannot create file \"/x/y\". No such file or directory"s);
}

void TestSafeWrite::temporaryName() {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("index.htm")).toStdString();
    WriteRaw(path, "old");
    std::vector<PendingWrite> writes;
    writes.push_back(PrepareWrite(path, "new"));
    const QString temp = QString::fromStdString(writes[0].TemporaryPath());
    const QString name = QFileInfo(temp).fileName();
    QVERIFY2(name.startsWith(QStringLiteral(".index.htm.vx-")) &&
                 name.endsWith(QStringLiteral(".tmp")),
             qPrintable(name));
    QVERIFY(!QDir::match(QStringLiteral("*.htm"), name));
    QVERIFY(QFileInfo::exists(temp));
    QCOMPARE(ReadRaw(path), "old"s); // not yet in place
    CommitWrites(writes);
    QVERIFY(writes.empty());
    QCOMPARE(ReadRaw(path), "new"s);
    QVERIFY(!QFileInfo::exists(temp));
}

void TestSafeWrite::discardLeavesNoTrace() {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("a.htm")).toStdString();
    const std::string linked = dir.filePath(QStringLiteral("b.htm")).toStdString();
    WriteRaw(path, "old");
    {
        PendingWrite w = PrepareWrite(path, "new");
        PendingWrite moved = std::move(w);
        QVERIFY(!moved.Committed());
    }
    QCOMPARE(ReadRaw(path), "old"s);
    QCOMPARE(Entries(dir), QStringList{QStringLiteral("a.htm")});
    // A write in place that is not committed changes nothing either.
    QVERIFY(::link(path.c_str(), linked.c_str()) == 0);
    {
        PendingWrite w = PrepareWrite(path, "a longer new content");
        QVERIFY(w.InPlace());
    }
    QCOMPARE(ReadRaw(path), "old"s);
}

void TestSafeWrite::batchCommitsInOrder() {
    QTemporaryDir dir;
    std::vector<PendingWrite> writes;
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(paths.back(), "old");
        writes.push_back(PrepareWrite(paths.back(), "new " + std::to_string(i)));
    }
    for (const std::string& p : paths)
        QCOMPARE(ReadRaw(p), "old"s);
    CommitWrites(writes);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(ReadRaw(paths[static_cast<std::size_t>(i)]), "new " + std::to_string(i));
    QCOMPARE(Entries(dir).size(), 5);
}

void TestSafeWrite::batchPartialFailure() {
    // The third target becomes a directory after its bytes were prepared: the
    // first two are written, the third and fourth untouched, nothing left behind.
    QTemporaryDir dir;
    std::vector<std::string> paths;
    std::vector<PendingWrite> writes;
    for (int i = 0; i < 4; ++i) {
        paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(paths.back(), "old");
        writes.push_back(PrepareWrite(paths.back(), "new"));
    }
    QVERIFY(::unlink(paths[2].c_str()) == 0);
    QVERIFY(::mkdir(paths[2].c_str(), 0755) == 0);
    QVERIFY(::mkdir((paths[2] + "/inside").c_str(), 0755) == 0);
    const std::string message = ErrorOf([&] { CommitWrites(writes); });
    QVERIFY2(message.starts_with("Cannot create file \"" + paths[2] + "\". "), message.c_str());
    QCOMPARE(ReadRaw(paths[0]), "new"s);
    QCOMPARE(ReadRaw(paths[1]), "new"s);
    QVERIFY(S_ISDIR(StatOf(paths[2]).st_mode));
    QCOMPARE(ReadRaw(paths[3]), "old"s);
    QVERIFY(writes.empty());
    QCOMPARE(Entries(dir).size(), 4);
}

void TestSafeWrite::inOrderStopsAtFailingFile() {
    QTemporaryDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(paths.back(), "old");
    }
    paths[4] = dir.filePath(QStringLiteral("gone/f4.htm")).toStdString();
    // A second name makes f1 a file written in place.
    QVERIFY(::link(paths[1].c_str(), (paths[1] + ".link").c_str()) == 0);
    std::string content;
    int asked = 0;
    std::vector<std::pair<std::size_t, FileStamp>> committed;
    const std::string message = ErrorOf([&] {
        WriteFilesInOrder(
            paths.size(), [&](std::size_t i) { return paths[i]; },
            [&](std::size_t i) -> std::string_view {
                ++asked;
                content = "new " + std::to_string(i);
                return content;
            },
            3, std::size_t{16} << 20, {},
            [&](std::size_t i, const FileStamp& now) { committed.emplace_back(i, now); });
    });
    QCOMPARE(message, "Cannot create file \"" + paths[4] + "\". No such file or directory");
    for (int i = 0; i < 4; ++i)
        QCOMPARE(ReadRaw(paths[static_cast<std::size_t>(i)]), "new " + std::to_string(i));
    QCOMPARE(ReadRaw(paths[5]), "old"s);
    QCOMPARE(asked, 5);
    QCOMPARE(Entries(dir).size(), 7); // f0 to f5 and the link, no temporary
    // Each file put in place is told with the stamp it has now.
    QCOMPARE(committed.size(), std::size_t(4));
    for (std::size_t i = 0; i < committed.size(); ++i) {
        QCOMPARE(committed[i].first, i);
        QVERIFY(committed[i].second == FileStamp::Of(StatOf(paths[i])));
    }
}

void TestSafeWrite::inOrderContentFailure() {
    QTemporaryDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(paths.back(), "old");
    }
    std::string content;
    const std::string message = ErrorOf([&] {
        WriteFilesInOrder(
            paths.size(), [&](std::size_t i) { return paths[i]; },
            [&](std::size_t i) -> std::string_view {
                if (i == 1)
                    throw std::runtime_error("RichEdit line insertion error");
                content = "new";
                return content;
            });
    });
    QCOMPARE(message, "RichEdit line insertion error"s);
    QCOMPARE(ReadRaw(paths[0]), "new"s);
    QCOMPARE(ReadRaw(paths[1]), "old"s);
    QCOMPARE(ReadRaw(paths[2]), "old"s);
    QCOMPARE(Entries(dir).size(), 3);
}

void TestSafeWrite::directoryNotWritable() {
    // A folder that takes no new file while the file in it is writable: the file is
    // written in place, up to InPlaceMemoryBytes. Checked as an unprivileged user in a child
    // process.
    if (::geteuid() != 0)
        QSKIP("needs the superuser to switch to an unprivileged user");
    QTemporaryDir dir;
    QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0755) == 0);
    const std::string folder = dir.filePath(QStringLiteral("site")).toStdString();
    const std::string path = folder + "/page.htm";
    QVERIFY(::mkdir(folder.c_str(), 0755) == 0);
    WriteRaw(path, "old content here");
    QVERIFY(::chmod(path.c_str(), 0666) == 0);
    QVERIFY(::chown(folder.c_str(), 0, 0) == 0);
    QVERIFY(::chmod(folder.c_str(), 0555) == 0);
    const ino_t inode = StatOf(path).st_ino;

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        int code = 0;
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        try {
            WriteWholeFile(path, "new");
            // Its bytes are held in memory there: a larger content is refused.
            WriteWholeFile(path, std::string(InPlaceMemoryBytes + 1, 'x'));
            code = 2;
        } catch (const WriteError& e) {
            code = e.Kind() == WriteFailure::TooLargeInMemory ? 0 : 1;
        } catch (...) {
            code = 1;
        }
        ::_exit(code);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(ReadRaw(path), "new"s);
    QCOMPARE(StatOf(path).st_ino, inode);
    QCOMPARE(QDir(QString::fromStdString(folder))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("page.htm")});
    ::chmod(folder.c_str(), 0755);
}

namespace {

// Writes "new <i>" over every path, one file per chunk, so that the files the
// batch replaces early are there to be reused for later ones.
void WriteAllOneByOne(const std::vector<std::string>& paths) {
    std::string content;
    WriteFilesInOrder(
        paths.size(), [&](std::size_t i) { return paths[i]; },
        [&](std::size_t i) -> std::string_view {
            content = "new " + std::to_string(i) + std::string(i * 700, 'x');
            return content;
        },
        1);
}

std::string Expected(std::size_t i) {
    return "new " + std::to_string(i) + std::string(i * 700, 'x');
}

} // namespace

void TestSafeWrite::batchAcrossFoldersKeepsEachFilesOwnState() {
    QTemporaryDir dir;
    const std::string a = dir.filePath(QStringLiteral("a")).toStdString();
    const std::string b = dir.filePath(QStringLiteral("b")).toStdString();
    QVERIFY(::mkdir(a.c_str(), 0755) == 0 && ::mkdir(b.c_str(), 0755) == 0);
    std::vector<std::string> paths;
    std::vector<mode_t> modes;
    for (int i = 0; i < 12; ++i) {
        paths.push_back((i % 2 ? a : b) + "/f" + std::to_string(i) + ".htm");
        // Old contents longer and shorter than the new ones.
        WriteRaw(paths.back(), std::string(static_cast<std::size_t>((12 - i) * 900), 'o'));
        modes.push_back(i % 3 == 0 ? 0600 : i % 3 == 1 ? 0644 : 0664);
        QVERIFY(::chmod(paths.back().c_str(), modes.back()) == 0);
    }
    if (::geteuid() == 0)
        QVERIFY(::chown(paths[5].c_str(), 1234, 4321) == 0);
    WriteAllOneByOne(paths);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        QCOMPARE(ReadRaw(paths[i]), Expected(i));
        QCOMPARE(StatOf(paths[i]).st_mode & 07777, modes[i]);
        QCOMPARE(StatOf(paths[i]).st_nlink, nlink_t{1});
    }
    if (::geteuid() == 0) {
        QCOMPARE(StatOf(paths[5]).st_uid, uid_t{1234});
        QCOMPARE(StatOf(paths[5]).st_gid, gid_t{4321});
        QCOMPARE(StatOf(paths[4]).st_uid, uid_t{0});
    }
    // Nothing but the files themselves is left in either folder.
    QCOMPARE(QDir(QString::fromStdString(a)).entryList(QDir::Files | QDir::Hidden).size(), 6);
    QCOMPARE(QDir(QString::fromStdString(b)).entryList(QDir::Files | QDir::Hidden).size(), 6);
}

void TestSafeWrite::batchNeverWritesIntoAnOpenOldFile() {
    // A reader that opened a file before it was replaced goes on reading the old
    // content to its end, whatever the batch writes after it.
    QTemporaryDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(paths.back(), "old " + std::to_string(i));
    }
    const int reader = ::open(paths[0].c_str(), O_RDONLY | O_CLOEXEC);
    QVERIFY(reader >= 0);
    WriteAllOneByOne(paths);
    char buffer[64] = {};
    const ssize_t n = ::pread(reader, buffer, sizeof buffer, 0);
    ::close(reader);
    QCOMPARE(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), "old 0"s);
    for (std::size_t i = 0; i < paths.size(); ++i)
        QCOMPARE(ReadRaw(paths[i]), Expected(i));
    QCOMPARE(Entries(dir).size(), 6);
}

void TestSafeWrite::batchGivesNoFileAnotherFilesAttributes() {
    QTemporaryDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) {
        paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(paths.back(), "old");
    }
    if (::setxattr(paths[0].c_str(), "user.only.first", "1", 1, 0) != 0)
        QSKIP("the file system takes no user extended attributes");
    WriteAllOneByOne(paths);
    char buffer[8] = {};
    QCOMPARE(::getxattr(paths[0].c_str(), "user.only.first", buffer, sizeof buffer), ssize_t{1});
    for (std::size_t i = 1; i < paths.size(); ++i) {
        QCOMPARE(::listxattr(paths[i].c_str(), nullptr, 0), ssize_t{0});
        QCOMPARE(ReadRaw(paths[i]), Expected(i));
    }
    QCOMPARE(Entries(dir).size(), 4);
}

// When a file was made (an inode taken again after its deletion is made anew),
// or nothing where the file system does not tell.
std::optional<std::pair<long long, unsigned>> BirthOf(const std::string& path) {
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) != 0 ||
        (sx.stx_mask & STATX_BTIME) == 0)
        return std::nullopt;
    return std::make_pair(static_cast<long long>(sx.stx_btime.tv_sec), sx.stx_btime.tv_nsec);
}

// A replaced file is never taken for another file's new content (its bytes would
// lie, for a moment or after a kill, where the other file's folder does not let
// them be read): every file written gets a file made for it.
void TestSafeWrite::batchNeverReusesAReplacedFile_data() {
    QTest::addColumn<int>("firstFolderMode");
    QTest::addColumn<bool>("sameFolder");
    QTest::addColumn<bool>("otherOwner");
    QTest::addColumn<bool>("reused");
    QTest::newRow("private folder") << 0755 << false << false << false;
    QTest::newRow("group may change the folder") << 0775 << false << false << false;
    QTest::newRow("anyone may change the folder") << 01777 << false << false << false;
    QTest::newRow("same folder, even a shared one") << 0777 << true << false << false;
    QTest::newRow("old file of another owner") << 0755 << false << true << false;
}

void TestSafeWrite::batchNeverReusesAReplacedFile() {
    QFETCH(int, firstFolderMode);
    QFETCH(bool, sameFolder);
    QFETCH(bool, otherOwner);
    QFETCH(bool, reused);
    if (otherOwner && ::geteuid() != 0)
        QSKIP("needs the superuser to give a file away");
    QTemporaryDir dir;
    const std::string a = dir.filePath(QStringLiteral("a")).toStdString();
    const std::string b = dir.filePath(QStringLiteral("b")).toStdString();
    QVERIFY(::mkdir(a.c_str(), 0700) == 0 && ::mkdir(b.c_str(), 0755) == 0);
    QVERIFY(::chmod(a.c_str(), static_cast<mode_t>(firstFolderMode)) == 0);
    const std::vector<std::string> paths{a + "/first.htm", (sameFolder ? a : b) + "/second.htm"};
    WriteRaw(paths[0], "old first");
    WriteRaw(paths[1], "old second");
    if (otherOwner)
        QVERIFY(::chown(paths[0].c_str(), 1234, 1234) == 0);
    const auto firstOld = BirthOf(paths[0]);
    if (!firstOld)
        QSKIP("the file system does not tell when a file was made");
    WriteAllOneByOne(paths);
    QCOMPARE(ReadRaw(paths[0]), Expected(0));
    QCOMPARE(ReadRaw(paths[1]), Expected(1));
    QCOMPARE(BirthOf(paths[1]) == firstOld, reused);
    QCOMPARE(QDir(QString::fromStdString(a)).entryList(QDir::Files | QDir::Hidden).size(),
             sameFolder ? 2 : 1);
}

void TestSafeWrite::batchLeavesAFolderThatTookTheFilesPlace() {
    // The file is replaced by a folder between the preparation and the commit:
    // the commit fails as a rename over a folder would, and the folder stays.
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("page.htm")).toStdString();
    WriteRaw(path, "old");
    WriteBatch batch;
    std::vector<PendingWrite> writes;
    writes.push_back(batch.Prepare(path, [](const ContentSink& sink) { sink("new"); }));
    QVERIFY(::unlink(path.c_str()) == 0 && ::mkdir(path.c_str(), 0755) == 0);
    WriteRaw(path + "/inside.htm", "kept");
    QCOMPARE(ErrorOf([&] { batch.Commit(writes); }),
             "Cannot create file \"" + path + "\". Is a directory");
    QVERIFY(S_ISDIR(StatOf(path).st_mode));
    QCOMPARE(ReadRaw(path + "/inside.htm"), "kept"s);
    QCOMPARE(Entries(dir), QStringList{QStringLiteral("page.htm")});
}

void TestSafeWrite::batchHandsReplacedFilesOver() {
    // The files replaced in half the folders a batch may keep are handed over by
    // the commit, and deleted by the thread that takes them while the batch lives.
    QTemporaryDir dir;
    WriteBatch batch;
    batch.HandOverDeletions();
    std::vector<PendingWrite> writes;
    std::vector<QDir> folders;
    for (std::size_t i = 0; i < WriteBatch::kMaxRetiredFolders / 2; ++i) {
        folders.emplace_back(dir.filePath(QStringLiteral("d%1").arg(i)));
        QVERIFY(folders.back().mkpath(QStringLiteral(".")));
        const std::string path = folders.back().filePath(QStringLiteral("f.htm")).toStdString();
        WriteRaw(path, "old");
        writes.push_back(batch.Prepare(path, [](const ContentSink& sink) { sink("new"); }));
    }
    batch.Commit(writes);
    for (const QDir& folder : folders) // kept until taken
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden).size(), 2);
    std::thread([&batch] { batch.DeleteHandedOver(); }).join();
    for (const QDir& folder : folders) {
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), QStringList{u"f.htm"_qs});
        QCOMPARE(ReadRaw(folder.filePath(QStringLiteral("f.htm")).toStdString()), "new"s);
    }
}

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"
