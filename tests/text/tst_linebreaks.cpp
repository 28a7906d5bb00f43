// Finding and unifying line breaks, compared with a byte-by-byte reading of the
// rule (CR LF is one break; a lone CR and a lone LF are one each; LF CR is two).

#include "text/LineBreaks.h"

#include "text/BreakStyleSink.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

struct Reference {
    LineBreakStyle firstStyle = LineBreakStyle::Keep; // Keep: no break yet
    std::size_t firstLone = std::string::npos;
    std::size_t loneBreaks = 0;
    std::string unified;
};

Reference ReadByByte(const std::string& s) {
    Reference r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((s[i] == '\r' || s[i] == '\n') && r.firstStyle == LineBreakStyle::Keep)
            r.firstStyle = s[i] == '\r' ? LineBreakStyle::CrLf : LineBreakStyle::Lf;
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            r.unified += "\r\n";
            ++i;
            continue;
        }
        if (s[i] == '\r' || s[i] == '\n') {
            if (r.firstLone == std::string::npos)
                r.firstLone = i;
            ++r.loneBreaks;
            r.unified += "\r\n";
            continue;
        }
        r.unified += s[i];
    }
    return r;
}

} // namespace

class TestLineBreaks : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void agreesWithByteByByteReading();
};

// Texts long enough to cross the sixteen-byte steps, breaks on every side of them.
void TestLineBreaks::agreesWithByteByByteReading() {
    QRandomGenerator rng(8122026);
    static const char Alphabet[] = {'a', 'b', '\r', '\n', ' ', '\x80'};
    for (int round = 0; round < 20000; ++round) {
        std::string s(static_cast<std::size_t>(rng.bounded(70)), 'a');
        const int breakShare = rng.bounded(1, 6);
        for (char& c : s)
            c = rng.bounded(6) < breakShare ? Alphabet[2 + rng.bounded(2)]
                                            : Alphabet[rng.bounded(6)];
        const Reference ref = ReadByByte(s);
        const QByteArray context = QByteArray::fromStdString(s).toPercentEncoding();
        QVERIFY2(FirstLoneBreak(s) == ref.firstLone, context.constData());
        QVERIFY2(FirstBreakStyle(s) == ResolvedBreaks(ref.firstStyle, LineBreakStyle::Lf),
                 context.constData());
        const LineFigures f = MeasureLines(s);
        QVERIFY2(f.loneBreaks == ref.loneBreaks, context.constData());
        const bool endsWithBreak = !s.empty() && (s.back() == '\r' || s.back() == '\n');
        QVERIFY2(f.joinedLength == s.size() + ref.loneBreaks + (s.empty() || endsWithBreak ? 0 : 2),
                 context.constData());

        std::string out = "kept:";
        AppendUnifiedBreaks(s, ref.firstLone == std::string::npos ? s.size() : ref.firstLone, out);
        QVERIFY2(out == "kept:" + ref.unified, context.constData());
        std::string withFinal;
        AppendUnifiedBreaks(s, 0, withFinal, true);
        QVERIFY2(withFinal == ref.unified + (s.empty() || endsWithBreak ? "" : "\r\n"),
                 context.constData());

        // With LF breaks: every break of the unified text one LF, also when the
        // text comes in two pieces (a CR LF may be cut).
        std::string lf;
        std::size_t breaks = 0;
        for (std::size_t i = 0; i < ref.unified.size(); ++i) {
            const bool crlf = ref.unified.compare(i, 2, "\r\n") == 0;
            lf += crlf ? '\n' : ref.unified[i];
            breaks += crlf;
            i += crlf;
        }
        std::string styled;
        AppendInStyle(s, LineBreakStyle::Lf, styled);
        QVERIFY2(styled == lf, context.constData());
        const auto cut = static_cast<std::size_t>(rng.bounded(static_cast<int>(s.size()) + 1));
        std::string piecewise;
        BreakStyleSink sink([&piecewise](std::string_view b) { piecewise.append(b); },
                            LineBreakStyle::Lf);
        LineCounter lines;
        for (std::string_view piece :
             {std::string_view(s).substr(0, cut), std::string_view(s).substr(cut)}) {
            sink.Feed(piece);
            lines.Feed(piece);
        }
        sink.Finish();
        QVERIFY2(piecewise == lf && sink.Written() == lf.size(), context.constData());
        QVERIFY2(lines.Lines() == breaks + (s.empty() || endsWithBreak ? 0 : 1),
                 context.constData());
    }
}

QTEST_APPLESS_MAIN(TestLineBreaks)
#include "tst_linebreaks.moc"
