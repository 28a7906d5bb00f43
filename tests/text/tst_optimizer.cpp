// The whitespace optimizer: one line, the list of lines, and a whole document run.

#include "text/Optimizer.h"
#include "text/TextDocument.h"

#include <QRandomGenerator>
#include <QTest>

#include <stdexcept>

using namespace std::string_literals;

namespace {

// The rules as stated, pass by pass, without any cleverness: the reference the
// fast implementation is checked against.
bool LiteralOptimizeLine(std::string s, std::string& out) {
    const std::string patterns[4] = {"  ", " \t", "\t ", "\t\t"};
    auto anyPattern = [&] {
        for (const std::string& p : patterns)
            if (s.find(p) != std::string::npos)
                return true;
        return false;
    };
    while (anyPattern()) {
        for (const std::string& p : patterns) {
            const auto k = s.find(p);
            if (k != std::string::npos)
                s.erase(k, 1);
        }
    }
    if (s.empty() || s == " " || s == "\t")
        return false;
    if (s.size() >= 2) {
        if (s.front() == ' ' || s.front() == '\t')
            s.erase(0, 1);
        if (s.back() == ' ')
            s.pop_back();
        else if (s.back() == '\t')
            s.pop_back();
    }
    out = s;
    return true;
}

// The work list with its write index moving back over dropped lines.
std::vector<std::string> LiteralOptimizeLines(const std::vector<std::string>& lines) {
    std::vector<std::string> work(lines.size());
    long index = -1;
    for (const std::string& line : lines) {
        ++index;
        work[static_cast<std::size_t>(index)] = line;
        std::string changed;
        if (LiteralOptimizeLine(work[static_cast<std::size_t>(index)], changed))
            work[static_cast<std::size_t>(index)] = changed;
        else
            --index;
    }
    work.resize(static_cast<std::size_t>(index + 1));
    return work;
}

// "TAB SP SP a" notation of the worked examples: SP and TAB name the blanks,
// "empty" is the empty line, everything else stands for itself; items are joined.
std::string Notation(const QString& notation) {
    std::string line;
    if (notation == QStringLiteral("empty"))
        return line;
    for (const QString& item : notation.split(QLatin1Char(' '))) {
        if (item == QStringLiteral("SP"))
            line += ' ';
        else if (item == QStringLiteral("TAB"))
            line += '\t';
        else
            line += item.toStdString();
    }
    return line;
}

std::string RandomLine(QRandomGenerator& rng, int maxLength) {
    static const char Alphabet[] = {' ', '\t', 'a', 'b', '\xa0'};
    std::string s(static_cast<std::size_t>(rng.bounded(maxLength + 1)), ' ');
    for (char& c : s)
        c = Alphabet[rng.bounded(5)];
    return s;
}

std::vector<std::string> LinesOf(const TextDocument& doc) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < doc.LineCount(); ++i)
        lines.emplace_back(doc.LineAt(i));
    return lines;
}

// What the callers' steps 2-6 give when spelt out with the document's operations.
struct Reference {
    std::size_t before = 0;
    std::size_t after = 0;
    bool pre = false;
    std::string whole;
    std::string error;
};

Reference StepByStep(TextDocument& doc) {
    Reference r;
    r.before = doc.JoinedText().size();
    const auto kept = LiteralOptimizeLines(LinesOf(doc));
    doc.ClearDocument();
    try {
        for (const std::string& line : kept)
            doc.AppendLine(line);
    } catch (const std::runtime_error& e) {
        r.error = e.what();
    }
    r.whole = doc.WholeText();
    r.after = doc.JoinedText().size();
    r.pre = doc.JoinedText().find("<pre>") != std::string::npos;
    return r;
}

// The sheets a page links: one sheet, counted as it is asked for.
class OneSheet : public LinkedStyleSheets {
public:
    const PreformattedRules* Sheet(std::string_view href) override {
        asked += std::string(href) + ";";
        return href == "doxygen.css" ? &rules : nullptr;
    }
    PreformattedRules rules;
    std::string asked;
};

} // namespace

class TestOptimizer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void workedExamples_data();
    void workedExamples();
    void trace();
    void literalAgreesWithExamples_data() { workedExamples_data(); }
    void literalAgreesWithExamples();
    void otherCharactersStay_data();
    void otherCharactersStay();
    void differentialLines();
    void differentialLists();
    void idempotentAndNeverLonger();
    void longRuns();
    void emptyInput();
    void documentFigures_data();
    void documentFigures();
    void documentMatchesStepByStep();
    void documentLimit();
    void preTag_data();
    void preTag();
    void keptBlocks_data();
    void keptBlocks();
    void keptBlocksPassingTheLimit();
    void linkedSheets_data();
    void linkedSheets();
};

void TestOptimizer::workedExamples_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output"); // "dropped" when the line goes
    QTest::newRow("1") << QStringLiteral("TAB SP SP a SP SP TAB SP b SP")
                       << QStringLiteral("a SP b");
    QTest::newRow("2") << QStringLiteral("x SP TAB y") << QStringLiteral("x TAB y");
    QTest::newRow("3") << QStringLiteral("x TAB SP y") << QStringLiteral("x SP y");
    QTest::newRow("4") << QStringLiteral("a SP TAB SP b TAB SP TAB c")
                       << QStringLiteral("a SP b TAB c");
    QTest::newRow("5") << QStringLiteral("x SP SP y TAB TAB z") << QStringLiteral("x SP y TAB z");
    QTest::newRow("6") << QStringLiteral("SP a") << QStringLiteral("a");
    QTest::newRow("7") << QStringLiteral("SP ab TAB") << QStringLiteral("ab");
    QTest::newRow("8") << QStringLiteral("a") << QStringLiteral("a");
    QTest::newRow("9 empty") << QStringLiteral("empty") << QStringLiteral("dropped");
    QTest::newRow("10 SP") << QStringLiteral("SP") << QStringLiteral("dropped");
    QTest::newRow("11 TAB") << QStringLiteral("TAB") << QStringLiteral("dropped");
    QTest::newRow("12 blanks") << QStringLiteral("SP SP TAB SP SP") << QStringLiteral("dropped");
    QTest::newRow("trace") << QStringLiteral("a SP SP TAB SP SP b") << QStringLiteral("a SP b");
}

void TestOptimizer::workedExamples() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    std::string out = "junk";
    const bool kept = OptimizeLine(Notation(input), out);
    if (output == QStringLiteral("dropped")) {
        QVERIFY(!kept);
    } else {
        QVERIFY(kept);
        QCOMPARE(out, Notation(output));
    }
}

void TestOptimizer::trace() {
    // The literal rules give the trace's intermediate lines pass by pass; the end
    // result is what the fast version gives.
    std::string out;
    QVERIFY(LiteralOptimizeLine("a  \t  b", out));
    QCOMPARE(out, "a b"s);
    QVERIFY(OptimizeLine("a  \t  b", out));
    QCOMPARE(out, "a b"s);
}

void TestOptimizer::literalAgreesWithExamples() {
    // The reference itself must reproduce the worked examples.
    QFETCH(QString, input);
    QFETCH(QString, output);
    std::string out;
    const bool kept = LiteralOptimizeLine(Notation(input), out);
    QCOMPARE(kept, output != QStringLiteral("dropped"));
    if (kept)
        QCOMPARE(out, Notation(output));
}

void TestOptimizer::otherCharactersStay_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("no-break space") << QByteArray("\xa0 \xa0") << QByteArray("\xa0 \xa0");
    QTest::newRow("form feed") << QByteArray(" \x0c ") << QByteArray("\x0c");
    QTest::newRow("vertical tab") << QByteArray("\x0b\x0b") << QByteArray("\x0b\x0b");
    QTest::newRow("NUL") << QByteArray("\0 \0", 3) << QByteArray("\0 \0", 3);
    QTest::newRow("utf-8") << QByteArray(" \xc3\xa9  \xc3\xa9\t")
                           << QByteArray("\xc3\xa9 \xc3\xa9");
}

void TestOptimizer::otherCharactersStay() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    std::string out;
    QVERIFY(OptimizeLine(std::string_view(line.constData(), static_cast<std::size_t>(line.size())),
                         out));
    QCOMPARE(out, expected.toStdString());
}

void TestOptimizer::differentialLines() {
    QRandomGenerator rng(20260101);
    std::string fast, literal;
    for (int i = 0; i < 40000; ++i) {
        // Short lines, and lines long enough for the block-wise path.
        std::string line = RandomLine(rng, i % 2 == 0 ? 12 : 80);
        if (i % 3 == 0) // long indentation and trailing runs
            line = std::string(static_cast<std::size_t>(rng.bounded(40)), i % 2 ? ' ' : '\t') +
                   line + std::string(static_cast<std::size_t>(rng.bounded(40)), ' ');
        const bool a = OptimizeLine(line, fast);
        const bool b = LiteralOptimizeLine(line, literal);
        if (a != b || (a && fast != literal))
            QFAIL(qPrintable(
                QStringLiteral("differs on line \"%1\"")
                    .arg(QString::fromLatin1(line.data(), static_cast<int>(line.size())))));
    }
}

void TestOptimizer::differentialLists() {
    QRandomGenerator rng(7);
    for (int i = 0; i < 2000; ++i) {
        std::vector<std::string> lines(static_cast<std::size_t>(rng.bounded(8)));
        for (std::string& l : lines)
            l = RandomLine(rng, 6);
        QCOMPARE(OptimizeLines(lines), LiteralOptimizeLines(lines));
    }
}

void TestOptimizer::idempotentAndNeverLonger() {
    QRandomGenerator rng(99);
    std::string once, twice;
    for (int i = 0; i < 20000; ++i) {
        const std::string line = RandomLine(rng, 16);
        if (!OptimizeLine(line, once))
            continue;
        QVERIFY(once.size() <= line.size());
        QVERIFY(!once.empty());
        QVERIFY(OptimizeLine(once, twice));
        QCOMPARE(twice, once);
    }
}

void TestOptimizer::longRuns() {
    // Linear, whatever the runs: a megabyte of blanks between two words.
    std::string line = "a" + std::string(1 << 20, ' ') + "\t" + std::string(1 << 20, '\t') + " b";
    std::string out;
    QVERIFY(OptimizeLine(line, out));
    QCOMPARE(out, "a b"s);
}

void TestOptimizer::emptyInput() {
    QVERIFY(OptimizeLines({}).empty());
}

void TestOptimizer::documentFigures_data() {
    QTest::addColumn<QByteArray>("whole");
    QTest::addColumn<QByteArray>("optimized");
    QTest::addColumn<int>("saved");
    QTest::newRow("single line break") << QByteArray("\r\n") << QByteArray() << 2;
    QTest::newRow("only blank lines") << QByteArray(" \r\n\t\t\r\n\r\n") << QByteArray() << 9;
    QTest::newRow("dropped lines count 2 each")
        << QByteArray("a\r\n\r\n  \r\nb") << QByteArray("a\r\nb\r\n") << 6;
    QTest::newRow("last line without break") << QByteArray("  a  ") << QByteArray("a\r\n") << 4;
    QTest::newRow("lone breaks") << QByteArray("a \n\n b\r") << QByteArray("a\r\nb\r\n") << 4;
    QTest::newRow("already optimized")
        << QByteArray("a b\r\nc\r\n") << QByteArray("a b\r\nc\r\n") << 0;
    QTest::newRow("blocks") << QByteArray("\t<p>\r\n\r\n\t\t<b>x  y</b> \r\n")
                            << QByteArray("<p>\r\n<b>x y</b>\r\n") << 7;
}

void TestOptimizer::documentFigures() {
    QFETCH(QByteArray, whole);
    QFETCH(QByteArray, optimized);
    QFETCH(int, saved);
    TextDocument doc;
    doc.SetWholeText(whole.toStdString());
    const auto revision = doc.Revision();
    const OptimizeRun run = OptimizeDocument(doc);
    QCOMPARE(doc.WholeText(), optimized.toStdString());
    QCOMPARE(run.lengthAfter, doc.JoinedLength());
    QCOMPARE(run.lengthAfter, static_cast<std::size_t>(optimized.size()));
    QCOMPARE(run.Saved(), static_cast<std::size_t>(saved));
    QVERIFY(doc.Revision() != revision);
    // A second run changes nothing and saves nothing.
    if (doc.JoinedLength() > 0) {
        const OptimizeRun again = OptimizeDocument(doc);
        QCOMPARE(again.Saved(), std::size_t{0});
        QCOMPARE(doc.WholeText(), optimized.toStdString());
    }
}

void TestOptimizer::documentMatchesStepByStep() {
    QRandomGenerator rng(4242);
    static const char* Breaks[] = {"\r\n", "\r\n", "\r\n", "\n", "\r", "\n\r"};
    for (int i = 0; i < 3000; ++i) {
        std::string whole;
        const int lines = rng.bounded(10);
        for (int l = 0; l < lines; ++l) {
            whole += RandomLine(rng, 8);
            if (l + 1 < lines || rng.bounded(2) == 0)
                whole += Breaks[rng.bounded(6)];
        }
        if (rng.bounded(5) == 0)
            whole += "<pre>";
        const std::size_t limit = rng.bounded(4) == 0 ? static_cast<std::size_t>(rng.bounded(40))
                                                      : TextDocument::ReadCharLimit;
        TextDocument fast, slow;
        fast.SetWholeText(whole);
        slow.SetWholeText(whole);
        fast.SetCharLimit(limit);
        slow.SetCharLimit(limit);
        if (fast.JoinedLength() == 0)
            continue;
        const Reference expected = StepByStep(slow);
        std::string error;
        OptimizeRun run;
        try {
            run = OptimizeDocument(fast);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        QCOMPARE(error, expected.error);
        QCOMPARE(fast.WholeText(), expected.whole);
        QCOMPARE(LinesOf(fast), LinesOf(slow));
        if (error.empty()) {
            QCOMPARE(run.lengthBefore, expected.before);
            QCOMPARE(run.lengthAfter, expected.after);
            QCOMPARE(run.hasPre, expected.pre);
        }
    }
}

void TestOptimizer::documentLimit() {
    TextDocument doc;
    doc.SetWholeText("  aaa\r\n\r\nbbbb\r\ncc\r\n");
    doc.SetCharLimit(11); // "aaa\r\nbbbb\r\n" is 11; "cc\r\n" would make 15
    try {
        OptimizeDocument(doc);
        QFAIL("no error");
    } catch (const std::runtime_error& e) {
        QCOMPARE(std::string(e.what()), "RichEdit line insertion error"s);
    }
    QCOMPARE(doc.WholeText(), "aaa\r\nbbbb\r\n"s);
    QCOMPARE(doc.LineCount(), std::size_t{2});
}

void TestOptimizer::preTag_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("detected");
    QTest::newRow("lower case") << QByteArray("x\r\n  <pre>\r\n") << true;
    QTest::newRow("upper case") << QByteArray("<PRE>\r\n") << false;
    QTest::newRow("mixed case") << QByteArray("<Pre>\r\n") << false;
    QTest::newRow("attributes") << QByteArray("<pre class=\"x\">\r\n") << false;
    QTest::newRow("closing only") << QByteArray("</pre>\r\n") << false;
    QTest::newRow("split by a dropped blank") << QByteArray("<pre\r\n \r\n>\r\n") << false;
    QTest::newRow("none") << QByteArray("plain\r\n") << false;
}

void TestOptimizer::preTag() {
    QFETCH(QByteArray, text);
    QFETCH(bool, detected);
    TextDocument doc;
    doc.SetWholeText(text.toStdString());
    QCOMPARE(OptimizeDocument(doc).hasPre, detected);
    QCOMPARE(ContainsPreTag(doc.JoinedText()), detected);
}

void TestOptimizer::keptBlocks_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("hasPreWithout"); // "<pre>" found without kept blocks

    QTest::newRow("blanks around a block in its lines")
        << QByteArray("  a   <pre>x\r\n  y</pre>   b  ")
        << QByteArray("a <pre>x\r\n  y</pre> b\r\n") << true;
    QTest::newRow("lines inside stay, blank ones too")
        << QByteArray("<PRE>\r\n   \r\n\tz  </pre >\r\n")
        << QByteArray("<PRE>\r\n   \r\n\tz  </pre >\r\n") << false;
    QTest::newRow("a longer name is no start tag")
        << QByteArray("<prefix>  a  </prefix>") << QByteArray("<prefix> a </prefix>\r\n") << false;
    QTest::newRow("only its own end tag ends it")
        << QByteArray("<script>a  </style>  b  \r\n  c")
        << QByteArray("<script>a  </style>  b  \r\n  c\r\n") << false;
    QTest::newRow("lone breaks, a blank line after it dropped")
        << QByteArray("<style\n  x>  a  </style>  \n   \n")
        << QByteArray("<style\r\n  x>  a  </style>\r\n") << false;
    QTest::newRow("two blocks on a line") << QByteArray("\t<pre>a</pre> \t<xmp>b</xmp>\t")
                                          << QByteArray("<pre>a</pre>\t<xmp>b</xmp>\r\n") << true;
    QTest::newRow("no end tag: to the end of the text")
        << QByteArray("x  <textarea/>  a  ") << QByteArray("x <textarea/>  a  \r\n") << false;
    QTest::newRow("end tag outside a block is text")
        << QByteArray("</pre>  a  \r\n \r\n") << QByteArray("</pre> a\r\n") << false;
    QTest::newRow("white space in the end tag, a break among it")
        << QByteArray("<listing> a </LISTING\r\n>  b")
        << QByteArray("<listing> a </LISTING\r\n> b\r\n") << false;
    QTest::newRow("start tag's name ended by a break")
        << QByteArray("<plaintext\r\n  </plaintext>")
        << QByteArray("<plaintext\r\n  </plaintext>\r\n") << false;
    QTest::newRow("a style attribute makes an element preformatted")
        << QByteArray("<div style=\"white-space: pre-wrap\">  a   b  </div>  c  ")
        << QByteArray("<div style=\"white-space: pre-wrap\">  a   b  </div> c\r\n") << false;
    QTest::newRow("a <style> rule: a type and class, other elements not")
        << QByteArray("<style>span.lineno{white-space:pre}</style>\r\n"
                      "<span class=\"lineno\">    9</span>&#160;<span>int  x;</span>")
        << QByteArray("<style>span.lineno{white-space:pre}</style>\r\n"
                      "<span class=\"lineno\">    9</span>&#160;<span>int x;</span>\r\n")
        << false;
    QTest::newRow("a rule in @media, its last compound; elements of its name nest")
        << QByteArray("<style>@media screen{div.fragment > div.line{white-space:pre-wrap}}</style>"
                      "<div class=\"x line\"><div>  a</div>  b</div>  <div>  c  </div>")
        << QByteArray("<style>@media screen{div.fragment > div.line{white-space:pre-wrap}}</style>"
                      "<div class=\"x line\"><div>  a</div>  b</div> <div> c </div>\r\n")
        << false;
    QTest::newRow("signature over lines, a rule with a comment and a string before it")
        << QByteArray("<style>/* .a{white-space:pre} */.b{content:\"}\"}.parameters{white-space:"
                      "pre}</style><p class=a>  x  </p><span class=\"parameters\">(C&nbsp;a,\r\n "
                      "R&nbsp;b)</span>")
        << QByteArray("<style>/* .a{white-space:pre} */.b{content:\"}\"}.parameters{white-space:"
                      "pre}</style><p class=a> x </p><span class=\"parameters\">(C&nbsp;a,\r\n "
                      "R&nbsp;b)</span>\r\n")
        << false;
    QTest::newRow("a rule after an element does not reach back; no content, nothing kept")
        << QByteArray("<p id=\"x\">  a  </p><style>#x,br{white-space:pre}</style><p id=\"x\">  b  "
                      "</p><br id=x>  c  ")
        << QByteArray("<p id=\"x\"> a </p><style>#x,br{white-space:pre}</style><p id=\"x\">  b  "
                      "</p><br id=x> c\r\n")
        << false;
    QTest::newRow("a type rule keeps a tag without attributes")
        << QByteArray("<style>code{white-space:pre}</style><code>a  b</code>  <p>c  d</p>")
        << QByteArray("<style>code{white-space:pre}</style><code>a  b</code> <p>c d</p>\r\n")
        << false;
    QTest::newRow("attribute values, quoted over lines and unquoted")
        << QByteArray("<input value=\"two  spaces   here\"  title='a\r\n    b'>   x  \r\n"
                      "<a\r\n   href=x   title=\"  \">  y")
        << QByteArray("<input value=\"two  spaces   here\" title='a\r\n    b'> x\r\n"
                      "<a\r\nhref=x title=\"  \"> y\r\n")
        << false;
    QTest::newRow("server script sections in a tag and a value keep the line rules")
        << QByteArray("<a <?php if ($x  >  1) echo 'y  z'; ?> title=\"<%= t  %>  u\">  v")
        << QByteArray("<a <?php if ($x > 1) echo 'y z'; ?> title=\"<%= t %>  u\"> v\r\n") << false;
    QTest::newRow("without blocks as without the option")
        << QByteArray(" a  b \r\n\t\r\n<p> c") << QByteArray("a b\r\n<p> c\r\n") << false;
}

void TestOptimizer::keptBlocks() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QFETCH(bool, hasPreWithout);
    TextDocument doc;
    doc.SetWholeText(text.toStdString());
    const OptimizeRun run = OptimizeDocument(doc, OptimizeOptions{true});
    QCOMPARE(QByteArray::fromStdString(doc.WholeText()), expected);
    QCOMPARE(run.lengthAfter, std::size_t(expected.size()));
    QCOMPARE(doc.JoinedLength(), run.lengthAfter);
    // Every "<pre>" is a kept block's now.
    QVERIFY(!run.hasPre);
    doc.SetWholeText(text.toStdString());
    QCOMPARE(OptimizeDocument(doc).hasPre, hasPreWithout);
}

void TestOptimizer::keptBlocksPassingTheLimit() {
    // The refill keeps the whole lines that fit, a block's lines among them.
    TextDocument doc;
    doc.SetWholeText("a  \r\n<pre>x\r\n  y</pre>\r\n");
    doc.SetCharLimit(12);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, OptimizeDocument(doc, OptimizeOptions{true}));
    QCOMPARE(doc.WholeText(), "a\r\n<pre>x\r\n"s);
}

void TestOptimizer::linkedSheets_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("asked");

    QTest::newRow("a linked sheet's rule")
        << QByteArray("<link rel=\"stylesheet\" href=\"doxygen.css\"><div class=\"line\">  a</div>")
        << QByteArray(
               "<link rel=\"stylesheet\" href=\"doxygen.css\"><div class=\"line\">  a</div>\r\n")
        << QByteArray("doxygen.css;");
    QTest::newRow("a link that is no stylesheet is not read")
        << QByteArray("<link rel=icon href=doxygen.css><div class=line>  a</div>")
        << QByteArray("<link rel=icon href=doxygen.css><div class=line> a</div>\r\n")
        << QByteArray();
    QTest::newRow("a sheet not read keeps nothing")
        << QByteArray("<LINK href='x.css' REL='alternate Stylesheet'><div class=line>  a</div>")
        << QByteArray("<LINK href='x.css' REL='alternate Stylesheet'><div class=line> a</div>\r\n")
        << QByteArray("x.css;");
}

void TestOptimizer::linkedSheets() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, asked);
    OneSheet sheets;
    sheets.rules.AddStyleSheet("@media all { div.line { color: red; white-space: pre-wrap } }");
    TextDocument doc;
    doc.SetWholeText(text.toStdString());
    OptimizeDocument(doc, OptimizeOptions{true, &sheets});
    QCOMPARE(QByteArray::fromStdString(doc.WholeText()), expected);
    QCOMPARE(QByteArray::fromStdString(sheets.asked), asked);
}

QTEST_GUILESS_MAIN(TestOptimizer)
#include "tst_optimizer.moc"
