// Wildcard masks and mask lists: compiling, matching, errors, list splitting, and
// the equivalence of the matcher with the plain retry-stack search.

#include "scanner/Masks.h"

#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <thread>
#include <vector>

// Counts the allocations of the calling thread, so a test can prove that
// matching allocates nothing.
namespace {
thread_local long allocations = 0;
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

TLeadBytes TestLeadBytes() {
    TLeadBytes set;
    for (unsigned b = 0x81; b <= 0x9F; ++b) {
        set.set(b);
    }
    return set;
}

// The retry-stack search, step by step as the mask format describes it: a stack
// of 30 (name position, element index) entries; an element after a "*" first
// moves to the first position where it can pass and leaves a retry entry behind.
struct RetryStackMatcher {
    const TMask& mask;
    std::string_view name;
    bool overflow = false;

    std::uint8_t ByteAt(std::size_t p) const {
        return p < name.size() ? static_cast<std::uint8_t>(name[p]) : 0;
    }
    static std::uint8_t Up(std::uint8_t c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

    bool Test(const TMaskElement& e, std::size_t p) const {
        switch (e.Kind) {
        case ekChar:
            return Up(ByteAt(p)) == e.Char && (e.Char != 0 || p == name.size());
        case ekAny:
            return p < name.size();
        case ekSet:
            return p < name.size() && e.Members.test(Up(ByteAt(p))) != e.Inverted;
        case ekPair:
            return ByteAt(p) == e.Lead && ByteAt(p + 1) == e.Trail && p + 1 < name.size();
        }
        return false;
    }

    // Step 2.1: the first position from p on where the element can pass, or the end.
    std::size_t Advance(const TMaskElement& e, std::size_t p) const {
        const std::size_t len = name.size();
        switch (e.Kind) {
        case ekChar:
            if (e.Char == 0) {
                return len;
            }
            while (p < len && Up(ByteAt(p)) != e.Char) {
                ++p;
            }
            return p;
        case ekSet:
            while (p < len && e.Members.test(Up(ByteAt(p))) == e.Inverted) {
                ++p;
            }
            return p;
        case ekPair:
            while (p < len && !(ByteAt(p) == e.Lead && p + 1 < len && ByteAt(p + 1) == e.Trail)) {
                ++p;
            }
            return p;
        case ekAny:
            break;
        }
        return p;
    }

    bool Match() {
        struct Entry {
            std::size_t p;
            int i;
        };
        Entry stack[MaxStarElements];
        int top = 0;
        std::size_t p = 0;
        int i = 0;
        for (;;) {
            bool passed = true;
            for (; i < mask.Count(); ++i) {
                const TMaskElement& e = mask.Element(i);
                if (e.AfterStar) {
                    p = Advance(e, p);
                    if (p < name.size()) {
                        if (top == MaxStarElements) {
                            overflow = true;
                            return false;
                        }
                        stack[top++] = {p + 1, i};
                    }
                }
                if (!Test(e, p)) {
                    passed = false;
                    break;
                }
                p += e.Kind == ekPair ? 2 : 1;
            }
            if (passed) {
                return true;
            }
            if (top == 0) {
                return false;
            }
            --top;
            p = stack[top].p;
            i = stack[top].i;
        }
    }
};

} // namespace

class tst_Masks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matchName_data();
    void matchName();
    void invalidMask_data();
    void invalidMask();
    void starLimit();
    void compiledElements();
    void leadBytes_data();
    void leadBytes();
    void splitList_data();
    void splitList();
    void parseMaskList();
    void parseMaskListFailure();
    void matchAnyMask();
    void matchingAllocatesNothing();
    void manyStarsAnswerAtOnce();
    void sameAsRetryStack_data();
    void sameAsRetryStack();
    void concurrentMatching();
};

void tst_Masks::matchName_data() {
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("matches");
    auto row = [](const char* p, const char* n, bool m) {
        QTest::addRow("'%s' ~ '%s'", p, n) << QByteArray(p) << QByteArray(n) << m;
    };
    row("*.htm", "index.htm", true);
    row("*.htm", "INDEX.HTM", true);
    row("*.htm", "index.html", false);
    row("*.htm", "htm", false);
    row("*.htm", ".htm", true);
    row("*", "README", true);
    row("*", "", true);
    row("*.*", "README", false);
    row("*.*", "a.b", true);
    row("?", "a", true);
    row("?", "", false);
    row("?", "ab", false);
    row("a?", "a", false);
    row("a?", "ab", true);
    row("*?", "", true);
    row("*?", "abc", true);
    row("x[!a]", "x", false);
    row("x[!a]", "xb", true);
    row("[!a]", "b", true);
    row("[!a]", "A", false);
    row("[!a]", "a", false);
    row("[!a]", "", false);
    row("[a-c]*", "Beta", true);
    row("[a-c]*", "delta", false);
    row("[z-a]", "z", true);
    row("[z-a]", "Z", true);
    row("[z-a]", "a", false);
    row("[A-z]", "q", true);
    row("[A-z]", "_", false);
    row("[a-c-e]", "d", true);
    row("[a-c-e]", "f", false);
    row("[*]", "*", true);
    row("[*]", "a", false);
    row("[?]", "?", true);
    row("[[]", "[", true);
    row("[!!]", "!", false);
    row("[a!]", "!", true);
    row("a]b", "A]B", true);
    row("-!", "-!", true);
    row("", "", true);
    row("", "a", false);
    row("a*b*c", "aXbYc", true);
    row("a*b*c", "abcabd", false);
    row("a*b*c", "abcabc", true);
    row("**a", "xa", true);
    row("*a*", "bab", true);
    row("*a*", "bbb", false);
    row("\xc9", "\xe9", false);
    row("\xe9", "\xc9", false);
    row("\xc3\xa9*", "\xc3\xa9t\xc3\xa9", true);
    row("*[0-9]?", "x9z", true);
    row("*[0-9]?", "x9", false);
}

void tst_Masks::matchName() {
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, name);
    QFETCH(bool, matches);
    const TMask mask(pattern.toStdString(), TLeadBytes());
    QCOMPARE(mask.MatchName(name.toStdString()), matches);
}

void tst_Masks::invalidMask_data() {
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<int>("position");
    QTest::newRow("empty set") << QByteArray("[]") << 2;
    QTest::newRow("open set") << QByteArray("[abc") << 5;
    QTest::newRow("dash first") << QByteArray("[-a]") << 2;
    QTest::newRow("dash after !") << QByteArray("[!-a]") << 3;
    QTest::newRow("range eats ]") << QByteArray("[a-]") << 5;
    QTest::newRow("dash at end") << QByteArray("[a-") << 4;
    QTest::newRow("lone [") << QByteArray("[") << 2;
    QTest::newRow("empty inverted") << QByteArray("x[!]") << 4;
    QTest::newRow("31 stars") << QByteArray::fromStdString(Repeat("*a", 31)) << 62;
    QTest::newRow("30 stars and end") << QByteArray::fromStdString(Repeat("*a", 30) + "*") << 62;
    QTest::newRow("31st is a set") << QByteArray::fromStdString(Repeat("*a", 30) + "*[xy]") << 65;
}

void tst_Masks::invalidMask() {
    QFETCH(QByteArray, pattern);
    QFETCH(int, position);
    const std::string p = pattern.toStdString();
    try {
        TMask mask(p, TLeadBytes());
        QFAIL("no exception");
    } catch (const EMaskException& e) {
        QCOMPARE(e.Position(), position);
        const std::string expected =
            "'" + p + "' is an invalid mask at (" + std::to_string(position) + ")";
        QCOMPARE(std::string(e.what()), expected);
        const std::exception& base = e;
        QCOMPARE(std::string(base.what()), expected);
    }
}

void tst_Masks::starLimit() {
    const TMask thirty(Repeat("*a", 30), TLeadBytes());
    QCOMPARE(thirty.Count(), 31);
    QVERIFY(thirty.MatchName(std::string(30, 'a')));
    QVERIFY(!thirty.MatchName(std::string(29, 'a')));
    const TMask trailing(Repeat("*a", 29) + "*", TLeadBytes());
    QVERIFY(trailing.Element(trailing.Count() - 1).AfterStar);
    QVERIFY(trailing.Element(trailing.Count() - 1).IsEndMarker());
    // "?" after a "*" adds no element, so it doesn't count either.
    const TMask questions(Repeat("*?a", 30), TLeadBytes());
    QCOMPARE(questions.Count(), 31);
}

void tst_Masks::compiledElements() {
    const TMask mask("*?a?[!b-c]*", TLeadBytes());
    QCOMPARE(mask.Count(), 4);
    QCOMPARE(mask.Element(0).Kind, ekChar);
    QCOMPARE(mask.Element(0).Char, std::uint8_t('A'));
    QVERIFY(mask.Element(0).AfterStar);
    QCOMPARE(mask.Element(1).Kind, ekAny);
    QVERIFY(!mask.Element(1).AfterStar);
    QCOMPARE(mask.Element(2).Kind, ekSet);
    QVERIFY(mask.Element(2).Inverted);
    QCOMPARE(mask.Element(2).Members.count(), std::size_t(2));
    QVERIFY(mask.Element(2).Members.test('B') && mask.Element(2).Members.test('C'));
    QCOMPARE(mask.Element(3).Kind, ekChar);
    QVERIFY(mask.Element(3).IsEndMarker());
    QVERIFY(mask.Element(3).AfterStar);
}

void tst_Masks::leadBytes_data() {
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("matches");
    auto row = [](const char* tag, const char* p, const char* n, bool m) {
        QTest::newRow(tag) << QByteArray(p) << QByteArray(n) << m;
    };
    // The pair is compared as written: its trail byte is not upper-cased.
    row("pair", "\x81\x61", "\x81\x61", true);
    row("pair no fold", "\x81\x61", "\x81\x41", false);
    row("pair then ?", "\x81\x61?", "\x81\x61z", true);
    row("? spans one byte", "?\x81\x61", "\x81\x61", false);
    row("star pair", "*\x81\x61", "xy\x81\x61", true);
    row("star pair at end", "*\x81\x61", "\x81", false);
    row("star pair retried", "*\x81\x61x", "\x81\x61\x81\x61x", true);
    row("star pair none", "*\x81\x61x", "\x81\x62x", false);
    row("star pair misaligned", "*\x81\x81", "\x81\x81\x81", true);
    row("set skips pair",
        "[\x81\x61"
        "b]",
        "B", true);
    row("set pair not member",
        "[\x81\x61"
        "b]",
        "a", false);
    row("trailing lead", "a\x81", "a\x81", true);
    row("trailing lead other", "a\x81", "a\x82", false);
}

void tst_Masks::leadBytes() {
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, name);
    QFETCH(bool, matches);
    const TMask mask(pattern.toStdString(), TestLeadBytes());
    QCOMPARE(mask.MatchName(name.toStdString()), matches);
    // Without lead bytes the same pattern is single bytes throughout.
    const TMask single(pattern.toStdString(), TLeadBytes());
    const std::string bytes = name.toStdString();
    RetryStackMatcher reference{single, bytes};
    QCOMPARE(single.MatchName(bytes), reference.Match());
}

void tst_Masks::splitList_data() {
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QByteArrayList>("entries");
    auto row = [](const char* list, QByteArrayList e) {
        QTest::addRow("'%s'", list) << QByteArray(list) << e;
    };
    row("*.htm; *.html", {"*.htm", "*.html"});
    row(" a b ;c ", {"a b", "c"});
    row("a;", {"a"});
    row("a;;", {"a"});
    row("a; ;b", {"a", "b"});
    row("", {});
    row(" ; ;  ;", {});
    row("\ta\t;b", {"\ta\t", "b"});
    row("*.htm;*.html;*.php", {"*.htm", "*.html", "*.php"});
}

void tst_Masks::splitList() {
    QFETCH(QByteArray, list);
    QFETCH(QByteArrayList, entries);
    QByteArrayList got;
    for (const std::string& e : SplitMaskList(list.toStdString())) {
        got << QByteArray::fromStdString(e);
    }
    QCOMPARE(got, entries);
    TCollection masks;
    ParseMaskList(masks, list.toStdString(), TLeadBytes());
    QCOMPARE(masks.Count(), entries.size());
}

void tst_Masks::parseMaskList() {
    TCollection masks;
    ParseMaskList(masks, "*.htm;*.html;*.php", TLeadBytes());
    QCOMPARE(masks.Count(), 3);
    for (int i = 0; i < masks.Count(); ++i) {
        QVERIFY(masks.Items(i).FMask != nullptr);
    }
    QVERIFY(!masks.Items(0).FMask->MatchName("A.HTML"));
    QVERIFY(masks.Items(1).FMask->MatchName("A.HTML"));
    // Appends to what the collection holds.
    ParseMaskList(masks, "x", TLeadBytes());
    QCOMPARE(masks.Count(), 4);
}

void tst_Masks::parseMaskListFailure() {
    TCollection masks;
    try {
        ParseMaskList(masks, "*.htm; [ ;*.css", TLeadBytes());
        QFAIL("no exception");
    } catch (const EMaskException& e) {
        QCOMPARE(std::string(e.what()), std::string("'[' is an invalid mask at (2)"));
    }
    QCOMPARE(masks.Count(), 2);
    QVERIFY(masks.Items(0).FMask != nullptr);
    QVERIFY(masks.Items(1).FMask == nullptr);
    QVERIFY(MatchAnyMask(masks, "a.htm"));
    QVERIFY(!MatchAnyMask(masks, "["));
}

void tst_Masks::matchAnyMask() {
    TCollection masks;
    QVERIFY(!MatchAnyMask(masks, ""));
    QVERIFY(!MatchAnyMask(masks, "a"));
    ParseMaskList(masks, "*.htm;*.css", TLeadBytes());
    QVERIFY(MatchAnyMask(masks, "a.htm"));
    QVERIFY(MatchAnyMask(masks, "B.CSS"));
    QVERIFY(!MatchAnyMask(masks, "a.php"));
}

void tst_Masks::matchingAllocatesNothing() {
    const TMask mask("*a*[b-d]?x*", TLeadBytes());
    const std::string name = std::string(300, 'a') + "c-x" + std::string(300, 'q');
    TCollection masks;
    ParseMaskList(masks, "*.htm;*.css;*a*[b-d]?x*", TLeadBytes());
    const long before = allocations;
    const bool one = mask.MatchName(name);
    const bool any = MatchAnyMask(masks, name);
    const long after = allocations;
    QVERIFY(one);
    QVERIFY(any);
    QCOMPARE(after - before, 0L);
}

void tst_Masks::manyStarsAnswerAtOnce() {
    // A backtracking search would try about C(5000, 30) placements here.
    const TMask mask(Repeat("*a", 29) + "*b", TLeadBytes());
    const std::string name(5000, 'a');
    QVERIFY(!mask.MatchName(name));
    QVERIFY(mask.MatchName(name + "b"));
    const TMask sets(Repeat("*[a-c]", 29) + "*[!a]", TLeadBytes());
    QVERIFY(!sets.MatchName(name));
    QVERIFY(sets.MatchName(name + "x"));
}

void tst_Masks::sameAsRetryStack_data() {
    QTest::addColumn<bool>("withLeadBytes");
    QTest::addColumn<QByteArray>("patternAlphabet");
    QTest::newRow("single bytes") << false << QByteArray("ab*?[]!-xA");
    QTest::newRow("sets") << false << QByteArray("ab*[]!-c");
    QTest::newRow("stars") << false << QByteArray("ab**?");
    QTest::newRow("lead bytes") << true
                                << QByteArray("a*?[]\x81\x82"
                                              "b");
}

void tst_Masks::sameAsRetryStack() {
    QFETCH(bool, withLeadBytes);
    QFETCH(QByteArray, patternAlphabet);
    const TLeadBytes lead = withLeadBytes ? TestLeadBytes() : TLeadBytes();
    const std::string nameAlphabet = withLeadBytes ? "aAb\x81\x82" : "aAbBx[!-";
    std::mt19937 random(20240611u + static_cast<unsigned>(patternAlphabet.size()));
    int compared = 0;
    int matched = 0;
    for (int round = 0; round < 40000; ++round) {
        std::string pattern;
        const int plen = static_cast<int>(random() % 9);
        for (int k = 0; k < plen; ++k) {
            pattern += patternAlphabet[static_cast<int>(random() % patternAlphabet.size())];
        }
        std::unique_ptr<TMask> mask;
        try {
            mask = std::make_unique<TMask>(pattern, lead);
        } catch (const EMaskException&) {
            continue;
        }
        for (int n = 0; n < 8; ++n) {
            std::string name;
            const int nlen = static_cast<int>(random() % 9);
            for (int k = 0; k < nlen; ++k) {
                name += nameAlphabet[random() % nameAlphabet.size()];
            }
            RetryStackMatcher reference{*mask, name};
            const bool expected = reference.Match();
            QVERIFY2(!reference.overflow, pattern.c_str());
            if (mask->MatchName(name) != expected) {
                QFAIL(qPrintable(QStringLiteral("pattern '%1' name '%2': expected %3")
                                     .arg(QString::fromLatin1(pattern.data(), int(pattern.size())),
                                          QString::fromLatin1(name.data(), int(name.size())))
                                     .arg(expected)));
            }
            ++compared;
            matched += expected ? 1 : 0;
        }
    }
    // Both outcomes must be well represented for the comparison to mean anything.
    QVERIFY(compared > 100000);
    QVERIFY(matched > compared / 50);
    QVERIFY(matched < compared - compared / 50);
}

void tst_Masks::concurrentMatching() {
    TCollection masks;
    ParseMaskList(masks, "*.htm;*.html;[a-c]*.php;*x*y*z", TLeadBytes());
    const std::vector<std::string> names = {"a.htm", "b.php", "z.php", "AxByCz", "q.css"};
    const std::vector<bool> expected = {true, true, false, true, false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 2000; ++round) {
                for (std::size_t i = 0; i < names.size(); ++i) {
                    if (MatchAnyMask(masks, names[i]) != expected[i]) {
                        ++wrong;
                    }
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    QCOMPARE(wrong.load(), 0);
}

QTEST_GUILESS_MAIN(tst_Masks)
#include "tst_masks.moc"
