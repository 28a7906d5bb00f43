// Editing a file a piece at a time must give the bytes and figures of the
// whole-text steps: read (line breaks made CR LF), edit, refill, write.

#include "text/PieceEditor.h"

#include "fuzz/Reference.h"
#include "text/Optimizer.h"
#include "text/PieceReplacer.h"
#include "text/ReplaceText.h"
#include "text/TextDocument.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <stdexcept>

using namespace std::string_literals;

namespace {

QByteArray operator""_b(const char* s, std::size_t n) {
    return QByteArray(s, static_cast<qsizetype>(n));
}

struct Edit {
    bool optimize = true;
    std::string find;
    std::string with;
    bool caseSensitive = false;
    bool keepPre = false;
};

struct Result {
    std::string bytes;
    std::size_t before = 0;
    bool hasPre = false;
    bool changed = false;
};

// Every lone CR and lone LF made CR LF, a byte at a time.
std::string Unified(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            out += "\r\n";
            ++i;
        } else if (raw[i] == '\r' || raw[i] == '\n') {
            out += "\r\n";
        } else {
            out += raw[i];
        }
    }
    return out;
}

// The whole-text steps on a document.
Result WholeText(const std::string& raw, const Edit& edit) {
    TextDocument doc;
    doc.SetWholeText(Unified(raw));
    Result r;
    r.before = doc.JoinedLength();
    if (edit.optimize) {
        if (r.before > 0)
            r.hasPre = OptimizeDocument(doc, OptimizeOptions{edit.keepPre}).hasPre;
    } else {
        doc.SetWholeText(ReplaceText(doc.WholeText(), edit.find, edit.with, edit.caseSensitive));
    }
    doc.AssignLines(std::string(doc.WholeText()));
    r.bytes = doc.WholeText();
    r.changed = r.bytes != raw;
    return r;
}

// raw fed in pieces cut at the given places: the optimizer line by line, a
// replacement (which may reach across lines) as a stream.
Result InPieces(const std::string& raw, const Edit& edit, const std::vector<std::size_t>& cuts,
                std::size_t blockBytes, std::size_t limit = TextDocument::ReadCharLimit,
                LineBreakStyle breaks = LineBreakStyle::CrLf) {
    Result r;
    const auto sink = [&r](std::string_view piece) {
        r.bytes.append(piece);
    };
    PieceEditor editor(sink, limit, OptimizeOptions{edit.keepPre}, blockBytes);
    if (edit.keepPre)
        editor.SetBreaks(breaks);
    PieceReplacer replacer(edit.find, edit.with, edit.caseSensitive, sink, limit, blockBytes);
    const auto feed = [&](std::string_view piece) {
        if (edit.optimize)
            editor.Feed(piece);
        else
            replacer.Feed(piece);
    };
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        feed(std::string_view(raw).substr(from, cut - from));
        from = cut;
    }
    feed(std::string_view(raw).substr(from));
    const PieceFigures& f = edit.optimize ? editor.Finish() : replacer.Finish();
    r.before = f.before;
    r.hasPre = f.hasPre;
    r.changed = f.changed;
    if (f.after != r.bytes.size())
        r.before = static_cast<std::size_t>(-1); // make the comparison fail
    return r;
}

// The optimizer with kept blocks by the plain reference, from the text as read.
Result Reference(const std::string& raw) {
    Result r;
    const std::string unified = reference::UnifyBreaks(raw);
    const reference::KeptResult kept = reference::OptimizeKeeping(unified);
    r.bytes = kept.text;
    r.hasPre = kept.hasPre;
    r.before = unified.size() + (unified.empty() || unified.back() == '\n' ? 0 : 2);
    r.changed = r.bytes != raw;
    return r;
}

std::string RandomText(QRandomGenerator& rng, int maxPieces, bool tags = false) {
    static const char* const Pieces[] = {
        "a",    "b",        "A",        " ",    "\t",   "  ",    "\r",   "\n",   "\r\n",
        "\n\r", "\xC3\xA9", "\xC3\x89", "\xC3", "\x80", "<pre>", "href", "HREF", "\xE2\x82\xAC"};
    // Tags and their parts, cut anywhere by the pieces.
    static const char* const Tags[] = {
        "a", " ", "\t", "  ", "\r\n", "\n", "\r", "<", "/", ">", "pre", "PrE", "<pre>", "</pre>",
        "<pre ", "</pre\n>", "<prex>", "<xmp/", "</xmp>", "<style>", "</", "script", "<SCRIPT",
        "</textarea >", "<plaintext\f", "listing", "<listing\t", "</LISTING>",
        // Values, server script sections, preformatted elements.
        "<div ", "<Div>", "</div>", " class=\"line\"", " style=\"white-space:pre\"",
        "<style>.line{white-space:pre}</style>", " title=\"", "='", "\"", "<?", "%>"};
    std::string s;
    const int n = rng.bounded(maxPieces + 1);
    for (int i = 0; i < n; ++i)
        s += tags ? Tags[rng.bounded(static_cast<int>(std::size(Tags)))]
                  : Pieces[rng.bounded(static_cast<int>(std::size(Pieces)))];
    return s;
}

std::vector<std::size_t> RandomCuts(QRandomGenerator& rng, std::size_t size) {
    std::vector<std::size_t> cuts;
    for (std::size_t at = 0; size > 0;) {
        at += 1 + static_cast<std::size_t>(rng.bounded(static_cast<int>(size / 3 + 2)));
        if (at >= size)
            break;
        cuts.push_back(at);
    }
    return cuts;
}

void CompareResults(const Result& pieces, const Result& whole, const std::string& raw) {
    const QByteArray context = QByteArray::fromStdString(raw).toPercentEncoding();
    QVERIFY2(pieces.bytes == whole.bytes, context.constData());
    QVERIFY2(pieces.before == whole.before, context.constData());
    QVERIFY2(pieces.hasPre == whole.hasPre, context.constData());
    QVERIFY2(pieces.changed == whole.changed, context.constData());
}

} // namespace

class TestPieceEditor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sameAsWholeText_data();
    void sameAsWholeText();
    void randomTextsAndCuts_data();
    void randomTextsAndCuts();
    void randomPatternsAndReplacements();
    void keptBlocksAgreeWithTheReference();
    void keptBlocksInALargeText();
    void startTagsInEveryCaseAndPlace();
    void passingTheLimitFails();
    void replacementsThatKeepLines_data();
    void replacementsThatKeepLines();
};

void TestPieceEditor::sameAsWholeText_data() {
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("optimize");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<QByteArray>("with");
    QTest::addColumn<int>("cutAt"); // -1: fed whole

    const QByteArray none;
    QTest::newRow("empty file") << QByteArray() << true << none << none << -1;
    QTest::newRow("empty file, replace") << QByteArray() << false << "a"_b
                                         << "b"_b << -1;
    QTest::newRow("only a CR") << "\r"_b << true << none << none << -1;
    QTest::newRow("only an LF") << "\n"_b << false << "a"_b
                                << "b"_b << -1;
    QTest::newRow("last line without a break") << "x  y"_b << true << none << none << -1;
    QTest::newRow("last line without a break, replace") << "ab\r\nab"_b << false << "b"_b
                                                        << "c"_b << -1;
    QTest::newRow("CR LF cut between CR and LF") << "a\r\nb\r\n"_b << true << none << none << 2;
    QTest::newRow("lone CR cut after it") << "a\rb\r\n"_b << false << "z"_b
                                          << "y"_b << 2;
    QTest::newRow("lone CR at the very end") << "a\r\nb\r"_b << true << none << none << -1;
    QTest::newRow("lone CR at the end of a piece and of the file") << "a\r"_b << false << "a"_b
                                                                   << "a"_b << 2;
    QTest::newRow("nothing to change") << "a b\r\nc\r\n"_b << true << none << none << 4;
    QTest::newRow("replaced by itself") << "abc\r\n"_b << false << "b"_b
                                        << "b"_b << 1;
    QTest::newRow("match cut by a piece") << "xhrefx\r\nhref\r\n"_b << false << "href"_b
                                          << "H"_b << 3;
    QTest::newRow("pre in a later line") << "a\r\n  <pre>\r\n"_b << true << none << none << 5;
    QTest::newRow("match across a break and the cut") << "ab\nab\r\n"_b << false << "b\r\na"_b
                                                      << "-"_b << 3;
    QTest::newRow("replacement leaves the last line open")
        << "a\r\nb\r\n"_b << false << "\r\nb\r\n"_b << QByteArray() << 4;
    QTest::newRow("replacement ends in a lone CR") << "ab"_b << false << "b"_b
                                                   << "\r"_b << 1;
    QTest::newRow("same bytes after the split again") << "a\r\nb\r\n"_b << false << "\r\n"_b
                                                      << "\n"_b << 2;
    QTest::newRow("only blank lines") << " \r\n\t\r\n\r\n"_b << true << none << none << 3;
    QTest::newRow("lines longer than a block")
        << "  ab   \t cd  \r\n  \t  \r\n\tef  gh "_b << true << none << none << 6;
    QTest::newRow("<pre> cut between parts of a line")
        << "a <pre>  x\n"_b << true << none << none << 4;
}

void TestPieceEditor::sameAsWholeText() {
    QFETCH(QByteArray, raw);
    QFETCH(bool, optimize);
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, with);
    QFETCH(int, cutAt);
    const Edit edit{optimize, find.toStdString(), with.toStdString(), true};
    const std::string text = raw.toStdString();
    std::vector<std::size_t> cuts;
    if (cutAt >= 0)
        cuts.push_back(static_cast<std::size_t>(cutAt));
    for (std::size_t block : {std::size_t{1}, std::size_t{4}, PieceEditor::BlockBytes})
        CompareResults(InPieces(text, edit, cuts, block), WholeText(text, edit), text);
}

void TestPieceEditor::randomTextsAndCuts_data() {
    QTest::addColumn<bool>("optimize");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<QByteArray>("with");
    QTest::addColumn<bool>("caseSensitive");

    QTest::newRow("optimize") << true << QByteArray() << QByteArray() << false;
    QTest::newRow("shrinking, exact case") << false << "href"_b
                                           << "h"_b << true;
    QTest::newRow("growing, any case") << false << "a"_b
                                       << "<pre>"_b << false;
    QTest::newRow("accented letter, any case") << false << "\xC3\x89"_b
                                               << "e"_b << false;
    QTest::newRow("continuation byte") << false << "\x80"_b
                                       << "?"_b << true;
    QTest::newRow("blank run removed") << false << " \t"_b << QByteArray() << true;
    // Line breaks in the pattern or the replacement: matches across lines, and
    // breaks the result splits again.
    QTest::newRow("CR LF removed") << false << "\r\n"_b << QByteArray() << true;
    QTest::newRow("lines joined, any case") << false << "a\r\nb"_b
                                            << "X"_b << false;
    QTest::newRow("break to lone LF") << false << "\r\n"_b
                                      << "\n"_b << true;
    QTest::newRow("break to lone CR") << false << "b\r\n"_b
                                      << "\r"_b << true;
    QTest::newRow("CR LF split by a CR") << false << "\n"_b
                                         << "\r"_b << true;
    QTest::newRow("lone LF in the pattern") << false << "\na"_b
                                            << "\n\r"_b << false;
    QTest::newRow("line break put in") << false << "a"_b
                                       << "\r\n"_b << true;
    QTest::newRow("accented letter across a break, any case") << false << "\xC3\xA9\r\n"_b
                                                              << "\r"_b << false;
    QTest::newRow("empty line collapses") << false << "\r\n\r\n"_b
                                          << "\r\n"_b << true;
}

void TestPieceEditor::randomTextsAndCuts() {
    QFETCH(bool, optimize);
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, with);
    QFETCH(bool, caseSensitive);
    const Edit edit{optimize, find.toStdString(), with.toStdString(), caseSensitive};
    QRandomGenerator rng(20261208);
    for (int round = 0; round < 5000; ++round) {
        const std::string raw = RandomText(rng, 60);
        const auto block = static_cast<std::size_t>(rng.bounded(1, 40));
        CompareResults(InPieces(raw, edit, RandomCuts(rng, raw.size()), block),
                       WholeText(raw, edit), raw);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestPieceEditor::randomPatternsAndReplacements() {
    // Patterns and replacements made of the same pieces as the texts, CR, LF,
    // CR LF and LF CR among them.
    QRandomGenerator rng(20261209);
    for (int round = 0; round < 20000; ++round) {
        const Edit edit{false, RandomText(rng, 3), RandomText(rng, 3), rng.bounded(2) == 0};
        const std::string raw = RandomText(rng, 40);
        const auto block = static_cast<std::size_t>(rng.bounded(1, 40));
        CompareResults(InPieces(raw, edit, RandomCuts(rng, raw.size()), block),
                       WholeText(raw, edit), raw + "|" + edit.find + "|" + edit.with);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestPieceEditor::keptBlocksAgreeWithTheReference() {
    // Blocks that start in one piece and end many pieces later, tags cut anywhere.
    Edit edit;
    edit.keepPre = true;
    QRandomGenerator rng(20261210);
    for (int round = 0; round < 20000; ++round) {
        const std::string raw = RandomText(rng, 40, true);
        const auto block = static_cast<std::size_t>(rng.bounded(1, 40));
        const Result whole = WholeText(raw, edit);
        CompareResults(whole, Reference(raw), raw);
        const std::vector<std::size_t> cuts = RandomCuts(rng, raw.size());
        CompareResults(InPieces(raw, edit, cuts, block), whole, raw);
        // Written with LF: the same bytes with each CR LF made LF, counted so.
        Result lf = whole;
        lf.bytes.resize(CopyWithLfBreaks(whole.bytes, lf.bytes.data()));
        const std::string unified = Unified(raw);
        lf.before -= static_cast<std::size_t>(std::count(unified.begin(), unified.end(), '\n')) +
                     (unified.empty() || unified.back() == '\n' ? 0 : 1);
        lf.changed = lf.bytes != raw;
        CompareResults(
            InPieces(raw, edit, cuts, block, TextDocument::ReadCharLimit, LineBreakStyle::Lf), lf,
            raw);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestPieceEditor::keptBlocksInALargeText() {
    // Longer than the windows the whole text is worked in.
    Edit edit;
    edit.keepPre = true;
    QRandomGenerator rng(20261212);
    for (int round = 0; round < 3; ++round) {
        std::string raw;
        while (raw.size() < 300'000)
            raw += RandomText(rng, 40, true);
        const Result whole = WholeText(raw, edit);
        CompareResults(whole, Reference(raw), "large text");
        CompareResults(InPieces(raw, edit, RandomCuts(rng, raw.size()), 4096), whole, "large text");
    }
}

void TestPieceEditor::startTagsInEveryCaseAndPlace() {
    // Each name with its first two letters in every case, at every place of the
    // sixteen bytes the search reads at a time, after "<" that open other tags.
    Edit edit;
    edit.keepPre = true;
    for (const char* name : {"pre", "plaintext", "textarea", "script", "style", "xmp", "listing"}) {
        for (int up = 0; up < 4; ++up) {
            std::string tag = name;
            tag[0] = static_cast<char>((up & 1) ? tag[0] - ('a' - 'A') : tag[0]);
            tag[1] = static_cast<char>((up & 2) ? tag[1] - ('a' - 'A') : tag[1]);
            for (std::size_t at = 0; at < 40; ++at) {
                const std::string raw = std::string("<p> <l <s <P <t <x  ").substr(0, at % 20) +
                                        std::string(at / 20, ' ') + "<" + tag + ">  a  </" + name +
                                        ">  b  \r\n";
                const Result whole = WholeText(raw, edit);
                CompareResults(whole, Reference(raw), raw);
                CompareResults(InPieces(raw, edit, {}, 4096), whole, raw);
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }
}

void TestPieceEditor::passingTheLimitFails() {
    const Edit edit{false, "a", "aaaa", true};
    // 10 lines of "aa": 40 bytes after the replacement, over a limit of 30.
    std::string raw;
    for (int i = 0; i < 10; ++i)
        raw += "aa\r\n";
    QCOMPARE(WholeText(raw, edit).bytes.size(), std::size_t{100});
    bool threw = false;
    try {
        InPieces(raw, edit, {}, 8, 30);
    } catch (const std::runtime_error& e) {
        threw = true;
        QCOMPARE(std::string(e.what()), "RichEdit line insertion error"s);
    }
    QVERIFY(threw);
    // Exactly at the limit it is written.
    QCOMPARE(InPieces(raw, edit, {}, 8, 100).bytes.size(), std::size_t{100});
    // Written with LF, the limit still counts CR LF breaks: 30 bytes are 40.
    Edit keep;
    keep.keepPre = true;
    QVERIFY_THROWS_EXCEPTION(CharLimitError, InPieces(raw, keep, {}, 8, 30, LineBreakStyle::Lf));
    QCOMPARE(InPieces(raw, keep, {}, 8, 40, LineBreakStyle::Lf).bytes.size(), std::size_t{30});
}

void TestPieceEditor::replacementsThatKeepLines_data() {
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<QByteArray>("with");
    QTest::addColumn<bool>("keeps");
    QTest::newRow("plain") << "a"_b
                           << "b"_b << true;
    QTest::newRow("empty replacement") << "a"_b << QByteArray() << true;
    QTest::newRow("CR in the pattern") << "a\r"_b
                                       << "b"_b << false;
    QTest::newRow("LF in the replacement") << "a"_b
                                           << "b\nc"_b << false;
}

void TestPieceEditor::replacementsThatKeepLines() {
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, with);
    QFETCH(bool, keeps);
    QCOMPARE(ReplacementKeepsLines(find.toStdString(), with.toStdString()), keeps);
}

QTEST_APPLESS_MAIN(TestPieceEditor)
#include "tst_pieceeditor.moc"
