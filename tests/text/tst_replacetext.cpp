// Replace-all, with and without regard to letter case.

#include "text/ReplaceText.h"
#include "text/UpperCase.h"

#include <QRandomGenerator>
#include <QTest>

using namespace std::string_literals;

namespace {

std::string AsciiUpper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return s;
}

// The replace-all steps as written, positions from 1, for ASCII texts.
std::string LiteralReplace(const std::string& S, const std::string& P, const std::string& R,
                           bool caseSensitive) {
    std::string U = caseSensitive ? S : AsciiUpper(S);
    const std::string Q = caseSensitive ? P : AsciiUpper(P);
    std::string rest = S;
    std::string result;
    while (!U.empty()) {
        std::size_t k = 0;
        if (!Q.empty()) {
            const auto at = U.find(Q);
            k = at == std::string::npos ? 0 : at + 1;
        }
        if (k == 0) {
            result += rest;
            return result;
        }
        result += rest.substr(0, k - 1) + R;
        rest = rest.substr(k - 1 + P.size());
        U = U.substr(k - 1 + Q.size());
    }
    return result;
}

// The same steps for any bytes: upper-cased copies from UpperCase, and a match that
// would begin inside a multi-byte character passed over, the search going on from
// the byte after it.
std::string NaiveReplace(const std::string& S, const std::string& P, const std::string& R,
                         bool caseSensitive) {
    const std::string U = caseSensitive ? S : UpperCase(S);
    const std::string Q = caseSensitive ? P : UpperCase(P);
    if (Q.empty())
        return S;
    std::string result;
    std::size_t copied = 0;
    std::size_t from = 0;
    for (;;) {
        const auto k = U.find(Q, from);
        if (k == std::string::npos)
            break;
        if (InsideUtf8Character(S, k)) {
            from = k + 1;
            continue;
        }
        result += S.substr(copied, k - copied) + R;
        copied = from = k + P.size();
    }
    return result + S.substr(copied);
}

std::string RandomOver(QRandomGenerator& rng, const std::vector<std::string>& pieces,
                       int maxPieces) {
    std::string s;
    const int n = rng.bounded(maxPieces + 1);
    for (int i = 0; i < n; ++i)
        s += pieces[static_cast<std::size_t>(rng.bounded(static_cast<int>(pieces.size())))];
    return s;
}

std::string B(const QByteArray& a) {
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}

} // namespace

class TestReplaceText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void edgeCases_data();
    void edgeCases();
    void literalAgreesWithEdgeCases_data() { edgeCases_data(); }
    void literalAgreesWithEdgeCases();
    void differentialAscii();
    void utf8Cases_data();
    void utf8Cases();
    void differentialUtf8AcrossWindows();
    void replacingByItselfChangesNothing();
    void longPattern();
};

void TestReplaceText::edgeCases_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("aaa aa->b") << QByteArray("aaa") << QByteArray("aa") << QByteArray("b") << true
                               << QByteArray("ba");
    QTest::newRow("aaaa aa->b") << QByteArray("aaaa") << QByteArray("aa") << QByteArray("b") << true
                                << QByteArray("bb");
    QTest::newRow("a->aa not searched again")
        << QByteArray("aaa") << QByteArray("a") << QByteArray("aa") << true << QByteArray("aaaaaa");
    QTest::newRow("insensitive Foo fOO FOO")
        << QByteArray("Foo fOO FOO") << QByteArray("foo") << QByteArray("Bar") << false
        << QByteArray("Bar Bar Bar");
    QTest::newRow("sensitive Foo fOO FOO")
        << QByteArray("Foo fOO FOO") << QByteArray("foo") << QByteArray("Bar") << true
        << QByteArray("Foo fOO FOO");
    QTest::newRow("case kept outside") << QByteArray("ABC-Def") << QByteArray("abc")
                                       << QByteArray("x") << false << QByteArray("x-Def");
    QTest::newRow("replacement as typed")
        << QByteArray("abc") << QByteArray("B") << QByteArray("xY") << false << QByteArray("axYc");
    QTest::newRow("empty pattern")
        << QByteArray("abc") << QByteArray() << QByteArray("x") << true << QByteArray("abc");
    QTest::newRow("empty pattern insensitive")
        << QByteArray("abc") << QByteArray() << QByteArray("x") << false << QByteArray("abc");
    QTest::newRow("empty replacement")
        << QByteArray("a-b-c") << QByteArray("-") << QByteArray() << true << QByteArray("abc");
    QTest::newRow("empty text") << QByteArray() << QByteArray("a") << QByteArray("b") << false
                                << QByteArray();
    QTest::newRow("two lines") << QByteArray("one\r\ntwo\r\nthree") << QByteArray("one\r\ntwo")
                               << QByteArray("x") << true << QByteArray("x\r\nthree");
    QTest::newRow("pattern ending with break")
        << QByteArray("word word\r\nword") << QByteArray("word\r\n") << QByteArray("W\r\n") << true
        << QByteArray("word W\r\nword");
    QTest::newRow("tab matches tab") << QByteArray("a\tb a b") << QByteArray("\t")
                                     << QByteArray("_") << true << QByteArray("a_b a b");
    QTest::newRow("space does not match tab")
        << QByteArray("a\tb") << QByteArray(" ") << QByteArray("_") << false << QByteArray("a\tb");
    QTest::newRow("match at end") << QByteArray("xyab") << QByteArray("ab") << QByteArray("")
                                  << true << QByteArray("xy");
    QTest::newRow("pattern longer than text")
        << QByteArray("ab") << QByteArray("abc") << QByteArray("x") << true << QByteArray("ab");
    QTest::newRow("whole text") << QByteArray("abc") << QByteArray("ABC") << QByteArray("") << false
                                << QByteArray("");
    QTest::newRow("NUL bytes") << QByteArray("a\0b\0", 4) << QByteArray("\0", 1) << QByteArray("0")
                               << true << QByteArray("a0b0");
}

void TestReplaceText::edgeCases() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, replacement);
    QFETCH(bool, caseSensitive);
    QFETCH(QByteArray, expected);
    QCOMPARE(ReplaceText(B(text), B(pattern), B(replacement), caseSensitive), B(expected));
}

void TestReplaceText::literalAgreesWithEdgeCases() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, replacement);
    QFETCH(bool, caseSensitive);
    QFETCH(QByteArray, expected);
    QCOMPARE(LiteralReplace(B(text), B(pattern), B(replacement), caseSensitive), B(expected));
}

void TestReplaceText::differentialAscii() {
    QRandomGenerator rng(31337);
    const std::vector<std::string> pieces{"a", "A", "b", "B", "ab", " ", "\t", "\r\n", "x"};
    for (int i = 0; i < 20000; ++i) {
        const std::string text = RandomOver(rng, pieces, 12);
        const std::string pattern = RandomOver(rng, pieces, 3);
        const std::string replacement = RandomOver(rng, pieces, 3);
        const bool cs = rng.bounded(2) == 0;
        const std::string got = ReplaceText(text, pattern, replacement, cs);
        const std::string want = LiteralReplace(text, pattern, replacement, cs);
        if (got != want)
            QFAIL(qPrintable(
                QStringLiteral("text \"%1\" pattern \"%2\" replacement \"%3\" %4")
                    .arg(QString::fromStdString(text), QString::fromStdString(pattern),
                         QString::fromStdString(replacement),
                         cs ? QStringLiteral("sensitive") : QStringLiteral("insensitive"))));
    }
}

void TestReplaceText::utf8Cases_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("E acute folds")
        << QByteArray("\xc3\x89t\xc3\xa9 \xc3\xa9T\xc3\x89") << QByteArray("\xc3\xa9t\xc3\xa9")
        << QByteArray("x") << false << QByteArray("x x");
    QTest::newRow("E acute sensitive")
        << QByteArray("\xc3\x89t\xc3\xa9 \xc3\xa9t\xc3\xa9") << QByteArray("\xc3\xa9t\xc3\xa9")
        << QByteArray("x") << true << QByteArray("\xc3\x89t\xc3\xa9 x");
    QTest::newRow("cyrillic") << QByteArray("\xd0\x96\xd0\xb8\xd0\xb2")
                              << QByteArray("\xd0\xb6\xd0\x98\xd0\x92") << QByteArray("ok") << false
                              << QByteArray("ok");
    // The pattern's bytes A9 occur as the second byte of é: no match may begin there.
    QTest::newRow("no match inside a character")
        << QByteArray("\xc3\xa9\xa9") << QByteArray("\xa9") << QByteArray("#") << true
        << QByteArray("\xc3\xa9#");
    QTest::newRow("inside a character, insensitive")
        << QByteArray("\xc3\xa9x\xa9X") << QByteArray("\xa9x") << QByteArray("#") << false
        << QByteArray("\xc3\xa9x#");
    QTest::newRow("latin-1 bytes pass through")
        << QByteArray("caf\xe9 CAF\xc9") << QByteArray("caf\xe9") << QByteArray("tea") << false
        << QByteArray("tea CAF\xc9");
    QTest::newRow("latin-1 continuation-range bytes")
        << QByteArray("\xfc\xa9\xa9") << QByteArray("\xa9") << QByteArray("-") << true
        << QByteArray("\xfc--");
    QTest::newRow("sharp s not folded") << QByteArray("stra\xc3\x9f"
                                                      "e")
                                        << QByteArray("STRASSE") << QByteArray("x") << false
                                        << QByteArray("stra\xc3\x9f"
                                                      "e");
}

void TestReplaceText::utf8Cases() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, replacement);
    QFETCH(bool, caseSensitive);
    QFETCH(QByteArray, expected);
    QCOMPARE(ReplaceText(B(text), B(pattern), B(replacement), caseSensitive), B(expected));
    QCOMPARE(NaiveReplace(B(text), B(pattern), B(replacement), caseSensitive), B(expected));
}

void TestReplaceText::differentialUtf8AcrossWindows() {
    // Long texts, so that the case-insensitive search crosses many of its windows,
    // with characters and matches falling on every boundary sooner or later.
    QRandomGenerator rng(777);
    const std::vector<std::string> pieces{"a",        "A",        "b",        "\xc3\xa9",
                                          "\xc3\x89", "\xd0\xb6", "\xd0\x96", "\xe2\x82\xac",
                                          "\xa9",     "\xc3",     " ",        "\r\n"};
    for (int round = 0; round < 12; ++round) {
        const std::string text = RandomOver(rng, pieces, 150000);
        for (int p = 0; p < 6; ++p) {
            const std::string pattern = RandomOver(rng, pieces, 1 + p % 4);
            const std::string replacement = RandomOver(rng, pieces, 2);
            for (bool cs : {true, false}) {
                if (ReplaceText(text, pattern, replacement, cs) !=
                    NaiveReplace(text, pattern, replacement, cs))
                    QFAIL(qPrintable(
                        QStringLiteral("round %1 pattern %2 %3")
                            .arg(round)
                            .arg(QString::fromLatin1(QByteArray::fromStdString(pattern).toHex()))
                            .arg(cs)));
            }
        }
    }
}

void TestReplaceText::replacingByItselfChangesNothing() {
    QRandomGenerator rng(3);
    const std::vector<std::string> pieces{"a", "B", "\xc3\xa9", "\xc3\x89", " ", "\r\n", "\xa9"};
    for (int i = 0; i < 2000; ++i) {
        const std::string text = RandomOver(rng, pieces, 20);
        const std::string pattern = RandomOver(rng, pieces, 2);
        QCOMPARE(ReplaceText(text, pattern, pattern, true), text);
    }
}

void TestReplaceText::longPattern() {
    // A pattern longer than the search window the case-insensitive mode works with.
    const std::string pattern = std::string(100000, 'q') + "END";
    // Appended, not "x" + ...: GCC 12 warns (-Wrestrict, wrongly) about the latter.
    const std::string upper = AsciiUpper(pattern);
    const std::string text = std::string("x").append(upper).append("y").append(pattern).append("z");
    QCOMPARE(ReplaceText(text, pattern, "!", false), "x!y!z"s);
    QCOMPARE(ReplaceText(text, pattern, "!", true), std::string("x").append(upper).append("y!z"));
}

QTEST_GUILESS_MAIN(TestReplaceText)
#include "tst_replacetext.moc"
