// velocitrix-cli in build pipelines and editors: --check and --diff write
// nothing and answer by exit status, the diff applied by patch gives exactly the
// files a run writes, "-" works standard input, and a file whose bytes stay the
// same is not written unless --write-all asks for it.

#include "CliRunner.h"

#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>

using namespace cli_test;
using namespace Qt::StringLiterals;

namespace {

// Files with every kind of line break, some to change and some already optimal.
void MakeMixedTree(const QString& root) {
    WriteBytes(root + u"/lf.htm"_s, "<p>\n  one  two\n</p>\n");
    WriteBytes(root + u"/crlf.htm"_s, "a\r\n\r\n  b\r\nc\r\n");
    WriteBytes(root + u"/cr.htm"_s, "a\r b\r\rc\r");
    WriteBytes(root + u"/open.htm"_s, "x\r\ny  z");
    WriteBytes(root + u"/breaksonly.htm"_s, "a\nb\nc\n");
    WriteBytes(root + u"/crlfonly.htm"_s, "a\r\nb\r\n");
    WriteBytes(root + u"/same.htm"_s, "a b\r\nc\r\n");
    WriteBytes(root + u"/empty.htm"_s, "");
    WriteBytes(root + u"/sub/deep.html"_s, "<b>  x\n</b>\r\n<pre>\n  k  \n</pre>\r\n\tq\n");
}

struct Stamp {
    ino_t inode = 0;
    qint64 mtimeNs = 0;
};

Stamp StampOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {st.st_ino, qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace

class tst_CliCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exitCodes_data();
    void exitCodes();
    void filter();
    void diffAppliesAsRunWrites_data();
    void diffAppliesAsRunWrites();
    void unchangedFilesNotWritten_data();
    void unchangedFilesNotWritten();
};

void tst_CliCheck::exitCodes_data() {
    QTest::addColumn<QString>("mode");       // "-": the file is standard input
    QTest::addColumn<QByteArray>("content"); // empty: the file is missing
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out"); // what standard output holds
    const QByteArray changes = "a  b\n";
    const QByteArray same = "a b\r\n";
    const QStringList none;
    QTest::newRow("check unchanged") << "--check" << same << none << 0 << QByteArray();
    QTest::newRow("check changed")
        << "--check" << changes << none << 1 << QByteArray("would change: f.htm\n");
    QTest::newRow("check unreadable") << "--check" << QByteArray() << none << 3 << QByteArray();
    QTest::newRow("check usage") << "--check" << changes << QStringList{u"--jobs=0"_s} << 2
                                 << QByteArray();
    QTest::newRow("check lf") << "--check" << QByteArray("a b\n")
                              << QStringList{u"--line-breaks=lf"_s} << 0 << QByteArray();
    QTest::newRow("check json") << "--check" << changes << QStringList{u"--json"_s} << 1
                                << QByteArray("\"check\": true");
    QTest::newRow("diff unchanged") << "--diff" << same << none << 0 << QByteArray();
    QTest::newRow("diff changed") << "--diff" << changes << none << 1
                                  << QByteArray(
                                         "--- a/f.htm\n+++ b/f.htm\n@@ -1 +1 @@\n-a  b\n+a b\r\n");
    QTest::newRow("diff unreadable") << "--diff" << QByteArray() << none << 3 << QByteArray();
    QTest::newRow("diff usage") << "--diff" << changes << QStringList{u"--json"_s} << 2
                                << QByteArray();
    QTest::newRow("dry-run unchanged")
        << "--dry-run" << same << none << 0 << QByteArray("Total: 1 files, 0 changed");
    QTest::newRow("dry-run changed")
        << "--dry-run" << changes << none << 0 << QByteArray("1 changed");
    QTest::newRow("dry-run unreadable")
        << "--dry-run" << QByteArray() << none << 1 << QByteArray("1 failed");
    // gzip -6 -n gives 25 bytes for both texts.
    QTest::newRow("dry-run gzip") << "--dry-run" << changes << QStringList{u"--compressed-size"_s}
                                  << 0 << QByteArray("saved; gzip 25 -> 25 bytes, 0 saved\n");
    QTest::newRow("- unchanged") << "-" << same << none << 0 << same;
    QTest::newRow("- changed") << "-" << changes << none << 0 << same;
    QTest::newRow("- unreadable") << "-" << QByteArray() << none << 1 << QByteArray();
    QTest::newRow("- usage") << "-" << changes << QStringList{u"--check"_s} << 2 << QByteArray();
    QTest::newRow("dry-run usage")
        << "--dry-run" << changes << QStringList{u"--line-breaks=cr"_s} << 2 << QByteArray();
}

void tst_CliCheck::exitCodes() {
    QFETCH(QString, mode);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, extra);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QTemporaryDir tmp;
    if (!content.isEmpty())
        QVERIFY(WriteBytes(tmp.path() + u"/f.htm"_s, content));
    const Stamp before = StampOf(tmp.path() + u"/f.htm"_s);
    // Standard input that cannot be read: a directory.
    const bool filter = mode == u"-"_s;
    const CliResult r =
        filter
            ? RunCli(QStringList{u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s} +
                         extra + QStringList{mode},
                     tmp.path(), QProcessEnvironment::systemEnvironment(),
                     content.isEmpty() ? tmp.path() : tmp.path() + u"/f.htm"_s)
            : RunCli(QStringList{u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, mode} +
                         extra + QStringList{u"f.htm"_s},
                     tmp.path());
    QVERIFY(!r.crashed);
    QCOMPARE(r.exitCode, status);
    if (out.isEmpty())
        QVERIFY2(r.out.isEmpty() || extra.contains(u"--json"_s), r.out.constData());
    else
        QVERIFY2(r.out.contains(out), r.out.constData());
    if (content.isEmpty() && status != 2) // the failure is named
        QVERIFY2(r.err.contains(filter ? "standard input" : "f.htm"), r.err.constData());
    // Nothing is written.
    QCOMPARE(ReadBytes(tmp.path() + u"/f.htm"_s), content.isEmpty() ? "<unreadable>" : content);
    QCOMPARE(StampOf(tmp.path() + u"/f.htm"_s).mtimeNs, before.mtimeNs);
}

void tst_CliCheck::filter() {
    // A line break in --find stands for the file's; --line-breaks applies.
    QTemporaryDir tmp;
    QVERIFY(WriteBytes(tmp.path() + u"/in"_s, "ax\r\nb\n"));
    const auto env = QProcessEnvironment::systemEnvironment();
    const CliResult r = RunCli(
        {u"replace"_s, u"--find"_s, u"x\n"_s, u"--with"_s, u"y"_s, u"--line-breaks=lf"_s, u"-"_s},
        tmp.path(), env, tmp.path() + u"/in"_s);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("ayb\n"));
}

void tst_CliCheck::diffAppliesAsRunWrites_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("optimize") << QStringList{u"optimize"_s, u"--no-keep-pre"_s,
                                             u"--line-breaks=crlf"_s, u"-r"_s};
    // Names that would inject a file header and hunk, or name an unlisted file.
    QTest::newRow("optimize, hostile names") << QStringList{u"optimize"_s, u"--no-keep-pre"_s,
                                                            u"--line-breaks=crlf"_s, u"-r"_s};
    QTest::newRow("optimize lf") << QStringList{
        u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"-r"_s, u"--line-breaks=lf"_s};
    QTest::newRow("optimize keep-pre") << QStringList{
        u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"-r"_s, u"--keep-pre"_s};
    QTest::newRow("replace across lines") << QStringList{
        u"replace"_s, u"--line-breaks=crlf"_s, u"-r"_s, u"--find"_s, u"b\nc"_s, u"--with"_s,
        u"B"_s};
}

void tst_CliCheck::diffAppliesAsRunWrites() {
    QFETCH(QStringList, args);
    const bool hostile = QByteArray(QTest::currentDataTag()).contains("hostile");
    QTemporaryDir tmp;
    for (const QString& site : {tmp.path() + u"/run/site"_s, tmp.path() + u"/patched/site"_s}) {
        MakeMixedTree(site);
        if (!hostile)
            continue;
        WriteBytes(site + u"/q\n--- a/dev/null\n+++ b/owned.sh\n@@ -0,0 +1 @@\n+echo injected "
                          u"#/x.htm"_s,
                   "a  b\n");
        WriteBytes(site + u"/notes.txt"_s, "a  b\n");
        WriteBytes(site + u"/notes.txt\tx.htm"_s, "a  b\n");
    }
    const CliResult diff =
        RunCli(args + QStringList{u"--diff"_s, u"site"_s}, tmp.path() + u"/patched"_s);
    QCOMPARE(diff.exitCode, 1);
    QVERIFY(WriteBytes(tmp.path() + u"/d.patch"_s, diff.out));
    const CliResult run = RunCli(args + QStringList{u"site"_s}, tmp.path() + u"/run"_s);
    QCOMPARE(run.exitCode, 0);

    QProcess patch;
    patch.setWorkingDirectory(tmp.path() + u"/patched"_s);
    patch.setStandardInputFile(tmp.path() + u"/d.patch"_s);
    patch.start(u"patch"_s, {u"-p1"_s, u"--quiet"_s});
    QVERIFY(patch.waitForFinished(60000));
    QCOMPARE(patch.exitCode(), 0);
    QCOMPARE(Snapshot(tmp.path() + u"/patched"_s), Snapshot(tmp.path() + u"/run"_s));
    if (!args.contains(u"replace"_s)) // a file whose breaks alone change says so
        QVERIFY(diff.out.contains(args.contains(u"--line-breaks=lf"_s)
                                      ? "# line breaks: CR LF -> LF\n--- a/site/crlfonly.htm"
                                      : "# line breaks: LF -> CR LF\n--- a/site/breaksonly.htm"));
}

void tst_CliCheck::unchangedFilesNotWritten_data() {
    QTest::addColumn<bool>("writeAll");
    QTest::newRow("default") << false;
    QTest::newRow("write-all") << true;
}

void tst_CliCheck::unchangedFilesNotWritten() {
    QFETCH(bool, writeAll);
    QTemporaryDir tmp;
    MakeMixedTree(tmp.path());
    // Larger than what a file may hold while deciding, unchanged to its last byte.
    QByteArray big;
    while (big.size() < (9 << 20))
        big += "<p>line</p>\r\n";
    QVERIFY(WriteBytes(tmp.path() + u"/big.htm"_s, big));
    // And one whose only change comes after that: it is read again to be written.
    QVERIFY(WriteBytes(tmp.path() + u"/late.htm"_s, big + "a  b\r\n"));
    const QStringList names{u"same.htm"_s, u"big.htm"_s, u"lf.htm"_s, u"late.htm"_s};
    QList<Stamp> before;
    for (const QString& n : names)
        before << StampOf(tmp.path() + u"/"_s + n);
    QThread::msleep(20); // a new write shows in the modification time
    QStringList args{u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"-r"_s, u"."_s};
    if (writeAll)
        args << u"--write-all"_s;
    const CliResult r = RunCli(args, tmp.path());
    QCOMPARE(r.exitCode, 0);
    // The report names the changed files either way.
    QVERIFY(!r.out.contains("same.htm") && !r.out.contains("big.htm"));
    QVERIFY(r.out.contains("./lf.htm:"));
    QVERIFY2(r.out.contains("Total: 11 files, 7 changed"), r.out.constData());
    for (int i = 0; i < names.size(); ++i) {
        const Stamp now = StampOf(tmp.path() + u"/"_s + names[i]);
        const bool expectWritten = writeAll || names[i] == u"lf.htm"_s || names[i] == u"late.htm"_s;
        QVERIFY2((now.mtimeNs != before[i].mtimeNs) == expectWritten, qPrintable(names[i]));
        if (!expectWritten)
            QCOMPARE(now.inode, before[i].inode);
    }
    QCOMPARE(ReadBytes(tmp.path() + u"/big.htm"_s), big);
    QCOMPARE(ReadBytes(tmp.path() + u"/late.htm"_s), big + "a b\r\n");
}

QTEST_GUILESS_MAIN(tst_CliCheck)
#include "tst_clicheck.moc"
