// Safe writes on a machine shared with other accounts and programs: what another
// process does to a temporary, to the file that was read, to the folders of a
// walked tree or to a folder's default ACL never puts wrong bytes anywhere; an
// overlay file system never parts a file's names.

#include "TestFiles.h"
#include "WriteAsRead.h"
#include "platform/FileIO.h"
#include "platform/SafeWrite.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

using namespace std::string_literals;

namespace {

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The write's failure, or nullopt when it succeeded.
std::optional<WriteError> FailureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const WriteError& e) {
        return e;
    }
    return std::nullopt;
}

bool Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestSafeWriteShared : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commitPutsInPlaceOnlyWhatWasWritten_data();
    void commitPutsInPlaceOnlyWhatWasWritten();
    void fileChangedSinceRead_data();
    void fileChangedSinceRead();
    void writesStayInTheWalkedTree_data();
    void writesStayInTheWalkedTree();
    void inheritedAclIsNotKept_data();
    void inheritedAclIsNotKept();
    void appendOnlyFolder();
    void openingTemporariesEndsNoRun();
    void hardLinksOnOverlay();
};

// Another process renames something over the temporary's name, or deletes it and
// makes a new one there, between the preparation and the commit.
void TestSafeWriteShared::commitPutsInPlaceOnlyWhatWasWritten_data() {
    QTest::addColumn<bool>("recreate");
    QTest::addColumn<bool>("inPlaceBatch"); // the pending write let go of its descriptors
    QTest::newRow("renamed over") << false << false;
    QTest::newRow("renamed over, descriptors closed") << false << true;
    QTest::newRow("deleted and made anew") << true << true;
}

void TestSafeWriteShared::commitPutsInPlaceOnlyWhatWasWritten() {
    QFETCH(bool, recreate);
    QFETCH(bool, inPlaceBatch);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("a.htm")).toStdString();
    WriteRaw(path, "old a");
    std::vector<PendingWrite> writes;
    writes.push_back(PrepareWrite(path, "new a"));
    if (inPlaceBatch)
        writes.back().CloseDescriptor();
    const std::string temp = writes.back().TemporaryPath();
    QVERIFY(!temp.empty());
    if (recreate) {
        QVERIFY(::unlink(temp.c_str()) == 0);
        WriteRaw(temp, "someone else's bytes");
    } else {
        const std::string other = dir.filePath(QStringLiteral("other")).toStdString();
        WriteRaw(other, "someone else's bytes");
        QVERIFY(::rename(other.c_str(), temp.c_str()) == 0);
    }
    const auto failure = FailureOf([&] { CommitWrites(writes); });
    QVERIFY(failure);
    QCOMPARE(failure->Kind(), WriteFailure::TemporaryReplaced);
    QCOMPARE(failure->Index(), std::size_t{0});
    QCOMPARE(ReadRaw(path), "old a"s);
    QCOMPARE(Entries(dir.path()), QStringList{QStringLiteral("a.htm")});
}

// The file read is changed by another program before the write is prepared or
// before it is committed: it is never written over, and a deleted one is not
// made again. The first of three files fails; the others are written.
void TestSafeWriteShared::fileChangedSinceRead_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("beforePrepare");
    QTest::addColumn<bool>("hardLinked"); // written in place
    for (const bool before : {true, false}) {
        const char* when = before ? "before prepare: " : "before commit: ";
        QTest::addRow("%sedited in place", when) << "edit" << before << false;
        QTest::addRow("%sreplaced by a new file", when) << "replace" << before << false;
        QTest::addRow("%sdeleted", when) << "delete" << before << false;
        QTest::addRow("%shard-linked, edited", when) << "edit" << before << true;
    }
    QTest::newRow("unchanged") << "" << false << false;
    QTest::newRow("hard-linked, unchanged") << "" << false << true;
}

void TestSafeWriteShared::fileChangedSinceRead() {
    QFETCH(QString, change);
    QFETCH(bool, beforePrepare);
    QFETCH(bool, hardLinked);
    QTemporaryDir dir;
    std::vector<std::string> paths;
    std::vector<FileStamp> stamps(3);
    for (int i = 0; i < 3; ++i) {
        paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(paths.back(), "old " + std::to_string(i));
        std::string bytes;
        ReadWholeFile(paths.back(), bytes, &stamps[static_cast<std::size_t>(i)]);
    }
    if (hardLinked)
        QVERIFY(::link(paths[1].c_str(), (paths[1] + ".link").c_str()) == 0);
    auto act = [&] {
        if (change == QLatin1String("edit")) {
            WriteRaw(paths[1], "edited elsewhere");
        } else if (change == QLatin1String("replace")) {
            WriteRaw(paths[1] + ".new", "replaced elsewhere");
            QVERIFY(::rename((paths[1] + ".new").c_str(), paths[1].c_str()) == 0);
        } else if (change == QLatin1String("delete")) {
            QVERIFY(::unlink(paths[1].c_str()) == 0);
        }
    };
    if (beforePrepare)
        act();
    std::optional<WriteError> failure;
    std::vector<PendingWrite> writes;
    for (std::size_t i = 0; i < paths.size() && !failure; ++i) {
        WriteOptions options;
        options.readAs = stamps[i];
        failure = FailureOf(
            [&] { writes.push_back(PrepareWrite(paths[i], "new " + std::to_string(i), options)); });
        if (failure)
            failure = failure->WithIndex(i);
    }
    if (!failure) {
        if (!beforePrepare)
            act();
        failure = FailureOf([&] { CommitWrites(writes); });
    }
    if (change.isEmpty()) {
        QVERIFY(!failure);
        QCOMPARE(ReadRaw(paths[1]), "new 1"s);
        return;
    }
    QVERIFY(failure);
    QCOMPARE(failure->Kind(), WriteFailure::ChangedSinceRead);
    QCOMPARE(failure->Index(), std::size_t{1});
    QCOMPARE(std::string(failure->what()),
             "Cannot create file \"" + paths[1] +
                 "\". The file was changed by another program since it was read");
    const std::string expected = change == QLatin1String("edit")      ? "edited elsewhere"
                                 : change == QLatin1String("replace") ? "replaced elsewhere"
                                                                      : "";
    if (change == QLatin1String("delete"))
        QVERIFY(!QFileInfo::exists(QString::fromStdString(paths[1])));
    else
        QCOMPARE(ReadRaw(paths[1]), expected);
    QCOMPARE(ReadRaw(paths[0]), beforePrepare ? "old 0"s : "new 0"s);
    QCOMPARE(ReadRaw(paths[2]), "old 2"s);
    writes.clear();
    for (const QString& name : Entries(dir.path()))
        QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name));
}

// A file found by a walk of root is written, and read, only inside root, through
// no link in its folders, and through a link in its own place only where the
// link and the file it reaches have one owner.
void TestSafeWriteShared::writesStayInTheWalkedTree_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("errnum"); // 0: written
    QTest::addColumn<bool>("needsRoot");
    QTest::newRow("plain file") << "plain" << 0 << false;
    QTest::newRow("folder swapped for a link") << "folder link" << ELOOP << false;
    QTest::newRow("link to a file of its own owner") << "own link" << 0 << false;
    QTest::newRow("link to another owner's file") << "foreign link" << EACCES << true;
    QTest::newRow("dangling link") << "dangling" << EACCES << false;
}

void TestSafeWriteShared::writesStayInTheWalkedTree() {
    QFETCH(QString, setup);
    QFETCH(int, errnum);
    QFETCH(bool, needsRoot);
    if (needsRoot && ::geteuid() != 0)
        QSKIP("needs the superuser to give a link another owner");
    QTemporaryDir root;
    QTemporaryDir outside;
    const std::string tree = root.path().toStdString();
    const std::string secret = outside.filePath(QStringLiteral("page.htm")).toStdString();
    WriteRaw(secret, "secret");
    const std::string folder = tree + "/sub";
    const std::string path = folder + "/page.htm";
    QVERIFY(::mkdir(folder.c_str(), 0755) == 0);
    if (setup == QLatin1String("plain")) {
        WriteRaw(path, "old");
    } else if (setup == QLatin1String("folder link")) {
        QVERIFY(::rmdir(folder.c_str()) == 0);
        QVERIFY(::symlink(outside.path().toLocal8Bit().constData(), folder.c_str()) == 0);
    } else if (setup == QLatin1String("dangling")) {
        QVERIFY(::symlink((outside.path() + QStringLiteral("/none.htm")).toLocal8Bit().constData(),
                          path.c_str()) == 0);
    } else {
        QVERIFY(::symlink(secret.c_str(), path.c_str()) == 0);
        if (setup == QLatin1String("foreign link"))
            QVERIFY(::lchown(path.c_str(), 4321, 4321) == 0);
    }
    UniqueFd read;
    QCOMPARE(OpenToRead(path, tree + "/", read), errnum);
    QCOMPARE(read.Valid(), errnum == 0);
    WriteOptions options;
    options.beneath = tree + "/";
    const auto failure = FailureOf([&] { WriteWholeFile(path, "new", options); });
    if (errnum == 0) {
        QVERIFY2(!failure, failure ? failure->what() : "");
        QCOMPARE(ReadRaw(setup == QLatin1String("own link") ? secret : path), "new"s);
        return;
    }
    QVERIFY(failure);
    QCOMPARE(failure->Errno(), errnum);
    QCOMPARE(ReadRaw(secret), "secret"s);
    QCOMPARE(Entries(outside.path()), QStringList{QStringLiteral("page.htm")});
}

// A folder's default ACL gives every new file an entry for another user; the
// written file keeps exactly the old file's (none).
void TestSafeWriteShared::inheritedAclIsNotKept_data() {
    QTest::addColumn<bool>("asRead"); // walk's files, written through the files as read
    QTest::newRow("a named file") << false;
    QTest::newRow("a walk's files, as read, one folder") << true;
}

void TestSafeWriteShared::inheritedAclIsNotKept() {
    QFETCH(bool, asRead);
    QTemporaryDir dir;
    std::vector<std::string> paths;
    for (const char* name : {"page.htm", "second.htm"}) {
        paths.push_back(dir.filePath(QString::fromLatin1(name)).toStdString());
        WriteRaw(paths.back(), "old");
        QVERIFY(::chmod(paths.back().c_str(), 0640) == 0);
    }
    if (!Run(QStringLiteral("setfacl"),
             {QStringLiteral("-d"), QStringLiteral("-m"), QStringLiteral("u:1002:r"), dir.path()}))
        QSKIP("setfacl is missing or the file system takes no ACL");
    if (asRead)
        WriteAsRead(dir.path().toStdString(), paths, "new");
    else
        WriteWholeFile(paths[0], "new");
    for (std::size_t i = 0; i < (asRead ? paths.size() : 1); ++i) {
        const std::string& path = paths[i];
        QCOMPARE(ReadRaw(path), "new"s);
        QCOMPARE(::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0), ssize_t{-1});
        struct stat st {};
        QVERIFY(::stat(path.c_str(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t{0640});
    }
}

// A folder that takes new names but lets none go (chattr +a): an existing file
// is written in place, a new one is refused, and no temporary is left there.
void TestSafeWriteShared::appendOnlyFolder() {
    if (::geteuid() != 0)
        QSKIP("chattr +a needs the superuser");
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("log"));
    QVERIFY(QDir().mkpath(folder));
    const std::string path = (folder + QStringLiteral("/page.htm")).toStdString();
    WriteRaw(path, "old");
    if (!Run(QStringLiteral("chattr"), {QStringLiteral("+a"), folder}))
        QSKIP("chattr is missing or the file system refuses the flag");
    const auto existing = FailureOf([&] { WriteWholeFile(path, "new"); });
    const auto fresh = FailureOf(
        [&] { WriteWholeFile((folder + QStringLiteral("/new.htm")).toStdString(), "x"); });
    const QStringList left = Entries(folder);
    Run(QStringLiteral("chattr"), {QStringLiteral("-a"), folder});
    QVERIFY2(!existing, existing ? existing->what() : "");
    QCOMPARE(ReadRaw(path), "new"s);
    QVERIFY(fresh);
    QCOMPARE(fresh->Errno(), EPERM);
    QCOMPARE(left, QStringList{QStringLiteral("page.htm")});
}

// Someone keeps opening every temporary while a batch is written: nothing another
// process does to a file it can read ends the run.
void TestSafeWriteShared::openingTemporariesEndsNoRun() {
    QTemporaryDir dir;
    QStringList args{QStringLiteral("batch"), QStringLiteral("100")};
    for (int i = 0; i < 300; ++i) {
        const QString path =
            dir.filePath(QStringLiteral("f%1.htm").arg(i, 3, 10, QLatin1Char('0')));
        WriteRaw(path.toStdString(), "old");
        args << path;
    }
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        const std::string folder = dir.path().toStdString();
        while (!stop) {
            for (const QString& name : Entries(dir.path())) {
                if (!name.endsWith(QLatin1String(".tmp")))
                    continue;
                const int fd = ::open((folder + "/" + name.toStdString()).c_str(), O_RDONLY);
                if (fd >= 0)
                    ::close(fd);
            }
        }
    });
    QProcess helper;
    helper.start(QStringLiteral(VX_WRITE_HELPER), args);
    const bool finished = helper.waitForFinished(60000);
    stop = true;
    reader.join();
    QVERIFY(finished);
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);
    QCOMPARE(Entries(dir.path()).size(), 300);
}

// A file with two names in an overlay's lower layer would be copied up under
// the name it is opened by only: it is refused before any byte changes, run
// after run, and its names stay one file's.
void TestSafeWriteShared::hardLinksOnOverlay() {
    if (::geteuid() != 0)
        QSKIP("needs the superuser to mount an overlay");
    QTemporaryDir dir;
    for (const char* sub : {"lower", "upper", "work", "merged"})
        QVERIFY(QDir(dir.path()).mkdir(QLatin1String(sub)));
    const std::string base = dir.path().toStdString();
    WriteRaw(base + "/lower/a.htm", "old");
    QVERIFY(::link((base + "/lower/a.htm").c_str(), (base + "/lower/b.htm").c_str()) == 0);
    const std::string merged = base + "/merged";
    const std::string options =
        "lowerdir=" + base + "/lower,upperdir=" + base + "/upper,workdir=" + base + "/work";
    if (::mount("overlay", merged.c_str(), "overlay", 0, options.c_str()) != 0)
        QSKIP("cannot mount an overlay here");
    const auto unmount = qScopeGuard([&] { ::umount2(merged.c_str(), MNT_DETACH); });
    for (int run = 0; run < 2; ++run) {
        const auto failure = FailureOf([&] { WriteWholeFile(merged + "/a.htm", "new"); });
        QVERIFY(failure);
        QCOMPARE(failure->Kind(), WriteFailure::LinksOnOverlay);
    }
    struct stat a {};
    struct stat b {};
    QVERIFY(::stat((merged + "/a.htm").c_str(), &a) == 0 &&
            ::stat((merged + "/b.htm").c_str(), &b) == 0);
    QCOMPARE(a.st_ino, b.st_ino);
    QCOMPARE(ReadRaw(merged + "/b.htm"), "old"s);
}

QTEST_GUILESS_MAIN(TestSafeWriteShared)
#include "tst_safewrite_shared.moc"
