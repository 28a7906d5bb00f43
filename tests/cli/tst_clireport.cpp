// The report's texts: error-box wording, JSON strings, and the lines and document.

#include "cli/FileList.h"
#include "cli/Pipeline.h"
#include "cli/Report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Runs fill on a reporter writing into two temporary files; returns (out, err).
template <typename Fill> std::pair<QByteArray, QByteArray> Capture(bool json, Fill fill) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
        Reporter r(json, true, false, out, err);
        fill(r);
    }
    auto readAll = [](std::FILE* f) {
        QByteArray bytes;
        std::rewind(f);
        char buf[4096];
        while (const std::size_t n = std::fread(buf, 1, sizeof buf, f))
            bytes.append(buf, static_cast<qsizetype>(n));
        std::fclose(f);
        return bytes;
    };
    QByteArray o = readAll(out);
    return {o, readAll(err)};
}

FileOutcome Done(std::size_t before, std::size_t after, bool pre = false) {
    FileOutcome o;
    o.before = before;
    o.after = after;
    o.changed = before != after;
    o.hasPre = pre;
    return o;
}

FileOutcome Failed(const char* message) {
    FileOutcome o;
    o.failed = true;
    o.error = message;
    return o;
}

} // namespace

class tst_CliReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void errorBoxText_data();
    void errorBoxText();
    void jsonString_data();
    void jsonString();
    void lines();
    void namesInText_data();
    void namesInText();
    void document();
};

void tst_CliReport::errorBoxText_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("letter") << QByteArray("Is a directory") << QByteArray("Is a directory.");
    QTest::newRow("apostrophe") << QByteArray("for 'x'") << QByteArray("for 'x'");
    QTest::newRow("dot") << QByteArray("done.") << QByteArray("done.");
    QTest::newRow("closing bracket") << QByteArray("at (2)") << QByteArray("at (2)");
    QTest::newRow("digit") << QByteArray("code 5") << QByteArray("code 5.");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void tst_CliReport::errorBoxText() {
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, shown);
    QCOMPARE(QByteArray::fromStdString(ErrorBoxText(message.toStdString())), shown);
}

void tst_CliReport::jsonString_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QByteArray("a b") << QStringLiteral("a b");
    QTest::newRow("quotes and backslash") << QByteArray("\"x\\y\"") << QStringLiteral("\"x\\y\"");
    QTest::newRow("controls") << QByteArray("\t\r\n\x01\x7f") << QStringLiteral("\t\r\n\x01\x7f");
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80")
                           << QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9") << QStringLiteral("caf\ufffd");
    QTest::newRow("overlong") << QByteArray("\xc0\xaf") << QStringLiteral("\ufffd\ufffd");
    QTest::newRow("cut short") << QByteArray("\xe2\x82") << QStringLiteral("\ufffd\ufffd");
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80")
                               << QStringLiteral("\ufffd\ufffd\ufffd");
}

void tst_CliReport::jsonString() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QByteArray doc = "[" + QByteArray::fromStdString(JsonString(bytes.toStdString())) + "]";
    QJsonParseError error{};
    const QJsonDocument parsed = QJsonDocument::fromJson(doc, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(parsed.array().at(0).toString(), text);
}

void tst_CliReport::lines() {
    const auto [out, err] = Capture(false, [](Reporter& r) {
        r.File(ListEntry{"a.htm", "a.htm", "a.htm"}, Done(10, 4));
        r.File(ListEntry{"b.htm", "b.htm", "b.htm"}, Done(5, 5));
        r.File(ListEntry{"c.htm", "c.htm", "c.htm"}, Failed("Cannot open file \"c.htm\". Gone"));
        r.File(ListEntry{"d.htm", "d.htm", "d.htm"}, Done(3, 9, true));
        r.Finish(1);
    });
    QCOMPARE(out, QByteArray("a.htm: 10 -> 4 bytes, 6 saved\n"
                             "d.htm: 3 -> 9 bytes, -6 saved\n"
                             "Total: 4 files, 2 changed, 1 failed; 18 -> 18 bytes, 0 saved\n"));
    const QList<QByteArray> errors = err.split('\n');
    QCOMPARE(errors.at(0), QByteArray("velocitrix-cli: Cannot open file \"c.htm\". Gone."));
    QVERIFY(errors.at(1).startsWith("velocitrix-cli: warning: <pre> tags have been detected in "
                                    "d.htm"));
}

void tst_CliReport::namesInText_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("plain") << QByteArray("site/a.htm") << QByteArray("site/a.htm");
    QTest::newRow("line break") << QByteArray("site/a\nwould change: ghost.htm")
                                << QByteArray("'site/a'$'\\n''would change: ghost.htm'");
    QTest::newRow("escape") << QByteArray("site/\x1b[2J.htm")
                            << QByteArray("'site/'$'\\033''[2J.htm'");
}

void tst_CliReport::namesInText() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, shown);
    const std::string p = path.toStdString();
    const auto [out, err] = Capture(false, [&](Reporter& r) {
        r.SetCheck(true);
        r.File(ListEntry{p, p, p}, Done(10, 4, true));
        r.File(ListEntry{p, p, p}, Failed(("Cannot open file \"" + p + "\". Gone").c_str()));
    });
    QCOMPARE(out, "would change: " + shown + "\n");
    const QByteArray named = path == shown ? '"' + path + '"' : shown;
    QCOMPARE(err, "velocitrix-cli: warning: <pre> tags have been detected in " + shown +
                      ": the Velocitrix Website Optimizer could damage text within the <pre></pre> "
                      "tags\nvelocitrix-cli: Cannot open file " +
                      named + ". Gone.\n");
}

void tst_CliReport::document() {
    const auto [out, err] = Capture(true, [](Reporter& r) {
        r.Warning("walk ended");
        r.File(ListEntry{"a\xe9.htm", "a", "a"}, Done(10, 4));
        r.File(ListEntry{"c.htm", "c", "c"}, Failed("Cannot open file \"c.htm\". Gone"));
        r.Finish(1);
    });
    QJsonParseError error{};
    const QJsonObject doc = QJsonDocument::fromJson(out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(doc.value(u"warnings"_s).toArray().at(0).toString(), QStringLiteral("walk ended"));
    const QJsonArray files = doc.value(u"files"_s).toArray();
    QCOMPARE(files.size(), 2);
    QCOMPARE(files.at(0).toObject().value(u"path"_s).toString(), QStringLiteral("a\ufffd.htm"));
    QCOMPARE(
        QByteArray::fromBase64(files.at(0).toObject().value(u"pathBytes"_s).toString().toLatin1()),
        QByteArray("a\xe9.htm"));
    QVERIFY(!files.at(1).toObject().contains(u"pathBytes"_s));
    QCOMPARE(files.at(0).toObject().value(u"saved"_s).toInt(), 6);
    QCOMPARE(files.at(1).toObject().value(u"error"_s).toString(),
             QStringLiteral("Cannot open file \"c.htm\". Gone."));
    QCOMPARE(doc.value(u"total"_s).toObject().value(u"failed"_s).toInt(), 1);
    QVERIFY(err.contains("warning: walk ended"));
}

QTEST_GUILESS_MAIN(tst_CliReport)
#include "tst_clireport.moc"
