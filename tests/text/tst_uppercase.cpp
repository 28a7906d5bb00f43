// Upper-casing that keeps byte positions.

#include "text/UpperCase.h"

#include <QRandomGenerator>
#include <QString>
#include <QTest>

namespace {

std::string Utf8(char32_t cp) {
    return QString::fromUcs4(&cp, 1).toStdString();
}

} // namespace

class TestUpperCase : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void examples_data();
    void examples();
    void agreesWithQtWhereLengthsMatch();
    void keepsLengthAndIsIdempotent();
    void longMixedTexts();
    void insideCharacter_data();
    void insideCharacter();
    void sequenceLength_data();
    void sequenceLength();
};

void TestUpperCase::examples_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("ascii") << QByteArray("abc xyz ABC 09 {}`@[")
                           << QByteArray("ABC XYZ ABC 09 {}`@[");
    QTest::newRow("e acute") << QByteArray("caf\xc3\xa9") << QByteArray("CAF\xc3\x89");
    QTest::newRow("cyrillic") << QByteArray("\xd0\xb6\xd0\xb8") << QByteArray("\xd0\x96\xd0\x98");
    QTest::newRow("y diaeresis to 2-byte capital")
        << QByteArray("\xc3\xbf") << QByteArray("\xc5\xb8");
    QTest::newRow("sharp s has no one-character capital")
        << QByteArray("\xc3\x9f") << QByteArray("\xc3\x9f");
    QTest::newRow("dotless i capital is shorter")
        << QByteArray("\xc4\xb1") << QByteArray("\xc4\xb1");
    QTest::newRow("fullwidth z") << QByteArray("\xef\xbd\x9a") << QByteArray("\xef\xbc\xba");
    QTest::newRow("circled a") << QByteArray("\xe2\x93\x90") << QByteArray("\xe2\x92\xb6");
    QTest::newRow("latin-1 bytes fold nothing")
        << QByteArray("caf\xe9 \xe0") << QByteArray("CAF\xe9 \xe0");
    QTest::newRow("truncated at end") << QByteArray("a\xc3") << QByteArray("A\xc3");
    QTest::newRow("overlong") << QByteArray("\xc1\xa1z") << QByteArray("\xc1\xa1Z");
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80q") << QByteArray("\xed\xa0\x80Q");
    QTest::newRow("four-byte left alone")
        << QByteArray("\xf0\x90\x90\xa8") << QByteArray("\xf0\x90\x90\xa8");
    QTest::newRow("stray continuation") << QByteArray("\xa9\xa9x") << QByteArray("\xa9\xa9X");
    QTest::newRow("NUL") << QByteArray("a\0b", 3) << QByteArray("A\0B", 3);
    QTest::newRow("long mixed")
        << QByteArray("abcdefghijklmnopqrstuvwxyz \xc3\xa9 abcdefghijklmnopqrstuvwxyz\t\r\n")
        << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ \xc3\x89 ABCDEFGHIJKLMNOPQRSTUVWXYZ\t\r\n");
}

void TestUpperCase::examples() {
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    const std::string s(in.constData(), static_cast<std::size_t>(in.size()));
    QCOMPARE(UpperCase(s), std::string(out.constData(), static_cast<std::size_t>(out.size())));
    std::string inPlace = s;
    UpperCaseInto(inPlace.data(), inPlace.size(), inPlace.data());
    QCOMPARE(inPlace, UpperCase(s));
}

void TestUpperCase::agreesWithQtWhereLengthsMatch() {
    // Every two- and three-byte character: the capital when Qt's upper-casing gives
    // one character of the same encoded length, the character itself otherwise.
    int folded = 0;
    QStringList differences;
    for (char32_t cp = 0x80; cp <= 0xFFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        const std::string s = Utf8(cp);
        const QString upper = QString::fromUcs4(&cp, 1).toUpper();
        std::string expected = s;
        if (upper.size() == 1 && upper.toStdString().size() == s.size())
            expected = upper.toStdString();
        if (UpperCase(s) != expected)
            differences << QString::number(static_cast<uint>(cp), 16);
        folded += expected != s;
    }
    // The table may come from a slightly different Unicode version than Qt's.
    QVERIFY2(differences.size() <= 8, qPrintable(differences.join(QLatin1Char(' '))));
    QVERIFY(folded > 1000);
}

void TestUpperCase::keepsLengthAndIsIdempotent() {
    QRandomGenerator rng(5);
    for (int i = 0; i < 2000; ++i) {
        std::string s(static_cast<std::size_t>(rng.bounded(64)), '\0');
        for (char& c : s)
            c = static_cast<char>(rng.bounded(256));
        const std::string u = UpperCase(s);
        QCOMPARE(u.size(), s.size());
        QCOMPARE(UpperCase(u), u);
        for (std::size_t k = 0; k < s.size(); ++k)
            QCOMPARE(InsideUtf8Character(u, k), InsideUtf8Character(s, k));
    }
}

// Character by character with Qt's upper-casing, under the same-length rule.
std::string ReferenceUpper(const std::string& s) {
    std::string out = s;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 32);
            ++i;
            continue;
        }
        const std::size_t len = Utf8SequenceLength(s.data() + i, s.data() + s.size());
        if (len == 2 || len == 3) {
            const QString ch = QString::fromUtf8(s.data() + i, static_cast<qsizetype>(len));
            const QByteArray up = ch.toUpper().toUtf8();
            if (ch.toUpper().size() == 1 && static_cast<std::size_t>(up.size()) == len)
                out.replace(i, len, up.constData(), len);
        }
        i += len == 0 ? 1 : len;
    }
    return out;
}

void TestUpperCase::longMixedTexts() {
    // Texts long enough for the block-wise path, with characters across block ends.
    QRandomGenerator rng(11);
    const char* pieces[] = {
        "a",    "Z",    "\xc3\xa9", "\xd0\xb6", "\xe2\x93\x90", "\xef\xbd\x9a", "\xf0\x9f\x98\x80",
        "\xa9", "\xc3", "\xe2\x82", " ",        "\xc4\xb1"};
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        const int n = rng.bounded(120);
        for (int k = 0; k < n; ++k)
            s += pieces[rng.bounded(12)];
        const std::string expected = ReferenceUpper(s);
        if (UpperCase(s) != expected)
            QFAIL(qPrintable(QString::fromLatin1(QByteArray::fromStdString(s).toHex())));
    }
}

void TestUpperCase::insideCharacter_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("inside");
    QTest::newRow("second byte of e acute") << QByteArray("a\xc3\xa9") << 2 << true;
    QTest::newRow("first byte") << QByteArray("a\xc3\xa9") << 1 << false;
    QTest::newRow("ascii") << QByteArray("ab") << 1 << false;
    QTest::newRow("third byte of euro") << QByteArray("\xe2\x82\xac") << 2 << true;
    QTest::newRow("fourth byte") << QByteArray("\xf0\x9f\x98\x80") << 3 << true;
    QTest::newRow("latin-1 pair") << QByteArray("\xe9\xa9") << 1 << false;
    QTest::newRow("stray continuation") << QByteArray("a\xa9") << 1 << false;
    QTest::newRow("after a whole character") << QByteArray("\xc3\xa9\xa9") << 2 << false;
    QTest::newRow("truncated three-byte") << QByteArray("\xe2\x82") << 1 << false;
}

void TestUpperCase::insideCharacter() {
    QFETCH(QByteArray, text);
    QFETCH(int, index);
    QFETCH(bool, inside);
    QCOMPARE(InsideUtf8Character(
                 std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
                 static_cast<std::size_t>(index)),
             inside);
}

void TestUpperCase::sequenceLength_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("length");
    QTest::newRow("ascii") << QByteArray("a") << 0;
    QTest::newRow("two") << QByteArray("\xc3\xa9") << 2;
    QTest::newRow("C0 overlong") << QByteArray("\xc0\x80") << 0;
    QTest::newRow("three") << QByteArray("\xe2\x82\xac") << 3;
    QTest::newRow("E0 overlong") << QByteArray("\xe0\x80\x80") << 0;
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << 0;
    QTest::newRow("four") << QByteArray("\xf0\x9f\x98\x80") << 4;
    QTest::newRow("beyond 10FFFF") << QByteArray("\xf4\x90\x80\x80") << 0;
    QTest::newRow("cut short") << QByteArray("\xf0\x9f\x98") << 0;
}

void TestUpperCase::sequenceLength() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, length);
    QCOMPARE(Utf8SequenceLength(bytes.constData(), bytes.constData() + bytes.size()),
             static_cast<std::size_t>(length));
}

QTEST_GUILESS_MAIN(TestUpperCase)
#include "tst_uppercase.moc"
