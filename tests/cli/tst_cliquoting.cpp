// File names as velocitrix-cli prints them: in diff headers as GNU diff quotes
// them, in the report as "ls --quoting-style=shell-escape" does; a shell given
// the quoted form gets the name's bytes back.

#include "cli/QuotedNames.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Makes a/NAME and b/NAME, then prints, each followed by NUL: the bytes the
// shell makes of QUOTED, what ls prints for NAME, diff -u's "---" label.
const char* const Script = R"(cd "$1"
IFS= read -r -d '' name < name.bin
IFS= read -r -d '' quoted < quoted.bin
mkdir a b && printf 1 > "a/$name" && printf 2 > "b/$name"
eval "printf '%s\0' $quoted"
(cd a && LC_ALL=C.UTF-8 ls -d --quoting-style=shell-escape -- "$name"); printf '\0'
diff -u "a/$name" "b/$name" | head -n1 | cut -f1; printf '\0'
rm -r a b
)";

} // namespace

class tst_CliQuoting : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void hostileNames_data();
    void hostileNames();
};

void tst_CliQuoting::hostileNames_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("shell"); // as ls prints it
    QTest::addColumn<bool>("asLs");        // false: escaped where ls prints it raw
    QTest::newRow("plain") << QByteArray("a-b_c.htm") << QByteArray("a-b_c.htm") << true;
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9.htm") << QByteArray("caf\xc3\xa9.htm")
                           << true;
    QTest::newRow("line breaks")
        << QByteArray("q\n+++ b\n@@ -0,0 +1 @@\n+echo injected #")
        << QByteArray("'q'$'\\n''+++ b'$'\\n''@@ -0,0 +1 @@'$'\\n''+echo injected #'") << true;
    QTest::newRow("TAB") << QByteArray("notes.txt\tx.htm") << QByteArray("'notes.txt'$'\\t''x.htm'")
                         << true;
    QTest::newRow("single quote") << QByteArray("it's.htm") << QByteArray("\"it's.htm\"") << true;
    QTest::newRow("quote and break")
        << QByteArray("a'\nb") << QByteArray("'a'\\'''$'\\n''b'") << true;
    QTest::newRow("backslash") << QByteArray("a\\b") << QByteArray("'a\\b'") << true;
    QTest::newRow("ESC") << QByteArray("e\x1b[31mred") << QByteArray("'e'$'\\033''[31mred'")
                         << true;
    QTest::newRow("not UTF-8") << QByteArray("\xff.htm") << QByteArray("''$'\\377''.htm'") << true;
    QTest::newRow("right-to-left override")
        << QByteArray("a\xe2\x80\xaegnp.htm") << QByteArray("'a'$'\\342\\200\\256''gnp.htm'")
        << false;
}

void tst_CliQuoting::hostileNames() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, shell);
    QFETCH(bool, asLs);
    const std::string quoted = QuotedName(name.toStdString());
    QCOMPARE(QByteArray::fromStdString(quoted), shell);
    QCOMPARE(NameNeedsQuoting(name.toStdString()), shell != name);

    QTemporaryDir tmp;
    for (const QByteArray& file : {QByteArray("name.bin"), QByteArray("quoted.bin")}) {
        const QByteArray& bytes = file == "name.bin" ? name : shell;
        QFile f(tmp.filePath(QString::fromLatin1(file)));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    QProcess bash;
    bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), QString::fromLatin1(Script),
                                        QStringLiteral("bash"), tmp.path()});
    QVERIFY(bash.waitForFinished(30000));
    const QList<QByteArray> out = bash.readAllStandardOutput().split('\0');
    QVERIFY2(out.size() == 4, bash.readAllStandardError().constData());
    QCOMPARE(out[0], name); // the shell takes the quoted form back
    if (asLs)
        QCOMPARE(out[1], shell + "\n");
    QCOMPARE(QByteArray::fromStdString("--- " + DiffHeaderName("a/" + name.toStdString())) + "\n",
             out[2]);
}

QTEST_APPLESS_MAIN(tst_CliQuoting)
#include "tst_cliquoting.moc"
