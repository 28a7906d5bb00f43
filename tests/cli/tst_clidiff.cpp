// The pieces behind --diff, --compressed-size and the choice to write a file:
// the line comparison is a shortest edit, the unified diff's form, the byte
// comparison of a step's output with the file, the streamed gzip size.

#include "cli/GzipSize.h"
#include "cli/LineDiff.h"
#include "cli/SameBytes.h"
#include "cli/UnifiedDiff.h"
#include "platform/FileIO.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <string>
#include <vector>

namespace {

// The length of a longest common subsequence, the slow and plain way.
std::size_t LcsLength(const std::vector<std::string_view>& a,
                      const std::vector<std::string_view>& b) {
    std::vector<std::vector<std::size_t>> t(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = a.size(); i-- > 0;)
        for (std::size_t j = b.size(); j-- > 0;)
            t[i][j] = a[i] == b[j] ? t[i + 1][j + 1] + 1 : std::max(t[i + 1][j], t[i][j + 1]);
    return t[0][0];
}

std::string RandomText(QRandomGenerator& rng, int lines) {
    static const char* const pool[] = {"a\n", "b\n", "c\n", "a\r\n", "d", "\n"};
    std::string s;
    for (int i = 0; i < lines; ++i)
        s += pool[rng.bounded(6)];
    return s;
}

} // namespace

class tst_CliDiff : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shortestEdit();
    void unifiedForm_data();
    void unifiedForm();
    void sameBytes_data();
    void sameBytes();
    void gzipSize();
};

void tst_CliDiff::shortestEdit() {
    QRandomGenerator rng(7);
    for (int round = 0; round < 402; ++round) {
        // The last two are long and far apart: past the search's bound the edit
        // must still be a correct one (its length is not checked).
        const bool large = round >= 400;
        const std::string x = RandomText(rng, large ? 30000 : rng.bounded(14));
        const std::string y = RandomText(rng, large ? 30000 : rng.bounded(14));
        const auto a = SplitLines(x);
        const auto b = SplitLines(y);
        const LineEdit e = DiffLines(a, b);
        // The kept lines, in order, are the same on both sides...
        std::vector<std::string_view> keptA;
        std::vector<std::string_view> keptB;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!e.removed[i])
                keptA.push_back(a[i]);
        for (std::size_t j = 0; j < b.size(); ++j)
            if (!e.added[j])
                keptB.push_back(b[j]);
        QVERIFY(keptA == keptB);
        // ...and as many as can be.
        if (!large)
            QCOMPARE(keptA.size(), LcsLength(a, b));
    }
}

void tst_CliDiff::unifiedForm_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QByteArray>("diff");
    QTest::newRow("final break added")
        << QByteArray("a\nb") << QByteArray("a\nb\n")
        << QByteArray("# line breaks: LF, no final break -> LF\n--- a/f\n+++ b/f\n@@ -1,2 +1,2 "
                      "@@\n a\n-b\n\\ No newline at end of file\n+b\n");
    QTest::newRow("two hunks, three lines of context")
        << QByteArray("1\n2\n3\n4\nx\n5\n6\n7\n8\n9\n10\n11\ny\n12\n")
        << QByteArray("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\nY\n12\n")
        << QByteArray("--- a/f\n+++ b/f\n@@ -2,7 +2,6 @@\n 2\n 3\n 4\n-x\n 5\n 6\n 7\n"
                      "@@ -10,5 +9,5 @@\n 9\n 10\n 11\n-y\n+Y\n 12\n");
    QTest::newRow("breaks only")
        << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n")
        << QByteArray("# line breaks: LF -> CR LF\n--- a/f\n+++ b/f\n@@ -1,2 +1,2 @@\n-a\n-b\n"
                      "+a\r\n+b\r\n");
    QTest::newRow("all gone") << QByteArray(" \n") << QByteArray()
                              << QByteArray("--- a/f\n+++ b/f\n@@ -1 +0,0 @@\n- \n");
}

void tst_CliDiff::unifiedForm() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, diff);
    QCOMPARE(QByteArray::fromStdString(UnifiedDiff("f", before.toStdString(), after.toStdString())),
             diff);
}

void tst_CliDiff::sameBytes_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("piece"); // how the output is cut
    QTest::addColumn<int>("lag");   // how many pieces the output follows the input by (<0: leads)
    QTest::addColumn<int>("keep");  // SameBytes' bound on kept input
    QTest::addColumn<bool>("differ");
    const QByteArray text = "0123456789abcdefghij";
    QTest::newRow("equal, following") << text << text << 3 << 2 << 1024 << false;
    QTest::newRow("equal, past the bound") << text << text << 3 << 4 << 4 << false;
    QTest::newRow("equal, leading") << text << text << 3 << -3 << 1024 << false;
    QTest::newRow("last byte, past the bound")
        << text << QByteArray(text).replace('j', 'J') << 3 << 4 << 4 << true;
    QTest::newRow("first byte, leading")
        << text << QByteArray(text).replace('0', '_') << 5 << -2 << 1024 << true;
    QTest::newRow("shorter") << text << text.left(19) << 4 << 1 << 1024 << true;
    QTest::newRow("longer, leading") << text << text + "k" << 7 << -1 << 1024 << true;
}

void tst_CliDiff::sameBytes() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, output);
    QFETCH(int, piece);
    QFETCH(int, lag);
    QFETCH(int, keep);
    QFETCH(bool, differ);
    QTemporaryDir tmp;
    const std::string path = tmp.path().toStdString() + "/f";
    QFile f(QString::fromStdString(path));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file) == file.size());
    f.close();
    InputFile in(path);
    SameBytes same(in, static_cast<std::size_t>(keep));
    // Input in pieces of 3; output pieces of `piece`, lag input pieces behind
    // (or ahead of) it.
    int readDone = 0;
    int outDone = 0;
    for (int step = 0; readDone < file.size() || outDone < output.size(); ++step) {
        if (readDone < file.size() && step >= (lag < 0 ? -lag : 0)) {
            const int n = std::min<int>(3, int(file.size()) - readDone);
            same.Read(std::string_view(file.constData() + readDone, std::size_t(n)));
            readDone += n;
        }
        if (outDone < output.size() && step >= (lag > 0 ? lag : 0)) {
            const int n = std::min<int>(piece, int(output.size()) - outDone);
            same.Written(std::string_view(output.constData() + outDone, std::size_t(n)));
            outDone += n;
        }
    }
    QCOMPARE(same.DifferAtEnd(), differ);
}

void tst_CliDiff::gzipSize() {
    QByteArray text;
    QRandomGenerator rng(3);
    for (int i = 0; i < 40000; ++i)
        text += "<p class=\"x\">" + QByteArray::number(rng.bounded(1000)) + "</p>\r\n";
    GzipSize streamed;
    for (qsizetype at = 0; at < text.size(); at += 4093)
        streamed.Add(std::string_view(text.constData() + at,
                                      std::size_t(std::min<qsizetype>(4093, text.size() - at))));
    // qCompress: a 4-byte length and a zlib stream (2-byte header, 4-byte
    // checksum); gzip's wrapper is 10 bytes of header and 8 of trailer.
    const qsizetype zlibStream = qCompress(text, 6).size() - 4;
    QCOMPARE(qsizetype(streamed.Finish()), zlibStream - 6 + 18);
}

QTEST_APPLESS_MAIN(tst_CliDiff)
#include "tst_clidiff.moc"
