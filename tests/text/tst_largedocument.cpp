// A 100 MB file loads, optimizes and saves correctly, and so does a replacement
// over it: the whole path on a text a hundred times the size the commands expect.

#include "text/Optimizer.h"
#include "text/ReplaceText.h"
#include "text/TextDocument.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

namespace {

// The full size in a normal build; a tenth under the sanitizers, whose checks make
// every byte many times dearer (the code path is the same).
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t TextSize = std::size_t{10} << 20;
#else
constexpr std::size_t TextSize = std::size_t{100} << 20;
#endif

std::string ReadRaw(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

} // namespace

class TestLargeDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hundredMegabytes();
};

void TestLargeDocument::hundredMegabytes() {
    // Lines with blank runs, mixed breaks; the expected result is built line by
    // line with OptimizeLine, which the optimizer's own tests check.
    QRandomGenerator rng(100);
    const char* words[] = {"<p>", "text", "\xc3\xa9t\xc3\xa9", "href=\"x\"", "<pre>", "\0", "a"};
    const char* blanks[] = {" ", "\t", "  ", " \t ", ""};
    const char* breaks[] = {"\r\n", "\r\n", "\n", "\r"};
    std::string file;
    std::string expected;
    file.reserve(TextSize + 4096);
    expected.reserve(TextSize + 4096);
    std::string line;
    std::string optimized;
    while (file.size() < TextSize) {
        line.clear();
        const int n = rng.bounded(12);
        for (int k = 0; k < n; ++k) {
            line += blanks[rng.bounded(5)];
            const char* w = words[rng.bounded(7)];
            line.append(w, *w == '\0' ? 1 : std::char_traits<char>::length(w));
        }
        line += blanks[rng.bounded(5)];
        file += line;
        file += breaks[rng.bounded(4)];
        if (OptimizeLine(line, optimized))
            expected += optimized + "\r\n";
    }

    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("big.htm")).toStdString();
    {
        std::ofstream f(path, std::ios::binary);
        f.write(file.data(), static_cast<std::streamsize>(file.size()));
    }
    TextDocument doc;
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.ReadFromFile(path);
    const OptimizeRun run = OptimizeDocument(doc);
    QCOMPARE(doc.WholeText().size(), expected.size());
    QVERIFY(doc.WholeText() == expected);
    QCOMPARE(run.lengthAfter, expected.size());
    QVERIFY(run.hasPre);
    doc.WriteToFile(path);
    QVERIFY(ReadRaw(path) == expected);

    // Replace-all over the same bytes, back and forth.
    const std::string replaced = ReplaceText(doc.WholeText(), "HREF", "link", false);
    QVERIFY(replaced.find("href") == std::string::npos);
    QCOMPARE(ReplaceText(replaced, "link=", "href=", true), expected);
}

QTEST_GUILESS_MAIN(TestLargeDocument)
#include "tst_largedocument.moc"
