// The file list of velocitrix-cli: its order, the start directory, the default
// masks, duplicates, and the walk's view of a tree.

#include "cli/FileList.h"
#include "platform/TempNames.h"
#include "settings/FileTypeLists.h"
#include "text/ListOrder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace Qt::StringLiterals;

class tst_CliFileList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void order_data();
    void order();
    void sortIsStable();
    void startDirectory_data();
    void startDirectory();
    void defaultTypesAreTheProgramsOwn();
    void relativePaths();
    void unreadableFolderWarned();
    void leftoversLeftOut_data();
    void leftoversLeftOut();
    void badMask();
    void helpersChangeNothing();
};

void tst_CliFileList::order_data() {
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<int>("expected"); // -1: a first, 0: equal, 1: b first
    QTest::newRow("case ignored") << QByteArray("ABC") << QByteArray("abc") << 0;
    QTest::newRow("letters") << QByteArray("b") << QByteArray("A") << 1;
    QTest::newRow("underscore before letters") << QByteArray("_") << QByteArray("A") << -1;
    QTest::newRow("brackets before letters") << QByteArray("[") << QByteArray("a") << -1;
    QTest::newRow("slash before dot") << QByteArray("a/b") << QByteArray("a.b") << 1;
    QTest::newRow("prefix first") << QByteArray("a") << QByteArray("a.htm") << -1;
    QTest::newRow("high bytes after ASCII") << QByteArray("\xc3\xa9") << QByteArray("z") << 1;
    QTest::newRow("accents not folded") << QByteArray("\xc3\x89") << QByteArray("\xc3\xa9") << -1;
}

void tst_CliFileList::order() {
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(int, expected);
    QCOMPARE(FileListBefore(a.toStdString(), b.toStdString()), expected < 0);
    QCOMPARE(FileListBefore(b.toStdString(), a.toStdString()), expected > 0);
}

void tst_CliFileList::sortIsStable() {
    // Names equal but for case keep the order in which the files were named.
    QTemporaryDir tmp;
    for (const char* n : {"b.htm", "B.HTM", "a.htm"})
        QVERIFY(QFile(tmp.path() + u"/"_s + QLatin1String(n)).open(QIODevice::WriteOnly));
    const std::string dir = tmp.path().toStdString();
    const FileList list =
        BuildFileList({dir + "/B.HTM", dir + "/b.htm", dir + "/a.htm"}, "*", false);
    QCOMPARE(list.entries.size(), std::size_t(3));
    QCOMPARE(QString::fromStdString(list.entries[0].rel), QStringLiteral("a.htm"));
    QCOMPARE(QString::fromStdString(list.entries[1].rel), QStringLiteral("B.HTM"));
    QCOMPARE(QString::fromStdString(list.entries[2].rel), QStringLiteral("b.htm"));
}

void tst_CliFileList::startDirectory_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("start");
    QTest::newRow("plain") << "site"
                           << "site/";
    QTest::newRow("slash") << "site/"
                           << "site/";
    QTest::newRow("slashes") << "/srv/site///"
                             << "/srv/site/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("root slashes") << "///"
                                  << "/";
    QTest::newRow("dot") << "."
                         << "./";
}

void tst_CliFileList::startDirectory() {
    QFETCH(QString, given);
    QFETCH(QString, start);
    QCOMPARE(QString::fromStdString(StartDirectory(given.toStdString())), start);
}

void tst_CliFileList::defaultTypesAreTheProgramsOwn() {
    QCOMPARE(std::string(CliDefaultTypeList), DefaultTypeList);
}

void tst_CliFileList::relativePaths() {
    QTemporaryDir tmp;
    QDir().mkpath(tmp.path() + u"/s/t"_s);
    for (const char* n : {"s/x.htm", "s/t/y.css", "s/t/z.txt"})
        QVERIFY(QFile(tmp.path() + u"/"_s + QLatin1String(n)).open(QIODevice::WriteOnly));
    const std::string root = tmp.path().toStdString();
    const FileList list =
        BuildFileList({root + "/s/", root + "/s/t/z.txt"}, CliDefaultTypeList, true);
    QCOMPARE(list.entries.size(), std::size_t(3));
    QStringList got;
    for (const ListEntry& e : list.entries)
        got << QString::fromStdString(e.path.substr(root.size()) + " " + e.rel + " " +
                                      e.origin.substr(root.size()));
    QCOMPARE(got, (QStringList{u"/s/t/y.css t/y.css /s/"_s, u"/s/t/z.txt z.txt /s/t/z.txt"_s,
                               u"/s/x.htm x.htm /s/"_s}));
    QVERIFY(list.warnings.empty());
}

void tst_CliFileList::unreadableFolderWarned() {
    QTemporaryDir tmp;
    const std::string root = tmp.path().toStdString();
    QDir().mkpath(tmp.path() + u"/locked"_s);
    QDir().mkpath(tmp.path() + u"/open"_s);
    for (const char* n : {"locked/x.htm", "open/y.htm"})
        QVERIFY(QFile(tmp.path() + u"/"_s + QLatin1String(n)).open(QIODevice::WriteOnly));
    const std::string locked = root + "/locked";
    QVERIFY(::chmod(root.c_str(), 0755) == 0 && ::chmod(locked.c_str(), 0) == 0);
    // The superuser reads any folder: look at the tree as another user would.
    const bool superuser = ::geteuid() == 0;
    if (superuser && ::seteuid(65534) != 0)
        QSKIP("cannot take another user's rights");
    const int probe = ::open(locked.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool refused = probe < 0;
    if (probe >= 0)
        ::close(probe);
    const FileList list = refused ? BuildFileList({root}, "*.htm", true) : FileList();
    QVERIFY(!superuser || ::seteuid(0) == 0);
    ::chmod(locked.c_str(), 0755);
    if (!refused)
        QSKIP("folder permissions are not enforced here");
    QCOMPARE(list.entries.size(), std::size_t(1));
    QCOMPARE(list.entries[0].path, root + "/open/y.htm");
    QCOMPARE(list.warnings,
             std::vector<std::string>{"cannot read folder \"" + locked + "\": Permission denied"});
}

namespace {

QString TempName(const char* target, const char* random8) {
    return QString::fromStdString(WriteTemporaryName(target, random8));
}

} // namespace

void tst_CliFileList::leftoversLeftOut_data() {
    QTest::addColumn<QString>("types");
    QTest::addColumn<QStringList>("listed");
    // A folder named like a temporary is walked as any folder.
    const QString folder = TempName("c.htm", "ZZzz9900");
    QTest::newRow("*.htm*") << u"*.htm*"_s
                            << QStringList{u".a.htm.vx-backup.tmp"_s, folder,
                                           folder + u"/inner.htm"_s, u"a.htm"_s, u"sub/b.html"_s};
    QTest::newRow("*") << u"*"_s << QStringList{u".a.htm.vx-backup.tmp"_s,
                                                folder,
                                                folder + u"/inner.htm"_s,
                                                u"a.htm"_s,
                                                u"sub"_s,
                                                u"sub/b.html"_s};
}

void tst_CliFileList::leftoversLeftOut() {
    QFETCH(QString, types);
    QFETCH(QStringList, listed);
    QTemporaryDir tmp;
    // Temporaries of writes still going on, a folder named like one, and a name a
    // user gave.
    QDir().mkpath(tmp.path() + u"/sub"_s);
    QDir().mkpath(tmp.path() + u"/"_s + TempName("c.htm", "ZZzz9900"));
    for (const QString& n : {u"a.htm"_s, TempName("a.htm", "Ab12Cd34"), u".a.htm.vx-backup.tmp"_s,
                             u"sub/b.html"_s, u"sub/"_s + TempName("b.html", "00000000"),
                             TempName("c.htm", "ZZzz9900") + u"/inner.htm"_s})
        QVERIFY(QFile(tmp.path() + u"/"_s + n).open(QIODevice::WriteOnly));
    const std::string root = tmp.path().toStdString();
    const FileList list = BuildFileList({root}, types.toStdString(), true);
    QStringList got;
    for (const ListEntry& e : list.entries)
        got << QString::fromStdString(e.rel);
    QCOMPARE(got, listed);
    QStringList leftovers;
    for (const ListEntry& e : list.leftovers)
        leftovers << QString::fromStdString(e.rel);
    QCOMPARE(leftovers, (QStringList{TempName("a.htm", "Ab12Cd34"),
                                     u"sub/"_s + TempName("b.html", "00000000")}));
    QVERIFY(list.warnings.empty());
}

void tst_CliFileList::badMask() {
    try {
        CheckMaskList("*.htm;[abc");
        QFAIL("no error");
    } catch (const std::exception& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("'[abc' is an invalid mask at (5)"));
    }
    CheckMaskList(" ; ;");
}

// Subfolders walked by helpers give the list, leftovers and warnings of one walk,
// also where the walk ends early in the first subfolder met (a helper's).
void tst_CliFileList::helpersChangeNothing() {
    QTemporaryDir tmp;
    for (const char* folder : {"/s1/t", "/s2", "/s3/t"})
        QDir().mkpath(tmp.path() + QLatin1String(folder));
    const QStringList old{u"s1/old.htm"_s, u"s2/old.htm"_s, u"s3/t/old.htm"_s};
    QStringList names{u"a.htm"_s, u"z.htm"_s, u"s1/b.htm"_s, u"s1/t/c.htm"_s, u"s2/d.htm"_s};
    for (const QString& folder : {u""_s, u"s1/t/"_s, u"s2/"_s, u"s3/"_s})
        names << folder + TempName("a.htm", "Aa000000");
    const struct utimbuf in1970 { 86400, 86400 };
    for (const QString& n : names + old) {
        QVERIFY(QFile(tmp.path() + u"/"_s + n).open(QIODevice::WriteOnly));
        if (old.contains(n))
            QCOMPARE(::utime(QFile::encodeName(tmp.path() + u"/"_s + n).constData(), &in1970), 0);
    }
    const auto seen = [&](unsigned helpers) {
        const FileList list = BuildFileList({tmp.path().toStdString()}, "*.htm", true, {}, helpers);
        QStringList all;
        for (const auto* entries : {&list.entries, &list.leftovers})
            for (const ListEntry& e : *entries)
                all << QString::fromStdString(e.rel);
        for (const std::string& w : list.warnings)
            all << QString::fromStdString(w);
        return all;
    };
    const QStringList one = seen(0);
    QCOMPARE(one.filter(u"ended early"_s).size(), 1);
    for (int round = 0; round < 20; ++round)
        QCOMPARE(seen(1 + round % 2), one);
}

QTEST_GUILESS_MAIN(tst_CliFileList)
#include "tst_clifilelist.moc"
