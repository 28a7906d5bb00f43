// A file's steps, whole (the window's) and streamed (velocitrix-cli's), give the
// same bytes and figures, with CR LF, LF or each file's own breaks written and
// blocks kept or not.

#include "commands/FileSteps.h"
#include "commands/StreamedStep.h"
#include "text/TextDocument.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

struct Outcome {
    std::string bytes;
    std::size_t before = 0;
    std::size_t after = 0;
    bool changed = false;
};

// The window's way: the text read (breaks made CR LF), the step, the save's refill.
Outcome Whole(const std::string& raw, const FileStep& step) {
    TextDocument doc;
    std::string unified;
    AppendUnifiedBreaks(raw, 0, unified);
    doc.SetWholeText(unified);
    doc.SetOwnBreaks(FirstBreakStyle(raw)); // as ReadFromFile keeps it
    Outcome r;
    if (step.optimize) {
        const OptimizeRun run = OptimizeStep(doc, step.optimizeOptions, step.breaks);
        r.before = run.lengthBefore;
        r.after = run.lengthAfter;
    } else {
        ChangeStep(doc, step.change);
    }
    TextDocument saved;
    saved.SetOwnBreaks(doc.OwnBreaks());
    r.bytes = std::string(SaveBytes(saved, doc.WholeText(), step.breaks));
    r.changed = r.bytes != raw;
    return r;
}

// The command line's way, the file read in two pieces cut at cut.
Outcome Streamed(const std::string& raw, const FileStep& step, std::size_t cut) {
    Outcome r;
    StreamedStep streamed(
        step, [&r](std::string_view piece) { r.bytes.append(piece); }, TextDocument::ReadCharLimit);
    streamed.Feed(std::string_view(raw).substr(0, cut));
    streamed.Feed(std::string_view(raw).substr(cut));
    const PieceFigures& f = streamed.Finish();
    r.before = f.before;
    r.after = f.after;
    r.changed = f.changed;
    return r;
}

FileStep Step(bool optimize, const QByteArray& find, const QByteArray& with, bool keep,
              LineBreakStyle breaks) {
    FileStep step;
    step.optimize = optimize;
    step.change = {find.toStdString(), with.toStdString(), true};
    step.optimizeOptions.keepPre = keep;
    step.breaks = breaks;
    return step;
}

} // namespace

Q_DECLARE_METATYPE(LineBreakStyle)

class TestFileSteps : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void breaksWritten_data();
    void breaksWritten();
    void randomTextsAgree();
};

void TestFileSteps::breaksWritten_data() {
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("find"); // empty: optimize
    QTest::addColumn<QByteArray>("with");
    QTest::addColumn<LineBreakStyle>("breaks");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");

    const QByteArray none;
    constexpr LineBreakStyle CrLf = LineBreakStyle::CrLf;
    constexpr LineBreakStyle Lf = LineBreakStyle::Lf;
    constexpr LineBreakStyle Keep = LineBreakStyle::Keep;
    // LF: every break written, and counted, as one byte.
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << none << none << Lf << QByteArray("a\nb\n")
                             << 4 << 4;
    QTest::newRow("lone LF") << QByteArray("a  b\n") << none << none << Lf << QByteArray("a b\n")
                             << 5 << 4;
    QTest::newRow("CR LF") << QByteArray("a\r\n  \r\nb\r\n") << none << none << Lf
                           << QByteArray("a\nb\n") << 7 << 4;
    QTest::newRow("missing final break")
        << QByteArray("x\ny") << none << none << Lf << QByteArray("x\ny\n") << 4 << 4;
    QTest::newRow("empty file") << QByteArray() << none << none << Lf << QByteArray() << 0 << 0;
    QTest::newRow("kept block") << QByteArray("<pre>\r\n  x\r\n</pre>  \r\n") << none << none << Lf
                                << QByteArray("<pre>\n  x\n</pre>\n") << 19 << 17;
    QTest::newRow("replace across a CR LF")
        << QByteArray("ab\r\ncd\r\n") << QByteArray("b\r\nc") << QByteArray("-") << Lf
        << QByteArray("a-d\n") << 6 << 4;
    QTest::newRow("replace across a lone LF")
        << QByteArray("ab\ncd") << QByteArray("b\r\nc") << QByteArray("-") << Lf
        << QByteArray("a-d\n") << 6 << 4;
    QTest::newRow("replacement puts in a break")
        << QByteArray("a-b\n") << QByteArray("-") << QByteArray("\r\n") << Lf
        << QByteArray("a\nb\n") << 4 << 4;
    // CR LF, as before.
    QTest::newRow("CR LF written")
        << QByteArray("a\nb") << none << none << CrLf << QByteArray("a\r\nb\r\n") << 6 << 6;
    QTest::newRow("CR LF, replace across a break")
        << QByteArray("ab\ncd") << QByteArray("b\r\nc") << QByteArray("-") << CrLf
        << QByteArray("a-d\r\n") << 8 << 5;
    // Each file's own: the style of its first break, whatever follows.
    QTest::newRow("keep: LF first")
        << QByteArray("a  b\nc\r\n") << none << none << Keep << QByteArray("a b\nc\n") << 7 << 6;
    QTest::newRow("keep: CR LF first") << QByteArray("a  b\r\nc\n") << none << none << Keep
                                       << QByteArray("a b\r\nc\r\n") << 9 << 8;
    QTest::newRow("keep: lone CR first")
        << QByteArray("a\rb\n") << none << none << Keep << QByteArray("a\r\nb\r\n") << 6 << 6;
    QTest::newRow("keep: no break")
        << QByteArray("a  b") << none << none << Keep << QByteArray("a b\n") << 5 << 4;
    QTest::newRow("keep: replacement's break, no break read")
        << QByteArray("a-b") << QByteArray("-") << QByteArray("\r\n") << Keep
        << QByteArray("a\nb\n") << 4 << 4;
    QTest::newRow("keep: replacement's break before the first CR LF")
        << QByteArray("a-b\r\nc") << QByteArray("-") << QByteArray("\r\n") << Keep
        << QByteArray("a\r\nb\r\nc\r\n") << 8 << 9;
}

void TestFileSteps::breaksWritten() {
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, with);
    QFETCH(LineBreakStyle, breaks);
    QFETCH(QByteArray, expected);
    QFETCH(int, before);
    QFETCH(int, after);
    const std::string text = raw.toStdString();
    const FileStep step = Step(find.isEmpty(), find, with, true, breaks);
    const Outcome whole = Whole(text, step);
    QCOMPARE(QByteArray::fromStdString(whole.bytes), expected);
    if (step.optimize) {
        QCOMPARE(whole.before, std::size_t(before));
        QCOMPARE(whole.after, std::size_t(after));
    }
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        const Outcome streamed = Streamed(text, step, cut);
        QCOMPARE(QByteArray::fromStdString(streamed.bytes), expected);
        QCOMPARE(streamed.before, std::size_t(before));
        QCOMPARE(streamed.after, std::size_t(after));
        QCOMPARE(streamed.changed, whole.changed);
    }
}

void TestFileSteps::randomTextsAgree() {
    static const char* const Pieces[] = {"a",    " ",      "\t",     "\r",    "\n",
                                         "\r\n", "<pre>",  "</pre>", "<xmp ", "</XMP>",
                                         "<pre", "b\r\nc", "bc",     "\n\r"};
    QRandomGenerator rng(20261211);
    for (int round = 0; round < 4000; ++round) {
        std::string raw;
        for (int n = rng.bounded(30); n > 0; --n)
            raw += Pieces[rng.bounded(static_cast<int>(std::size(Pieces)))];
        const FileStep step = Step(rng.bounded(3) != 0, "b\r\nc", "\n", rng.bounded(2) == 0,
                                   static_cast<LineBreakStyle>(rng.bounded(3)));
        const Outcome whole = Whole(raw, step);
        const Outcome streamed =
            Streamed(raw, step, static_cast<std::size_t>(rng.bounded(int(raw.size()) + 1)));
        const QByteArray context = QByteArray::fromStdString(raw).toPercentEncoding();
        QVERIFY2(streamed.bytes == whole.bytes, context.constData());
        QVERIFY2(streamed.changed == whole.changed, context.constData());
        QVERIFY2(streamed.after == streamed.bytes.size(), context.constData());
        if (step.optimize) {
            QVERIFY2(streamed.before == whole.before, context.constData());
            QVERIFY2(streamed.after == whole.after, context.constData());
        }
    }
}

QTEST_APPLESS_MAIN(TestFileSteps)
#include "tst_filesteps.moc"
