// The command line of velocitrix-cli: what each option sets, and what is refused.

#include "cli/Options.h"

#include <QtTest>

#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

ParsedCommandLine Parse(const QStringList& args) {
    std::vector<std::string> keep{"velocitrix-cli"};
    for (const QString& a : args)
        keep.push_back(a.toStdString());
    std::vector<const char*> argv;
    for (const std::string& s : keep)
        argv.push_back(s.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

QStringList Paths(const CliOptions& o) {
    QStringList paths;
    for (const std::string& p : o.paths)
        paths << QString::fromStdString(p);
    return paths;
}

} // namespace

class tst_CliOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void typedText_data();
    void typedText();
};

void tst_CliOptions::accepted_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("paths");
    // summary: command, recursive, dry run, json, jobs, types, backup, case-sensitive, find, with,
    // preformatted text kept, line breaks
    QTest::newRow("plain optimize")
        << QStringList{u"optimize"_s, u"a"_s} << u"O r0 n0 j0 1 [] [] c0 [] [] k1 keep"_s
        << QStringList{u"a"_s};
    QTest::newRow("short flags after paths")
        << QStringList{u"optimize"_s, u"a"_s,  u"b"_s,   u"-r"_s, u"-n"_s, u"-j"_s,
                       u"3"_s,        u"-t"_s, u"*.x"_s, u"-b"_s, u"B"_s}
        << u"O r1 n1 j0 3 [*.x] [B] c0 [] [] k1 keep"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("long forms with =")
        << QStringList{u"optimize"_s, u"--recursive"_s,         u"--dry-run"_s,       u"--json"_s,
                       u"--jobs=2"_s, u"--types=*.htm;*.css"_s, u"--backup=/tmp/b"_s, u"x"_s}
        << u"O r1 n1 j1 2 [*.htm;*.css] [/tmp/b] c0 [] [] k1 keep"_s << QStringList{u"x"_s};
    QTest::newRow("replace") << QStringList{u"replace"_s, u"--find"_s, u"-x"_s,
                                            u"--with"_s,  u""_s,       u"p"_s}
                             << u"R r0 n0 j0 1 [] [] c0 [-x] [] k1 keep"_s << QStringList{u"p"_s};
    QTest::newRow("replace case-sensitive")
        << QStringList{u"replace"_s, u"--case-sensitive"_s, u"--find=a=b"_s, u"--with=c"_s, u"p"_s}
        << u"R r0 n0 j0 1 [] [] c1 [a=b] [c] k1 keep"_s << QStringList{u"p"_s};
    QTest::newRow("double dash") << QStringList{u"optimize"_s, u"--"_s, u"-r"_s, u"--json"_s}
                                 << u"O r0 n0 j0 1 [] [] c0 [] [] k1 keep"_s
                                 << QStringList{u"-r"_s, u"--json"_s};
    QTest::newRow("dash alone is a path")
        << QStringList{u"optimize"_s, u"-"_s} << u"O r0 n0 j0 1 [] [] c0 [] [] k1 keep"_s
        << QStringList{u"-"_s};
    QTest::newRow("empty types") << QStringList{u"optimize"_s, u"--types"_s, u""_s, u"a"_s}
                                 << u"O r0 n0 j0 1 [] [] c0 [] [] k1 keep"_s << QStringList{u"a"_s};
    QTest::newRow("window's rules")
        << QStringList{u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"a"_s}
        << u"O r0 n0 j0 1 [] [] c0 [] [] k0 crlf"_s << QStringList{u"a"_s};
    QTest::newRow("the last of the preformatted flags counts")
        << QStringList{u"optimize"_s,
                       u"--no-keep-pre"_s,
                       u"--keep-preformatted"_s,
                       u"--line-breaks"_s,
                       u"lf"_s,
                       u"a"_s}
        << u"O r0 n0 j0 1 [] [] c0 [] [] k1 lf"_s << QStringList{u"a"_s};
    QTest::newRow("breaks kept, asked")
        << QStringList{u"optimize"_s, u"--line-breaks=crlf"_s, u"--line-breaks=keep"_s, u"a"_s}
        << u"O r0 n0 j0 1 [] [] c0 [] [] k1 keep"_s << QStringList{u"a"_s};
}

void tst_CliOptions::accepted() {
    QFETCH(QStringList, args);
    QFETCH(QString, summary);
    QFETCH(QStringList, paths);
    const ParsedCommandLine p = Parse(args);
    QVERIFY2(p.error.empty(), p.error.c_str());
    const CliOptions& o = p.options;
    const char* const breaks[] = {"crlf", "lf", "keep"};
    const QString got =
        QStringLiteral("%1 r%2 n%3 j%4 %5 [%6] [%7] c%8 [%9] [%10] k%11 %12")
            .arg(o.command == CliCommand::Optimize ? u"O"_s : u"R"_s)
            .arg(int(o.recursive))
            .arg(int(o.dryRun))
            .arg(int(o.json))
            .arg(o.jobs)
            .arg(QString::fromStdString(o.types), QString::fromStdString(o.backupDir))
            .arg(int(o.caseSensitive))
            .arg(QString::fromStdString(o.find), QString::fromStdString(o.with))
            .arg(int(o.keepPre))
            .arg(QLatin1String(breaks[int(o.lineBreaks)]));
    QCOMPARE(got, summary);
    QCOMPARE(Paths(o), paths);
    QCOMPARE(o.typesGiven, args.contains(u"-t"_s) || args.contains(u"--types"_s) ||
                               args.filter(u"--types="_s).size() > 0);
}

void tst_CliOptions::refused_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{u"a"_s};
    QTest::newRow("no path") << QStringList{u"optimize"_s};
    QTest::newRow("jobs too many") << QStringList{u"optimize"_s, u"-j"_s, u"257"_s, u"a"_s};
    QTest::newRow("jobs negative") << QStringList{u"optimize"_s, u"-j"_s, u"-1"_s, u"a"_s};
    QTest::newRow("jobs trailing") << QStringList{u"optimize"_s, u"-j"_s, u"2x"_s, u"a"_s};
    QTest::newRow("empty backup") << QStringList{u"optimize"_s, u"--backup="_s, u"a"_s};
    QTest::newRow("case-sensitive on optimize")
        << QStringList{u"optimize"_s, u"--case-sensitive"_s, u"a"_s};
    QTest::newRow("with twice") << QStringList{u"replace"_s, u"--find"_s, u"a"_s, u"--with"_s,
                                               u"b"_s,       u"--with"_s, u"c"_s, u"p"_s};
    QTest::newRow("short option with =") << QStringList{u"optimize"_s, u"-r=1"_s, u"a"_s};
    QTest::newRow("types value missing") << QStringList{u"optimize"_s, u"a"_s, u"--types"_s};
    QTest::newRow("no-keep-pre on replace")
        << QStringList{u"replace"_s, u"--no-keep-pre"_s, u"--find=a"_s, u"--with=b"_s, u"p"_s};
    QTest::newRow("no-keep-pre with a value")
        << QStringList{u"optimize"_s, u"--no-keep-pre=1"_s, u"a"_s};
    QTest::newRow("unknown line breaks")
        << QStringList{u"optimize"_s, u"--line-breaks=cr"_s, u"a"_s};
}

void tst_CliOptions::refused() {
    QFETCH(QStringList, args);
    QVERIFY(!Parse(args).error.empty());
}

void tst_CliOptions::typedText_data() {
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("held");
    QTest::newRow("none") << QByteArray("abc") << QByteArray("abc");
    QTest::newRow("LF") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR") << QByteArray("a\rb") << QByteArray("a\r\nb");
    QTest::newRow("CR LF kept") << QByteArray("a\r\nb") << QByteArray("a\r\nb");
    QTest::newRow("LF CR") << QByteArray("\n\r") << QByteArray("\r\n\r\n");
}

void tst_CliOptions::typedText() {
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, held);
    QCOMPARE(QByteArray::fromStdString(TypedText(typed.toStdString())), held);
}

QTEST_GUILESS_MAIN(tst_CliOptions)
#include "tst_clioptions.moc"
