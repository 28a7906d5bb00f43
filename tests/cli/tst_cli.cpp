// velocitrix-cli as a user runs it: the built program in its own process, on
// temporary files and trees; its files compared with what the main window's
// steps make of the same bytes.

#include "CliRunner.h"

#include "text/Optimizer.h"
#include "text/ReplaceText.h"
#include "text/TextDocument.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace cli_test;

using namespace Qt::StringLiterals;

namespace {

// What "Optimize Dir" then "Save All" leave in a file that held bytes.
QByteArray GuiOptimized(const QString& scratch, const QByteArray& bytes) {
    const QString path = scratch + QStringLiteral("/gui-reference");
    if (!WriteBytes(path, bytes))
        return "<cannot write>";
    TextDocument doc;
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.ReadFromFile(path.toStdString());
    if (doc.JoinedLength() > 0)
        OptimizeDocument(doc);
    const std::string stored = doc.WholeText();
    doc.AssignLines(stored);
    return QByteArray::fromStdString(doc.WholeText());
}

// What "Change Dir" then "Save All" leave in a file that held bytes.
QByteArray GuiReplaced(const QString& scratch, const QByteArray& bytes, const QByteArray& find,
                       const QByteArray& with, bool caseSensitive) {
    const QString path = scratch + QStringLiteral("/gui-reference");
    if (!WriteBytes(path, bytes))
        return "<cannot write>";
    TextDocument doc;
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.ReadFromFile(path.toStdString());
    doc.SetWholeText(
        ReplaceText(doc.WholeText(), find.toStdString(), with.toStdString(), caseSensitive));
    const std::string stored = doc.WholeText();
    doc.AssignLines(stored);
    return QByteArray::fromStdString(doc.WholeText());
}

// A text as the main window's fields hold it: every line break CR LF.
QByteArray Typed(const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes.replace("\r\n", "\n").replace('\r', '\n');
    return bytes.replace("\n", "\r\n");
}

QJsonObject ParseJson(const QByteArray& out) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(out, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        qWarning("not JSON: %s\n%s", qPrintable(error.errorString()), out.constData());
        return {};
    }
    return doc.object();
}

QStringList JsonPaths(const QJsonObject& report) {
    QStringList paths;
    for (const QJsonValue v : report.value(QStringLiteral("files")).toArray())
        paths << v.toObject().value(QStringLiteral("path")).toString();
    return paths;
}

// A tree with files of every kind the walk meets.
void MakeSite(const QString& root) {
    WriteBytes(root + u"/index.htm"_s, "<html>\n  <body>   \t<p>Hello</p>\n\n  </body>\n</html>");
    WriteBytes(root + u"/Style.CSS"_s, "body {\r\n\tmargin:  0;\r\n}\r\n");
    WriteBytes(root + u"/readme.txt"_s, "  not a web file  \n");
    WriteBytes(root + u"/empty.php"_s, "");
    WriteBytes(root + u"/sub/page.html"_s, "\t<pre>  keep  </pre>\n\r\rtext \n");
    WriteBytes(root + u"/sub/deeper/x.shtml"_s, "a  b\rc\n");
    WriteBytes(root + u"/sub/skip.js"_s, "var  x;\n");
}

} // namespace

class tst_Cli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void usageErrors_data();
    void usageErrors();
    void helpAndVersion();
    void optimizeBytes_data();
    void optimizeBytes();
    void replaceBytes_data();
    void replaceBytes();
    void walk_data();
    void walk();
    void listOrder();
    void failingFiles();
    void jobsKeepOrderAndBytes();
    void dryRunWritesNothing();
    void backupKeepsOriginals();
    void backupClash();
    void jsonReport();
    void noProgressBarWithoutTerminal();
    void sameFileOnce();
    void savedTypes_data();
    void savedTypes();
};

void tst_Cli::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("nothing") << QStringList{} << "no command";
    QTest::newRow("unknown command") << QStringList{u"shrink"_s, u"a"_s} << u"unknown command"_s;
    QTest::newRow("unknown option")
        << QStringList{u"optimize"_s, u"--fast"_s, u"a"_s} << u"unknown option"_s;
    QTest::newRow("no path") << QStringList{u"optimize"_s, u"-r"_s} << u"no PATH"_s;
    QTest::newRow("replace without find")
        << QStringList{u"replace"_s, u"--with"_s, u"x"_s, u"a"_s} << u"--find"_s;
    QTest::newRow("replace without with")
        << QStringList{u"replace"_s, u"--find"_s, u"x"_s, u"a"_s} << u"--with"_s;
    QTest::newRow("find twice") << QStringList{u"replace"_s, u"--find"_s, u"x"_s, u"--find"_s,
                                               u"y"_s,       u"--with"_s, u"z"_s, u"a"_s}
                                << "twice";
    QTest::newRow("find on optimize")
        << QStringList{u"optimize"_s, u"--find"_s, u"x"_s, u"a"_s} << u"replace"_s;
    QTest::newRow("jobs 0") << QStringList{u"optimize"_s, u"--jobs"_s, u"0"_s, u"a"_s}
                            << u"--jobs"_s;
    QTest::newRow("jobs word") << QStringList{u"optimize"_s, u"-j"_s, u"two"_s, u"a"_s}
                               << u"--jobs"_s;
    QTest::newRow("jobs missing") << QStringList{u"optimize"_s, u"a"_s, u"--jobs"_s}
                                  << u"needs a value"_s;
    QTest::newRow("bad mask") << QStringList{u"optimize"_s, u"--types"_s, u"*.htm;["_s, u"a"_s}
                              << "'[' is an invalid mask at (2)";
    QTest::newRow("both type sources")
        << QStringList{u"optimize"_s, u"--types=*.htm"_s, u"--saved-types"_s, u"a"_s}
        << u"exclude"_s;
    QTest::newRow("flag with value")
        << QStringList{u"optimize"_s, u"--json=yes"_s, u"a"_s} << u"no value"_s;
}

void tst_Cli::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    QTemporaryDir tmp;
    WriteBytes(tmp.path() + u"/a"_s, "x  y\n");
    const CliResult r = RunCli(args, tmp.path());
    QVERIFY(!r.crashed);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
    QVERIFY(r.out.isEmpty());
    QCOMPARE(ReadBytes(tmp.path() + u"/a"_s), QByteArray("x  y\n")); // nothing touched
}

void tst_Cli::helpAndVersion() {
    const CliResult help = RunCli({u"--help"_s});
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.startsWith("Usage: velocitrix-cli optimize"));
    // It says what is written: changed files (every file with --write-all), with
    // a final break.
    QVERIFY(help.out.contains("the same is left alone"));
    QVERIFY(help.out.contains("gets one"));
    for (const char* option :
         {"--types", "--saved-types", "--recursive", "--find", "--with", "--case-sensitive",
          "--dry-run", "--backup", "--json", "--jobs", "--remove-leftovers", "--check", "--diff",
          "--write-all", "--keep-pre", "--line-breaks", "--compressed-size"})
        QVERIFY2(help.out.contains(option), option);
    const CliResult version = RunCli({u"--version"_s});
    QCOMPARE(version.exitCode, 0);
    QVERIFY(version.out.startsWith("velocitrix-cli 1.2.1\n"));
    const CliResult shortHelp = RunCli({u"replace"_s, u"-h"_s});
    QCOMPARE(shortHelp.exitCode, 0);
    QCOMPARE(shortHelp.out, help.out);
}

void tst_Cli::optimizeBytes_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("handMade"); // worked by hand; empty: not given
    QTest::newRow("worked example") << QByteArray("\t  a  \t b \r\n") << QByteArray("a b\r\n");
    QTest::newRow("last char of a run survives")
        << QByteArray("x \ty\r\nx\t y\r\n") << QByteArray("x\ty\r\nx y\r\n");
    QTest::newRow("blank lines go")
        << QByteArray("a\r\n \t \r\n\r\nb\r\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("LF breaks become CR LF") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("lone CR") << QByteArray("a\rb") << QByteArray("a\r\nb\r\n");
    QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("no final break gets one") << QByteArray("a") << QByteArray("a\r\n");
    QTest::newRow("only white lines") << QByteArray(" \n\t\n\n") << QByteArray("");
    QTest::newRow("empty stays empty") << QByteArray("") << QByteArray("");
    QTest::newRow("no-break space kept") << QByteArray("a \xa0 b\n") << QByteArray("a \xa0 b\r\n");
    QTest::newRow("NUL bytes") << QByteArray("a\0  b\n", 6) << QByteArray("a\0 b\r\n", 6);
    QTest::newRow("already optimal") << QByteArray("a b\r\n") << QByteArray("a b\r\n");
    QByteArray mixed;
    for (int i = 0; i < 2000; ++i)
        mixed += QByteArray(i % 7, ' ') + "line " + QByteArray::number(i) +
                 QByteArray(i % 3, '\t') + (i % 5 ? "\n" : "\r\n") + (i % 11 ? "" : "  \t\r");
    QTest::newRow("long mixed text") << mixed << QByteArray();
    QByteArray large; // over the size that is written on its own
    while (large.size() < (9 << 20))
        large += mixed;
    QTest::newRow("large file") << large << QByteArray();
}

void tst_Cli::optimizeBytes() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, handMade);
    QTemporaryDir tmp;
    const QString file = tmp.path() + u"/page.htm"_s;
    QVERIFY(WriteBytes(file, input));
    const CliResult r = RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, file});
    QCOMPARE(r.exitCode, 0);
    const QByteArray written = ReadBytes(file);
    QCOMPARE(written, GuiOptimized(tmp.path(), input));
    if (!handMade.isNull())
        QCOMPARE(written, handMade);
    // The report: one line for a changed file, and the total.
    const QList<QByteArray> lines = Lines(r.out);
    QCOMPARE(lines.size(), written == input ? 1 : 2);
    QVERIFY(lines.last().startsWith("Total: 1 files, "));
}

void tst_Cli::replaceBytes_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("with");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QByteArray>("handMade");
    QTest::newRow("case ignored") << QByteArray("Foo fOO FOO\n") << "foo"
                                  << "Bar" << false << QByteArray("Bar Bar Bar\r\n");
    QTest::newRow("case kept") << QByteArray("Foo fOO FOO\n") << "foo"
                               << "Bar" << true << QByteArray("Foo fOO FOO\r\n");
    QTest::newRow("no overlaps") << QByteArray("aaa") << "aa"
                                 << "b" << true << QByteArray("ba\r\n");
    QTest::newRow("not searched again") << QByteArray("aaa") << "a"
                                        << "aa" << true << QByteArray("aaaaaa\r\n");
    QTest::newRow("empty with deletes") << QByteArray("x-y-z\n") << "-"
                                        << "" << true << QByteArray("xyz\r\n");
    QTest::newRow("empty find changes nothing") << QByteArray("a\nb") << ""
                                                << "q" << false << QByteArray("a\r\nb\r\n");
    // A line break typed in either text is CR LF, as in the main window's fields.
    QTest::newRow("typed line break") << QByteArray("one\ntwo\nthree\n") << "one\ntwo"
                                      << "1\n2" << true << QByteArray("1\r\n2\r\nthree\r\n");
    QTest::newRow("replacement with a lone CR") << QByteArray("a;b\r\n") << ";"
                                                << "\r" << true << QByteArray("a\r\nb\r\n");
    QTest::newRow("untouched case stays") << QByteArray("ABC-Def") << "abc"
                                          << "x" << false << QByteArray("x-Def\r\n");
}

void tst_Cli::replaceBytes() {
    QFETCH(QByteArray, input);
    QFETCH(QString, find);
    QFETCH(QString, with);
    QFETCH(bool, caseSensitive);
    QFETCH(QByteArray, handMade);
    QTemporaryDir tmp;
    const QString file = tmp.path() + u"/page.php"_s;
    QVERIFY(WriteBytes(file, input));
    QStringList args{u"replace"_s, u"--line-breaks=crlf"_s, u"--find"_s,
                     find,         u"--with="_s + with,     file};
    if (caseSensitive)
        args.insert(1, u"--case-sensitive"_s);
    const CliResult r = RunCli(args);
    QCOMPARE(r.exitCode, 0);
    const QByteArray written = ReadBytes(file);
    QCOMPARE(written, handMade);
    QCOMPARE(written, GuiReplaced(tmp.path(), input, Typed(find), Typed(with), caseSensitive));
}

void tst_Cli::walk_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("default types, top only")
        << QStringList{} << QStringList{u"empty.php"_s, u"index.htm"_s, u"Style.CSS"_s};
    QTest::newRow("default types, recursive")
        << QStringList{u"--recursive"_s}
        << QStringList{u"empty.php"_s, u"index.htm"_s, u"Style.CSS"_s, u"sub/deeper/x.shtml"_s,
                       u"sub/page.html"_s};
    QTest::newRow("own types") << QStringList{u"-r"_s, u"--types"_s, u" *.js ; *.txt"_s}
                               << QStringList{u"readme.txt"_s, u"sub/skip.js"_s};
    QTest::newRow("no types") << QStringList{u"-r"_s, u"--types="_s} << QStringList{};
    QTest::newRow("a directory named like a mask")
        << QStringList{u"-r"_s, u"--types"_s, u"sub;*.js"_s}
        << QStringList{u"sub"_s, u"sub/skip.js"_s};
}

void tst_Cli::walk() {
    QFETCH(QStringList, options);
    QFETCH(QStringList, listed);
    QTemporaryDir tmp;
    const QString site = tmp.path() + u"/site"_s;
    MakeSite(site);
    const QMap<QString, QByteArray> before = Snapshot(site);
    const CliResult r = RunCli(
        QStringList{u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"--json"_s} +
        options + QStringList{site});
    const QJsonObject report = ParseJson(r.out);
    QStringList expected;
    for (const QString& rel : listed)
        expected << site + u"/"_s + rel;
    QCOMPARE(JsonPaths(report), expected);
    const bool dirListed = listed.contains(u"sub"_s);
    QCOMPARE(r.exitCode, dirListed ? 1 : 0);
    if (dirListed)
        QVERIFY2(r.err.contains(
                     (u"Cannot open file \""_s + site + u"/sub\". Is a directory."_s).toUtf8()),
                 r.err.constData());
    // Files listed are written as the main window writes them; the others are left alone.
    const QMap<QString, QByteArray> after = Snapshot(site);
    QCOMPARE(after.keys(), before.keys());
    for (auto it = before.begin(); it != before.end(); ++it) {
        const QByteArray want =
            listed.contains(it.key()) ? GuiOptimized(tmp.path(), it.value()) : it.value();
        QCOMPARE(after.value(it.key()), want);
    }
}

void tst_Cli::listOrder() {
    // Alphabetical with the case of A to Z ignored ('_' sorts before letters), one
    // "/" between directory and name, however the directory was written.
    QTemporaryDir tmp;
    for (const char* name : {"c.htm", "_x.htm", "B.htm", "a.htm", "a0.htm", "A.htm.htm"})
        WriteBytes(tmp.path() + u"/d/"_s + QLatin1String(name), "x\r\n");
    const CliResult r =
        RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"--json"_s, u"d//"_s},
               tmp.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(JsonPaths(ParseJson(r.out)),
             (QStringList{u"d/_x.htm"_s, u"d/a.htm"_s, u"d/A.htm.htm"_s, u"d/a0.htm"_s,
                          u"d/B.htm"_s, u"d/c.htm"_s}));
}

void tst_Cli::failingFiles() {
    QTemporaryDir tmp;
    const QString site = tmp.path() + u"/site"_s;
    WriteBytes(site + u"/a.htm"_s, "a  a\n");
    WriteBytes(site + u"/b.htm"_s, "b  b\n");
    WriteBytes(site + u"/c.htm"_s, "c  c\n");
    QDir().mkpath(site + u"/m.htm"_s); // a directory named like a mask
    QVERIFY(::chmod(QFile::encodeName(site + u"/b.htm"_s).constData(), 0444) == 0);
    const QString gone = tmp.path() + u"/gone.htm"_s;
    const CliResult r =
        RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, site, gone});
    QCOMPARE(r.exitCode, 1);
    const QList<QByteArray> errors = Lines(r.err);
    QCOMPARE(errors.size(), 3);
    // In list order, worded as the error box words them.
    QCOMPARE(errors[0],
             (u"velocitrix-cli: Cannot open file \""_s + gone + u"\". No such file or directory."_s)
                 .toUtf8());
    QCOMPARE(errors[1],
             (u"velocitrix-cli: Cannot create file \""_s + site + u"/b.htm\". Permission denied."_s)
                 .toUtf8());
    QCOMPARE(errors[2],
             (u"velocitrix-cli: Cannot open file \""_s + site + u"/m.htm\". Is a directory."_s)
                 .toUtf8());
    // The others are done.
    QCOMPARE(ReadBytes(site + u"/a.htm"_s), QByteArray("a a\r\n"));
    QCOMPARE(ReadBytes(site + u"/b.htm"_s), QByteArray("b  b\n"));
    QCOMPARE(ReadBytes(site + u"/c.htm"_s), QByteArray("c c\r\n"));
    QVERIFY(Lines(r.out).last().startsWith("Total: 5 files, 2 changed, 3 failed"));
}

void tst_Cli::jobsKeepOrderAndBytes() {
    QTemporaryDir tmp;
    // More files than one write chunk holds, over several directories.
    for (int i = 0; i < 600; ++i) {
        const QString dir = tmp.path() + QStringLiteral("/one/d%1").arg(i % 7);
        QByteArray text;
        for (int k = 0; k < i % 13; ++k)
            text += QByteArray(k % 4, ' ') + "<p>  item " + QByteArray::number(i * k) + "</p>\t\n";
        WriteBytes(dir + QStringLiteral("/f%1.%2").arg(i).arg(i % 3 ? u"htm"_s : u"CSS"_s), text);
    }
    WriteBytes(tmp.path() + u"/one/d3/pre.html"_s, "<pre>  x</pre>\n");
    QDir().mkpath(tmp.path() + u"/one/d2/bad.htm"_s);
    QVERIFY(QProcess::execute(u"cp"_s, {u"-a"_s, tmp.path() + u"/one"_s, tmp.path() + u"/two"_s}) ==
            0);

    const CliResult r1 = RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s,
                                 u"-r"_s, u"--jobs"_s, u"1"_s, u"one"_s},
                                tmp.path());
    const CliResult r2 = RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s,
                                 u"-r"_s, u"--jobs=2"_s, u"two"_s},
                                tmp.path());
    QCOMPARE(r1.exitCode, 1);
    QCOMPARE(r2.exitCode, 1);
    QByteArray out2 = r2.out;
    QByteArray err2 = r2.err;
    out2.replace("two/", "one/");
    err2.replace("/two/", "/one/").replace("two/", "one/");
    QCOMPARE(out2, r1.out);
    QCOMPARE(err2, r1.err);
    QCOMPARE(Snapshot(tmp.path() + u"/two"_s), Snapshot(tmp.path() + u"/one"_s));
    QVERIFY(Lines(r1.out).size() > 300);
}

void tst_Cli::dryRunWritesNothing() {
    QTemporaryDir tmp;
    const QString site = tmp.path() + u"/site"_s;
    MakeSite(site);
    const QMap<QString, QByteArray> before = Snapshot(site);
    struct stat st {};
    QVERIFY(::stat(QFile::encodeName(site + u"/index.htm"_s).constData(), &st) == 0);
    const CliResult dry =
        RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"-r"_s, u"--dry-run"_s,
                u"--backup"_s, tmp.path() + u"/bak"_s, site});
    QCOMPARE(dry.exitCode, 0);
    QCOMPARE(Snapshot(site), before);
    QVERIFY(!QFileInfo::exists(tmp.path() + u"/bak"_s));
    struct stat st2 {};
    QVERIFY(::stat(QFile::encodeName(site + u"/index.htm"_s).constData(), &st2) == 0);
    QCOMPARE(st2.st_ino, st.st_ino);
    QCOMPARE(st2.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
    QVERIFY(Lines(dry.out).last().endsWith("(dry run: nothing written)"));
    // It reports what the real run then does.
    const CliResult real =
        RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"-r"_s, site});
    QCOMPARE(real.exitCode, 0);
    QList<QByteArray> dryLines = Lines(dry.out);
    QList<QByteArray> realLines = Lines(real.out);
    dryLines.last().replace(" (dry run: nothing written)", "");
    QCOMPARE(dryLines, realLines);
    QVERIFY(Snapshot(site) != before);
}

void tst_Cli::backupKeepsOriginals() {
    QTemporaryDir tmp;
    const QString site = tmp.path() + u"/site"_s;
    MakeSite(site);
    WriteBytes(tmp.path() + u"/single.htm"_s, "  lone  file\n");
    const QMap<QString, QByteArray> before = Snapshot(site);
    const QString bak = tmp.path() + u"/backups/today"_s;
    const CliResult r =
        RunCli({u"replace"_s, u"--line-breaks=crlf"_s, u"--find"_s, u"p"_s, u"--with"_s, u"P"_s,
                u"-r"_s, u"--backup"_s, bak, site, tmp.path() + u"/single.htm"_s});
    QCOMPARE(r.exitCode, 0);
    const QMap<QString, QByteArray> saved = Snapshot(bak);
    // Only files that are written are copied (the style sheet and the empty file
    // stay as they are).
    QCOMPARE(saved.keys(), (QStringList{u"index.htm"_s, u"single.htm"_s, u"sub/deeper/x.shtml"_s,
                                        u"sub/page.html"_s}));
    for (const QString& rel : saved.keys()) {
        if (rel == u"single.htm"_s)
            QCOMPARE(saved.value(rel), QByteArray("  lone  file\n"));
        else
            QCOMPARE(saved.value(rel), before.value(rel));
    }
    QCOMPARE(ReadBytes(site + u"/sub/page.html"_s),
             GuiReplaced(tmp.path(), before.value(u"sub/page.html"_s), "p", "P", false));
}

void tst_Cli::backupClash() {
    // Two files that would share one copy: the second is not written.
    QTemporaryDir tmp;
    WriteBytes(tmp.path() + u"/a/x.htm"_s, "a  1\n");
    WriteBytes(tmp.path() + u"/b/x.htm"_s, "b  2\n");
    const CliResult r = RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s,
                                u"--backup"_s, u"bak"_s, u"a"_s, u"b"_s},
                               tmp.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("Cannot create file \"bak/x.htm\". File exists."), r.err.constData());
    QCOMPARE(ReadBytes(tmp.path() + u"/bak/x.htm"_s), QByteArray("a  1\n"));
    QCOMPARE(ReadBytes(tmp.path() + u"/a/x.htm"_s), QByteArray("a 1\r\n"));
    QCOMPARE(ReadBytes(tmp.path() + u"/b/x.htm"_s), QByteArray("b  2\n"));
}

void tst_Cli::jsonReport() {
    QTemporaryDir tmp;
    const QString site = tmp.path() + u"/site"_s;
    MakeSite(site);
    QDir().mkpath(site + u"/dir.htm"_s);
    const CliResult r = RunCli(
        {u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"-r"_s, u"--json"_s, site});
    QCOMPARE(r.exitCode, 1);
    const QJsonObject report = ParseJson(r.out);
    QCOMPARE(report.value(u"command"_s).toString(), QStringLiteral("optimize"));
    QCOMPARE(report.value(u"exitStatus"_s).toInt(), 1);
    const QJsonArray files = report.value(u"files"_s).toArray();
    QCOMPARE(files.size(), 6);
    qint64 before = 0;
    qint64 after = 0;
    int failed = 0;
    int pre = 0;
    for (const QJsonValue v : files) {
        const QJsonObject f = v.toObject();
        if (!f.value(u"ok"_s).toBool()) {
            ++failed;
            QVERIFY(f.value(u"error"_s).toString().startsWith(u"Cannot open file"_s));
            continue;
        }
        const QString path = f.value(u"path"_s).toString();
        QCOMPARE(f.value(u"after"_s).toInteger(), QFileInfo(path).size());
        QCOMPARE(f.value(u"saved"_s).toInteger(),
                 f.value(u"before"_s).toInteger() - f.value(u"after"_s).toInteger());
        QCOMPARE(f.value(u"empty"_s).toBool(), path.endsWith(u"empty.php"_s));
        pre += f.value(u"pre"_s).toBool() ? 1 : 0;
        before += f.value(u"before"_s).toInteger();
        after += f.value(u"after"_s).toInteger();
    }
    const QJsonObject total = report.value(u"total"_s).toObject();
    QCOMPARE(failed, 1);
    QCOMPARE(pre, 1);
    QCOMPARE(total.value(u"failed"_s).toInt(), 1);
    QCOMPARE(total.value(u"pre"_s).toInt(), 1);
    QCOMPARE(total.value(u"before"_s).toInteger(), before);
    QCOMPARE(total.value(u"after"_s).toInteger(), after);
    QCOMPARE(total.value(u"saved"_s).toInteger(), before - after);
    QVERIFY(r.err.contains("<pre> tags have been detected in " + site.toUtf8() + "/sub/page.html"));
}

void tst_Cli::noProgressBarWithoutTerminal() {
    QTemporaryDir tmp;
    for (int i = 0; i < 3000; ++i)
        WriteBytes(tmp.path() + QStringLiteral("/t/f%1.htm").arg(i), "a  b\n");
    const CliResult r =
        RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"t"_s}, tmp.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());
    QVERIFY(!r.out.contains('\r'));
}

void tst_Cli::sameFileOnce() {
    // A file named twice, or through a second link, is worked on once.
    QTemporaryDir tmp;
    WriteBytes(tmp.path() + u"/d/a.htm"_s, "a\n");
    QVERIFY(::link(QFile::encodeName(tmp.path() + u"/d/a.htm"_s).constData(),
                   QFile::encodeName(tmp.path() + u"/d/b.htm"_s).constData()) == 0);
    const CliResult r = RunCli({u"replace"_s, u"--line-breaks=crlf"_s, u"--json"_s, u"--find"_s,
                                u"a"_s, u"--with"_s, u"aa"_s, u"d"_s, u"d/a.htm"_s, u"./d/b.htm"_s},
                               tmp.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(JsonPaths(ParseJson(r.out)), QStringList{u"./d/b.htm"_s});
    QCOMPARE(ReadBytes(tmp.path() + u"/d/a.htm"_s), QByteArray("aa\r\n"));
}

void tst_Cli::savedTypes_data() {
    QTest::addColumn<QByteArray>("hive"); // empty: none
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("listed");
    const QByteArray key = "{\"keys\": {\"Software\\\\Velocitrix Website Optimizer\": {";
    QTest::newRow("no store: default types")
        << QByteArray() << 0 << QStringList{u"a.htm"_s, u"b.css"_s};
    QTest::newRow("saved types")
        << key + "\"filetypes\": {\"type\": \"REG_SZ\", \"data\": \"*.txt;*.CSS\"}, "
                 "\"unchecked\": {\"type\": \"REG_SZ\", \"data\": \"*.htm\"}}}}"
        << 0 << QStringList{u"b.css"_s, u"c.txt"_s};
    QTest::newRow("all switched off")
        << key + "\"filetypes\": {\"type\": \"REG_SZ\", \"data\": \"\"}, "
                 "\"unchecked\": {\"type\": \"REG_SZ\", \"data\": \"*.htm\"}}}}"
        << 0 << QStringList{};
    QTest::newRow("both empty: default types")
        << key + "\"filetypes\": {\"type\": \"REG_SZ\", \"data\": \"\"}}}}" << 0
        << QStringList{u"a.htm"_s, u"b.css"_s};
    QTest::newRow("mistyped option") << key + "\"recursive\": {\"type\": \"REG_DWORD\", \"data\": "
                                              "1}, \"filetypes\": {\"type\": \"REG_SZ\", "
                                              "\"data\": \"*.txt\"}}}}"
                                     << 1 << QStringList{};
}

void tst_Cli::savedTypes() {
    QFETCH(QByteArray, hive);
    QFETCH(int, exitCode);
    QFETCH(QStringList, listed);
    QTemporaryDir tmp;
    const QString config = tmp.path() + u"/config"_s;
    QDir().mkpath(config);
    if (!hive.isEmpty())
        QVERIFY(WriteBytes(config + u"/velocitrix-website-optimizer/registry.json"_s, hive));
    for (const char* name : {"a.htm", "b.css", "c.txt"})
        WriteBytes(tmp.path() + u"/d/"_s + QLatin1String(name), "x  y\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, config);
    const CliResult r = RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s,
                                u"--saved-types"_s, u"--json"_s, u"d"_s},
                               tmp.path(), env);
    QCOMPARE(r.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY2(r.err.contains("Invalid data type for 'recursive'"), r.err.constData());
        QCOMPARE(ReadBytes(tmp.path() + u"/d/c.txt"_s), QByteArray("x  y\n"));
        return;
    }
    QStringList expected;
    for (const QString& name : listed)
        expected << u"d/"_s + name;
    QCOMPARE(JsonPaths(ParseJson(r.out)), expected);
    // The store is only read.
    QCOMPARE(QFileInfo::exists(config + u"/velocitrix-website-optimizer/registry.json"_s),
             !hive.isEmpty());
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
