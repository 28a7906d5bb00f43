// The text document: reading, line access, fills, the character limit.

#include "TestFiles.h"
#include "text/Optimizer.h"
#include "text/TextDocument.h"

#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::string_literals;

namespace {

std::string Bytes(const QByteArray& a) {
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}

std::vector<std::string> Lines(const TextDocument& doc) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < doc.LineCount(); ++i)
        lines.emplace_back(doc.LineAt(i));
    return lines;
}

// Expected lines written as a count and a "|"-separated list: "2:a|b" is the lines
// a and b, "1:" one empty line, "0:" no line at all.
std::vector<std::string> Expect(const std::string& notation) {
    const auto colon = notation.find(':');
    const int count = std::stoi(notation.substr(0, colon));
    std::vector<std::string> lines;
    std::string rest = notation.substr(colon + 1);
    for (int i = 0; i < count; ++i) {
        const auto bar = rest.find('|');
        lines.push_back(rest.substr(0, bar));
        rest = bar == std::string::npos ? std::string() : rest.substr(bar + 1);
    }
    return lines;
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

} // namespace

class TestTextDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readFromFile_data();
    void readFromFile();
    void readFailures_data();
    void readFailures();
    void readFifoDoesNotHang();
    void readKeepsContentOnFailure();
    void writeRoundTrip();
    void writeFailure();
    void assignLines_data();
    void assignLines();
    void assignLinesOfOwnText();
    void appendLineAndLimit();
    void appendLineLimitKeepsEarlierLines();
    void assignLinesHonoursLimit();
    void fillsNeverTruncate();
    void setWholeText();
    void linesOfLoneBreaksInWholeText_data();
    void linesOfLoneBreaksInWholeText();
    void replaceWithLines();
    void nulBytesAreOrdinary();
    void lineAtOutOfRange();
    void checkpointRollsBack_data();
    void checkpointRollsBack();
};

void TestTextDocument::readFromFile_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("whole");
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<int>("joinedLength");

    QTest::newRow("empty file") << QByteArray() << QByteArray() << QByteArray("0:") << 0;
    QTest::newRow("single line break")
        << QByteArray("\r\n") << QByteArray("\r\n") << QByteArray("1:") << 2;
    QTest::newRow("single LF") << QByteArray("\n") << QByteArray("\r\n") << QByteArray("1:") << 2;
    QTest::newRow("single CR") << QByteArray("\r") << QByteArray("\r\n") << QByteArray("1:") << 2;
    QTest::newRow("CR LF lines") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n")
                                 << QByteArray("2:a|b") << 6;
    QTest::newRow("last line without break")
        << QByteArray("a\r\nb") << QByteArray("a\r\nb") << QByteArray("2:a|b") << 6;
    QTest::newRow("LF only") << QByteArray("a\nb\n\nc") << QByteArray("a\r\nb\r\n\r\nc")
                             << QByteArray("4:a|b||c") << 11;
    QTest::newRow("CR only") << QByteArray("a\rb\r") << QByteArray("a\r\nb\r\n")
                             << QByteArray("2:a|b") << 6;
    QTest::newRow("LF CR is two breaks")
        << QByteArray("a\n\rb") << QByteArray("a\r\n\r\nb") << QByteArray("3:a||b") << 8;
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QByteArray("a\r\n\r\nb")
                              << QByteArray("3:a||b") << 8;
    QTest::newRow("mixed") << QByteArray("x\r\ny\nz\rw") << QByteArray("x\r\ny\r\nz\r\nw")
                           << QByteArray("4:x|y|z|w") << 12;
    QTest::newRow("tabs and spaces kept")
        << QByteArray(" \ta \t\n") << QByteArray(" \ta \t\r\n") << QByteArray("1: \ta \t") << 7;
    QTest::newRow("bytes kept") << QByteArray("\xe9t\xc3\xa9\x0c\n")
                                << QByteArray("\xe9t\xc3\xa9\x0c\r\n")
                                << QByteArray("1:\xe9t\xc3\xa9\x0c") << 7;
}

void TestTextDocument::readFromFile() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, whole);
    QFETCH(QByteArray, lines);
    QFETCH(int, joinedLength);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("f.htm")).toStdString();
    WriteRaw(path, Bytes(file));

    TextDocument doc;
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.ReadFromFile(path);
    QCOMPARE(doc.WholeText(), Bytes(whole));
    QCOMPARE(Lines(doc), Expect(Bytes(lines)));
    QCOMPARE(doc.LineCount(), Expect(Bytes(lines)).size());
    QCOMPARE(doc.JoinedLength(), static_cast<std::size_t>(joinedLength));
    QCOMPARE(doc.JoinedText().size(), static_cast<std::size_t>(joinedLength));
    std::string joined;
    for (const std::string& l : Expect(Bytes(lines)))
        joined += l + "\r\n";
    QCOMPARE(doc.JoinedText(), joined);
    QCOMPARE(doc.CharLimit(), TextDocument::ReadCharLimit);
    // Written as in the file: LF when its first break is an LF or it has none.
    qsizetype first = 0;
    while (first < file.size() && file[first] != '\r' && file[first] != '\n')
        ++first;
    const bool lf = first == file.size() || file[first] == '\n';
    QCOMPARE(QByteArray::fromStdString(std::string(doc.BytesIn(LineBreakStyle::Keep))),
             lf ? QByteArray(whole).replace("\r\n", "\n") : whole);
}

void TestTextDocument::readFailures_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("systemText");
    QTest::newRow("missing") << QStringLiteral("missing")
                             << QStringLiteral("No such file or directory");
    QTest::newRow("missing folder")
        << QStringLiteral("missingdir") << QStringLiteral("No such file or directory");
    QTest::newRow("directory") << QStringLiteral("dir") << QStringLiteral("Is a directory");
    QTest::newRow("fifo") << QStringLiteral("fifo") << QStringLiteral("Invalid argument");
    QTest::newRow("socket") << QStringLiteral("socket") << QStringLiteral("Invalid argument");
    QTest::newRow("device") << QStringLiteral("device") << QStringLiteral("Invalid argument");
}

void TestTextDocument::readFailures() {
    QFETCH(QString, kind);
    QFETCH(QString, systemText);
    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("x")).toStdString();
    int sock = -1;
    if (kind == QStringLiteral("missingdir")) {
        path = dir.filePath(QStringLiteral("no/such.htm")).toStdString();
    } else if (kind == QStringLiteral("dir")) {
        QVERIFY(::mkdir(path.c_str(), 0755) == 0);
    } else if (kind == QStringLiteral("fifo")) {
        QVERIFY(::mkfifo(path.c_str(), 0644) == 0);
    } else if (kind == QStringLiteral("socket")) {
        sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path.size() >= sizeof addr.sun_path)
            QSKIP("temporary path too long for a socket name");
        std::copy(path.begin(), path.end(), addr.sun_path);
        QVERIFY(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
    } else if (kind == QStringLiteral("device")) {
        path = "/dev/null";
    }
    TextDocument doc;
    const std::string message = ErrorOf([&] { doc.ReadFromFile(path); });
    if (sock >= 0)
        ::close(sock);
    QCOMPARE(message, "Cannot open file \"" + path + "\". " + systemText.toStdString());
}

void TestTextDocument::readFifoDoesNotHang() {
    // A FIFO nobody writes to: an ordinary open would wait for a writer forever.
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("pipe.htm")).toStdString();
    QVERIFY(::mkfifo(path.c_str(), 0644) == 0);
    TextDocument doc;
    QVERIFY(ErrorOf([&] {
                doc.ReadFromFile(path);
            }).starts_with("Cannot open file \"" + path + "\". "));
}

void TestTextDocument::readKeepsContentOnFailure() {
    TextDocument doc;
    doc.SetWholeText("kept\r\n");
    doc.SetCharLimit(TextDocument::FileCharLimit);
    const auto revision = doc.Revision();
    QCOMPARE(ErrorOf([&] { doc.ReadFromFile("/x/y"); }),
             "Cannot open file \"/x/y\". No such file or directory"s);
    QCOMPARE(doc.WholeText(), "kept\r\n"s);
    QCOMPARE(doc.Revision(), revision);
    QCOMPARE(doc.CharLimit(), TextDocument::FileCharLimit);
}

void TestTextDocument::writeRoundTrip() {
    QTemporaryDir dir;
    const std::string in = dir.filePath(QStringLiteral("in.htm")).toStdString();
    const std::string out = dir.filePath(QStringLiteral("out.htm")).toStdString();
    WriteRaw(in, "a\nb\rc\r\nd");
    TextDocument doc;
    doc.ReadFromFile(in);
    doc.WriteToFile(out);
    // Every break is now CR LF: one byte longer for each lone break.
    QCOMPARE(ReadRaw(out), "a\r\nb\r\nc\r\nd"s);
    doc.WriteToFile(in);
    QCOMPARE(ReadRaw(in), "a\r\nb\r\nc\r\nd"s);
}

void TestTextDocument::writeFailure() {
    TextDocument doc;
    doc.SetWholeText("x");
    QCOMPARE(ErrorOf([&] { doc.WriteToFile("/x/y"); }),
             "Cannot create file \"/x/y\". No such file or directory"s);
}

void TestTextDocument::assignLines_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("lines");
    QTest::newRow("empty") << QByteArray() << QByteArray("0:");
    QTest::newRow("one line no break") << QByteArray("a") << QByteArray("1:a");
    QTest::newRow("final break adds no line") << QByteArray("a\r\n") << QByteArray("1:a");
    QTest::newRow("a CR b LF c") << QByteArray("a\rb\nc") << QByteArray("3:a|b|c");
    QTest::newRow("a LF CR b") << QByteArray("a\n\rb") << QByteArray("3:a||b");
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QByteArray("3:a||b");
    QTest::newRow("only breaks") << QByteArray("\r\n\r\n") << QByteArray("2:|");
    QTest::newRow("lone CR") << QByteArray("\r") << QByteArray("1:");
    QTest::newRow("trailing LF CR") << QByteArray("a\n\r") << QByteArray("2:a|");
}

void TestTextDocument::assignLines() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, lines);
    TextDocument doc;
    doc.SetWholeText("old\r\nstuff");
    doc.AssignLines(Bytes(input));
    const auto expected = Expect(Bytes(lines));
    QCOMPARE(Lines(doc), expected);
    std::string whole;
    for (const std::string& l : expected)
        whole += l + "\r\n";
    QCOMPARE(doc.WholeText(), whole);
    QCOMPARE(doc.JoinedText(), whole);
    QCOMPARE(doc.JoinedLength(), whole.size());
}

void TestTextDocument::assignLinesOfOwnText() {
    TextDocument doc;
    doc.SetWholeText("first\nsecond");
    doc.AssignLines(doc.WholeText());
    QCOMPARE(doc.WholeText(), "first\r\nsecond\r\n"s);
}

void TestTextDocument::appendLineAndLimit() {
    TextDocument doc;
    doc.SetCharLimit(10);
    doc.AppendLine("abc"); // 5
    doc.AppendLine("de");  // 9
    QCOMPARE(doc.LineCount(), std::size_t{2});
    QCOMPARE(ErrorOf([&] { doc.AppendLine(""); }), "RichEdit line insertion error"s); // 11 > 10
    QCOMPARE(doc.WholeText(), "abc\r\nde\r\n"s);
    doc.SetCharLimit(11);
    doc.AppendLine(""); // exactly the limit
    QCOMPARE(doc.WholeText(), "abc\r\nde\r\n\r\n"s);
    QCOMPARE(Lines(doc), (std::vector<std::string>{"abc", "de", ""}));
    QCOMPARE(doc.JoinedLength(), std::size_t{11});
}

void TestTextDocument::appendLineLimitKeepsEarlierLines() {
    TextDocument doc;
    doc.SetCharLimit(TextDocument::FileCharLimit);
    const std::string line(1000, 'x');
    std::size_t appended = 0;
    const std::string message = ErrorOf([&] {
        for (;;) {
            doc.AppendLine(line);
            ++appended;
        }
    });
    QCOMPARE(message, "RichEdit line insertion error"s);
    QCOMPARE(appended, TextDocument::FileCharLimit / 1002);
    QCOMPARE(doc.LineCount(), appended);
    QCOMPARE(doc.WholeText().size(), appended * 1002);
}

void TestTextDocument::assignLinesHonoursLimit() {
    TextDocument doc;
    doc.SetCharLimit(8);
    QCOMPARE(ErrorOf([&] { doc.AssignLines("ab\ncd\nef"); }), "RichEdit line insertion error"s);
    QCOMPARE(doc.WholeText(), "ab\r\ncd\r\n"s);
}

void TestTextDocument::fillsNeverTruncate() {
    // A text longer than the limit is held whole by the fills; only appends check.
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("big.htm")).toStdString();
    std::string big(TextDocument::FileCharLimit + 100, 'a');
    big[500] = '\n';
    WriteRaw(path, big);
    TextDocument doc;
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.ReadFromFile(path);
    QCOMPARE(doc.WholeText().size(), big.size() + 1);
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.SetWholeText(big);
    QCOMPARE(doc.WholeText(), big);
    QCOMPARE(doc.LineCount(), std::size_t{2});
    QCOMPARE(doc.LineAt(1).size(), big.size() - 501);
}

void TestTextDocument::setWholeText() {
    TextDocument doc;
    const auto r0 = doc.Revision();
    doc.SetWholeText("");
    QCOMPARE(doc.Revision(), r0);
    doc.SetWholeText("a\r\nb");
    const auto r1 = doc.Revision();
    QVERIFY(r1 != r0);
    doc.SetWholeText("a\r\nb");
    QCOMPARE(doc.Revision(), r1);
    QCOMPARE(doc.WholeText(), "a\r\nb"s);
    QCOMPARE(doc.JoinedText(), "a\r\nb\r\n"s);
    doc.SetWholeText("a\r\nc");
    QVERIFY(doc.Revision() != r1);
    QCOMPARE(doc.LineAt(1), std::string_view("c"));
    doc.ClearDocument();
    QCOMPARE(doc.LineCount(), std::size_t{0});
    QCOMPARE(doc.JoinedLength(), std::size_t{0});
    QCOMPARE(doc.JoinedText(), ""s);
}

void TestTextDocument::linesOfLoneBreaksInWholeText_data() {
    QTest::addColumn<QByteArray>("whole");
    QTest::addColumn<QByteArray>("lines");
    QTest::newRow("lone LF") << QByteArray("a\nb") << QByteArray("2:a|b");
    QTest::newRow("lone CR at end") << QByteArray("a\r") << QByteArray("1:a");
    QTest::newRow("LF CR") << QByteArray("a\n\rb\r\n") << QByteArray("3:a||b");
    QTest::newRow("only CR LF") << QByteArray("\r\n") << QByteArray("1:");
}

void TestTextDocument::linesOfLoneBreaksInWholeText() {
    // A whole text given from outside may hold lone breaks; they end lines as in a file.
    QFETCH(QByteArray, whole);
    QFETCH(QByteArray, lines);
    TextDocument doc;
    doc.SetWholeText(Bytes(whole));
    QCOMPARE(doc.WholeText(), Bytes(whole));
    const auto expected = Expect(Bytes(lines));
    QCOMPARE(Lines(doc), expected);
    std::string joined;
    for (const std::string& l : expected)
        joined += l + "\r\n";
    QCOMPARE(doc.JoinedText(), joined);
    QCOMPARE(doc.JoinedLength(), joined.size());
}

void TestTextDocument::replaceWithLines() {
    TextDocument doc;
    doc.SetWholeText("one\r\ntwo");
    const std::vector<std::string_view> lines{doc.LineAt(1), "x", ""};
    doc.ReplaceWithLines(lines);
    QCOMPARE(doc.WholeText(), "two\r\nx\r\n\r\n"s);
    doc.SetCharLimit(7);
    const std::vector<std::string_view> more{"abc", "de", "f"};
    QCOMPARE(ErrorOf([&] { doc.ReplaceWithLines(more); }), "RichEdit line insertion error"s);
    QCOMPARE(doc.WholeText(), "abc\r\n"s);
}

void TestTextDocument::nulBytesAreOrdinary() {
    // NUL is a character like any other: read, split, joined and written unchanged.
    QTemporaryDir dir;
    const std::string in = dir.filePath(QStringLiteral("nul.htm")).toStdString();
    const std::string out = dir.filePath(QStringLiteral("nul2.htm")).toStdString();
    WriteRaw(in, "a\0b\n\0\r\n\0"s);
    TextDocument doc;
    doc.ReadFromFile(in);
    QCOMPARE(doc.WholeText(), "a\0b\r\n\0\r\n\0"s);
    QCOMPARE(Lines(doc), (std::vector<std::string>{"a\0b"s, "\0"s, "\0"s}));
    QCOMPARE(doc.JoinedLength(), std::size_t{11});
    doc.WriteToFile(out);
    QCOMPARE(ReadRaw(out), "a\0b\r\n\0\r\n\0"s);
    doc.AssignLines("\0\n\0"s);
    QCOMPARE(doc.WholeText(), "\0\r\n\0\r\n"s);
}

void TestTextDocument::lineAtOutOfRange() {
    TextDocument doc;
    doc.SetWholeText("a");
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, doc.LineAt(1));
}

// A command's first change keeps the content it started from: a rollback gives
// exactly it back (the very buffer where the change replaced the content whole,
// so nothing was copied), a release keeps the change.
void TestTextDocument::checkpointRollsBack_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<bool>("moved"); // the start's buffer comes back
    const QByteArray plain("a  b\r\n  c\r\n");
    QTest::newRow("set whole text") << "set" << plain << true;
    QTest::newRow("assign lines") << "assign" << plain << true;
    QTest::newRow("read a file") << "read" << plain << true;
    QTest::newRow("clear") << "clear" << plain << true;
    QTest::newRow("append a line") << "append" << plain << false;
    QTest::newRow("optimize") << "optimize" << plain << true;
    QTest::newRow("optimize, last line without break")
        << "optimize" << QByteArray("a  b\r\n  c  ") << true;
    QTest::newRow("optimize, lone breaks") << "optimize" << QByteArray("a  b\n c\rd") << true;
    QTest::newRow("optimize over the limit") << "optimize, fail" << plain << true;
    QTest::newRow("two changes") << "set twice" << plain << true;
}

void TestTextDocument::checkpointRollsBack() {
    QFETCH(QString, change);
    QFETCH(QByteArray, start);
    QFETCH(bool, moved);
    QTemporaryDir dir;
    const std::string file = dir.filePath(QStringLiteral("f.htm")).toStdString();
    WriteRaw(file, "from the file\n");
    const std::string original(start.constData(), static_cast<std::size_t>(start.size()));
    for (const bool rollback : {true, false}) {
        TextDocument doc;
        doc.SetWholeText(original);
        const char* const buffer = doc.WholeText().data();
        QVERIFY(doc.Checkpoint());
        QVERIFY(!doc.Checkpoint()); // one at a time
        bool threw = false;
        try {
            if (change == QLatin1String("set")) {
                doc.SetWholeText("new");
            } else if (change == QLatin1String("set twice")) {
                doc.SetWholeText("new");
                doc.SetWholeText("newer");
            } else if (change == QLatin1String("assign")) {
                doc.AssignLines("x\ny");
            } else if (change == QLatin1String("read")) {
                doc.ReadFromFile(file);
            } else if (change == QLatin1String("clear")) {
                doc.ClearDocument();
            } else if (change == QLatin1String("append")) {
                doc.AppendLine("more");
            } else {
                if (change.endsWith(QLatin1String("fail")))
                    doc.SetCharLimit(4);
                OptimizeDocument(doc);
            }
        } catch (const std::runtime_error&) {
            threw = true;
        }
        QCOMPARE(threw, change.endsWith(QLatin1String("fail")));
        QVERIFY(doc.WholeText() != original);
        if (rollback) {
            doc.Rollback();
            QCOMPARE(doc.WholeText(), original);
            TextDocument fresh;
            fresh.SetWholeText(original);
            QCOMPARE(doc.JoinedLength(), fresh.JoinedLength());
            if (moved)
                QCOMPARE(static_cast<const void*>(doc.WholeText().data()),
                         static_cast<const void*>(buffer));
        } else {
            const std::string changed = doc.WholeText();
            doc.Release();
            QCOMPARE(doc.WholeText(), changed);
        }
        QVERIFY(doc.Checkpoint()); // open again once the last one ended
        doc.Release();
    }
}

QTEST_GUILESS_MAIN(TestTextDocument)
#include "tst_textdocument.moc"
