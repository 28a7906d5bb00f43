// Mask inputs found by fuzzing (tests/fuzz/fuzz_masks.cpp) whose behaviour had to
// be settled: a NUL byte inside a pattern. It compiles to an element that passes
// only at the end of the name, so such a pattern matches no name at all, and a
// mask error names the whole pattern, NUL included.

#include "scanner/Masks.h"

#include <QTest>

using namespace std::string_literals;

class tst_MasksRegressions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nulInPatternMatchesNothing_data();
    void nulInPatternMatchesNothing();
    void nulInInvalidPattern();
};

void tst_MasksRegressions::nulInPatternMatchesNothing_data() {
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("leadBytes"); // with the lead bytes of Shift-JIS
    // Fuzz input 0a 5b 00 (flags, then "\0*"): the end-of-name element, then a
    // "*", once let the retry-stack search step back to the end of the name.
    QTest::newRow("NUL star, empty name") << QByteArray("\0*", 2) << QByteArray() << true;
    QTest::newRow("NUL star, name") << QByteArray("\0*", 2) << QByteArray("a") << false;
    QTest::newRow("a NUL, a") << QByteArray("a\0", 2) << QByteArray("a") << false;
    QTest::newRow("star NUL, abc") << QByteArray("*\0", 2) << QByteArray("abc") << false;
    QTest::newRow("star NUL star, empty") << QByteArray("*\0*", 3) << QByteArray() << false;
}

void tst_MasksRegressions::nulInPatternMatchesNothing() {
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, name);
    QFETCH(bool, leadBytes);
    TLeadBytes leads;
    if (leadBytes)
        leads = LeadBytesOfCodeSet("SJIS");
    const TMask mask(pattern.toStdString(), leads);
    QCOMPARE(mask.Element(mask.Count() - 1).IsEndMarker(), true);
    QCOMPARE(
        mask.MatchName(std::string_view(name.constData(), static_cast<std::size_t>(name.size()))),
        false);
}

void tst_MasksRegressions::nulInInvalidPattern() {
    // Fuzz input 00 5b 0a: the pattern "\0[" with the Shift-JIS lead bytes.
    const std::string pattern = "\0["s;
    try {
        TMask mask(pattern, LeadBytesOfCodeSet("SJIS"));
        QFAIL("no mask error");
    } catch (const EMaskException& e) {
        QCOMPARE(e.Pattern(), pattern);
        QCOMPARE(e.Position(), 3);
    }
}

QTEST_GUILESS_MAIN(tst_MasksRegressions)
#include "tst_masks_regressions.moc"
