// Paths as text: joining a folder and a name, and the name and folder of a path
// in the forms their callers need.

#include "platform/Paths.h"

#include <QtTest>

class tst_Paths : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void join_data();
    void join();
    void found_data();
    void found();
    void parts_data();
    void parts();
    void trim_data();
    void trim();
    void tidy_data();
    void tidy();
};

void tst_Paths::join_data() {
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("joined");
    QTest::newRow("folder") << QByteArray("/web") << QByteArray("a") << QByteArray("/web/a");
    QTest::newRow("folder/") << QByteArray("/web/") << QByteArray("a") << QByteArray("/web/a");
    QTest::newRow("root") << QByteArray("/") << QByteArray("a") << QByteArray("/a");
    QTest::newRow("relative") << QByteArray("sub") << QByteArray("a") << QByteArray("sub/a");
    QTest::newRow("dot") << QByteArray(".") << QByteArray("a") << QByteArray("./a");
    QTest::newRow("name with folders")
        << QByteArray("/web") << QByteArray("b/a") << QByteArray("/web/b/a");
    QTest::newRow("folder//") << QByteArray("/web//") << QByteArray("a") << QByteArray("/web//a");
    QTest::newRow("empty folder") << QByteArray() << QByteArray("a") << QByteArray("a");
    QTest::newRow("empty name") << QByteArray("/web") << QByteArray() << QByteArray("/web");
}

void tst_Paths::join() {
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, joined);
    QCOMPARE(JoinPath(folder.toStdString(), name.toStdString()), joined.toStdString());
}

// A walk's entry: one "/" also after an empty folder (where JoinPath gives the
// name alone).
void tst_Paths::found_data() {
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("found");
    QTest::newRow("folder") << QByteArray("/web") << QByteArray("/web/a");
    QTest::newRow("folder/") << QByteArray("/web/") << QByteArray("/web/a");
    QTest::newRow("root") << QByteArray("/") << QByteArray("/a");
    QTest::newRow("empty folder") << QByteArray() << QByteArray("/a");
}

void tst_Paths::found() {
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, found);
    QCOMPARE(FoundPath(folder.toStdString(), "a"), found.toStdString());
}

void tst_Paths::parts_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("file") << QByteArray("/web/a.htm") << QByteArray("a.htm") << QByteArray("/web")
                          << QByteArray("/web/");
    QTest::newRow("in the root") << QByteArray("/a.htm") << QByteArray("a.htm") << QByteArray("/")
                                 << QByteArray("/");
    QTest::newRow("bare name") << QByteArray("a.htm") << QByteArray("a.htm") << QByteArray(".")
                               << QByteArray();
    QTest::newRow("relative") << QByteArray("sub/a.htm") << QByteArray("a.htm") << QByteArray("sub")
                              << QByteArray("sub/");
    QTest::newRow("trailing slash")
        << QByteArray("/web/") << QByteArray() << QByteArray("/web") << QByteArray("/web/");
    QTest::newRow("root") << QByteArray("/") << QByteArray() << QByteArray("/") << QByteArray("/");
    QTest::newRow("double slash") << QByteArray("/web//a") << QByteArray("a") << QByteArray("/web/")
                                  << QByteArray("/web//");
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray(".") << QByteArray();
}

void tst_Paths::parts() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, prefix);
    const std::string p = path.toStdString();
    QCOMPARE(NameOf(p), name.toStdString());
    QCOMPARE(FolderOf(p), folder.toStdString());
    QCOMPARE(FolderPrefixOf(p), prefix.toStdString());
    QCOMPARE(FolderPrefixOf(p) + NameOf(p), p);
}

void tst_Paths::trim_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("trimmed");
    QTest::newRow("one") << QByteArray("/web/") << QByteArray("/web");
    QTest::newRow("several") << QByteArray("/web///") << QByteArray("/web");
    QTest::newRow("none") << QByteArray("/web") << QByteArray("/web");
    QTest::newRow("root") << QByteArray("/") << QByteArray("/");
    QTest::newRow("root slashes") << QByteArray("///") << QByteArray("/");
    QTest::newRow("relative") << QByteArray("sub/") << QByteArray("sub");
    QTest::newRow("inner slashes kept") << QByteArray("a//b/") << QByteArray("a//b");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void tst_Paths::trim() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, trimmed);
    QCOMPARE(TrimTrailingSlashes(path.toStdString()), trimmed.toStdString());
}

// By name, as a browser resolves an address: nothing climbs above the root,
// and a relative path keeps the ".." nothing before it takes away.
void tst_Paths::tidy_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("tidied");
    QTest::newRow("up one") << QByteArray("/web/css/../a.css") << QByteArray("/web/a.css");
    QTest::newRow("dots and doubled slashes") << QByteArray("/web/./css//a.css")
                                              << QByteArray("/web/css/a.css");
    QTest::newRow("not above the root") << QByteArray("/web/../../a.css") << QByteArray("/a.css");
    QTest::newRow("relative, beyond its start") << QByteArray("a/../../b") << QByteArray("../b");
    QTest::newRow("relative, to nothing") << QByteArray("a/..") << QByteArray(".");
    QTest::newRow("root") << QByteArray("/..") << QByteArray("/");
}

void tst_Paths::tidy() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, tidied);
    QCOMPARE(TidiedPath(path.toStdString()), tidied.toStdString());
}

QTEST_APPLESS_MAIN(tst_Paths)
#include "tst_paths.moc"
