// Directory listings: every entry with its raw name, attribute bits, size and
// time; links standing for their targets; subdirectories opened without links.

#include "platform/DirList.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Native(const QString& p) {
    return QFile::encodeName(p).toStdString();
}

void MakeFile(const std::string& path, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    if (size > 0) {
        QCOMPARE(::ftruncate(fd, static_cast<off_t>(size)), 0);
    }
    ::close(fd);
}

std::map<std::string, TFindData> ListAll(TDirListing& listing) {
    std::map<std::string, TFindData> all;
    while (listing.Next()) {
        TFindData data;
        if (listing.Fill(data)) {
            all[data.Name] = data;
        }
    }
    return all;
}

} // namespace

class tst_DirList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void attributes_data();
    void attributes();
    void dotEntriesAndRawNames();
    void cheapAttributesAgreeWithStat();
    void sizesAndTimes();
    void subdirectoryNeverThroughLink();
    void missingDirectory();
    void suspendAndReopen_data();
    void suspendAndReopen();
    void currentDirectory();
    void clearEntry();

private:
    std::unique_ptr<QTemporaryDir> tmp;
    std::string root;
};

void tst_DirList::init() {
    tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp->isValid());
    root = Native(tmp->path());
    MakeFile(root + "/plain.txt", 3);
    MakeFile(root + "/.hidden", 0);
    MakeFile(root + "/ro.txt", 0);
    QCOMPARE(::chmod((root + "/ro.txt").c_str(), 0444), 0);
    QCOMPARE(::mkdir((root + "/dir").c_str(), 0755), 0);
    QCOMPARE(::mkdir((root + "/rodir").c_str(), 0555), 0);
    QCOMPARE(::mkfifo((root + "/fifo").c_str(), 0644), 0);
    QCOMPARE(::symlink("dir", (root + "/linkdir").c_str()), 0);
    QCOMPARE(::symlink("plain.txt", (root + "/linkfile").c_str()), 0);
    QCOMPARE(::symlink("nowhere", (root + "/.dangling").c_str()), 0);
}

void tst_DirList::cleanup() {
    ::chmod((root + "/rodir").c_str(), 0755);
    ::unlink((root + "/caf\xe9").c_str());
}

void tst_DirList::attributes_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("attributes");
    QTest::addColumn<int>("size");
    QTest::newRow("regular file") << QByteArray("plain.txt") << 32 << 3;
    QTest::newRow("hidden") << QByteArray(".hidden") << (32 | 2) << 0;
    QTest::newRow("read-only") << QByteArray("ro.txt") << (32 | 1) << 0;
    QTest::newRow("directory") << QByteArray("dir") << 16 << 0;
    QTest::newRow("read-only directory") << QByteArray("rodir") << (16 | 1) << 0;
    QTest::newRow("fifo") << QByteArray("fifo") << 4 << 0;
    QTest::newRow("link to directory") << QByteArray("linkdir") << 16 << 0;
    QTest::newRow("link to file") << QByteArray("linkfile") << 32 << 3;
    QTest::newRow("dangling link") << QByteArray(".dangling") << (32 | 2) << 0;
}

void tst_DirList::attributes() {
    QFETCH(QByteArray, name);
    QFETCH(int, attributes);
    QFETCH(int, size);
    TDirListing listing(root);
    QVERIFY(listing.IsOpen());
    const auto all = ListAll(listing);
    const auto it = all.find(name.toStdString());
    QVERIFY(it != all.end());
    QCOMPARE(it->second.Attributes, attributes);
    QCOMPARE(it->second.SizeLow, std::uint32_t(size));
    QCOMPARE(it->second.SizeHigh, 0u);
}

void tst_DirList::dotEntriesAndRawNames() {
    const std::string raw = "caf\xe9";
    MakeFile(root + "/" + raw, 1);
    TDirListing listing(root);
    int dots = 0;
    bool sawRaw = false;
    while (listing.Next()) {
        const std::string name(listing.Name(), listing.NameLength());
        if (name == "." || name == "..") {
            QVERIFY(listing.IsDotOrDotDot());
            ++dots;
        } else {
            QVERIFY(!listing.IsDotOrDotDot());
        }
        sawRaw = sawRaw || name == raw;
    }
    QCOMPARE(dots, 2);
    QVERIFY(sawRaw);
}

void tst_DirList::cheapAttributesAgreeWithStat() {
    // Whatever the listing knows without a stat must agree with the full answer.
    const std::int32_t masks[] = {0x02, 0x04, 0x10, 0x20, 0x30, 0x01, 0x21, 0x3F};
    for (std::int32_t wanted : masks) {
        TDirListing listing(root);
        while (listing.Next()) {
            if (listing.IsDotOrDotDot()) {
                continue;
            }
            TFindData full;
            QVERIFY(listing.Fill(full));
            QCOMPARE(listing.AttributesFor(wanted) & wanted, full.Attributes & wanted);
        }
    }
}

void tst_DirList::sizesAndTimes() {
    const std::uint64_t big = (std::uint64_t(1) << 32) + 5; // sparse, 4 GiB + 5
    MakeFile(root + "/big", 0);
    const int fd = ::open((root + "/big").c_str(), O_WRONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const bool grown = ::ftruncate(fd, static_cast<off_t>(big)) == 0;
    ::close(fd);
    timespec times[2] = {{1000000000, 0}, {1234567890, 250000000}};
    QCOMPARE(::utimensat(AT_FDCWD, (root + "/plain.txt").c_str(), times, 0), 0);
    TDirListing listing(root);
    const auto all = ListAll(listing);
    QCOMPARE(all.at("plain.txt").LastWriteTime.Seconds, std::int64_t(1234567890));
    QCOMPARE(all.at("plain.txt").LastWriteTime.Nanoseconds, 250000000);
    if (!grown) {
        QSKIP("the file system refuses a 4 GiB sparse file");
    }
    QCOMPARE(all.at("big").SizeHigh, 1u);
    QCOMPARE(all.at("big").SizeLow, 5u);
}

void tst_DirList::subdirectoryNeverThroughLink() {
    TDirListing listing(root);
    bool openedDir = false;
    bool refusedLink = false;
    while (listing.Next()) {
        const std::string name(listing.Name(), listing.NameLength());
        if (name == "dir") {
            QVERIFY(listing.IsRealDirectory());
            TDirListing sub(listing, listing.Name());
            openedDir = sub.IsOpen();
        } else if (name == "linkdir") {
            QVERIFY(!listing.IsRealDirectory());
            TDirListing sub(listing, listing.Name());
            refusedLink = !sub.IsOpen();
        } else if (name == "plain.txt" || name == "fifo") {
            QVERIFY(!listing.IsRealDirectory());
        }
    }
    QVERIFY(openedDir);
    QVERIFY(refusedLink);
}

void tst_DirList::missingDirectory() {
    TDirListing listing(root + "/does-not-exist");
    QVERIFY(!listing.IsOpen());
    QCOMPARE(listing.Error(), ENOENT);
    QVERIFY(!listing.Next());
    TDirListing file(root + "/plain.txt");
    QVERIFY(!file.IsOpen());
    QCOMPARE(file.Error(), ENOTDIR);
}

void tst_DirList::suspendAndReopen_data() {
    QTest::addColumn<QString>("swap"); // what takes the suspended folder's name
    QTest::addColumn<int>("error");
    QTest::newRow("nothing") << QString() << 0;
    QTest::newRow("another folder") << QStringLiteral("folder") << ENOENT;
    QTest::newRow("link to it") << QStringLiteral("link") << ENOTDIR;
}

void tst_DirList::suspendAndReopen() {
    QFETCH(QString, swap);
    QFETCH(int, error);
    for (const char* name : {"/dir/a", "/dir/b", "/dir/c"}) {
        MakeFile(root + name, 1);
    }
    TDirListing top(root);
    TDirListing sub(top, "dir");
    QVERIFY(sub.Next());
    std::set<std::string> names{sub.Name()};
    sub.Suspend();
    QVERIFY(!sub.IsOpen());
    QVERIFY(sub.HasPending());
    if (!swap.isEmpty()) {
        QCOMPARE(::rename((root + "/dir").c_str(), (root + "/moved").c_str()), 0);
        QCOMPARE(swap == u"link" ? ::symlink("moved", (root + "/dir").c_str())
                                 : ::mkdir((root + "/dir").c_str(), 0755),
                 0);
    }
    QCOMPARE(sub.Reopen(top, "dir"), error);
    QCOMPARE(sub.IsOpen(), error == 0);
    // The entries read ahead come in any case; a reopened folder also answers for them.
    while (sub.Next()) {
        names.insert(sub.Name());
        TFindData data;
        QCOMPARE(sub.Fill(data), error == 0);
    }
    QCOMPARE(names, (std::set<std::string>{".", "..", "a", "b", "c"}));
}

void tst_DirList::currentDirectory() {
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tmp->path()));
    TDirListing listing("");
    const bool open = listing.IsOpen();
    const auto all = ListAll(listing);
    QDir::setCurrent(before);
    QVERIFY(open);
    QVERIFY(all.count("plain.txt") == 1);
    QVERIFY(all.count("dir") == 1);
}

void tst_DirList::clearEntry() {
    TFindData data;
    data.Attributes = 32;
    data.Name = "x";
    data.SizeLow = 9;
    data.LastWriteTime.Seconds = 5;
    data.Clear();
    QCOMPARE(data.Attributes, 0);
    QVERIFY(data.Name.empty());
    QCOMPARE(data.SizeLow, 0u);
    QCOMPARE(data.LastWriteTime.Seconds, std::int64_t(0));
}

QTEST_GUILESS_MAIN(tst_DirList)
#include "tst_dirlist.moc"
