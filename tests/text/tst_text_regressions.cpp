// Text-core inputs found by fuzzing (tests/fuzz/) whose behaviour had to be settled.

#include "text/Optimizer.h"
#include "text/TextDocument.h"

#include <QTest>

#include <stdexcept>

using namespace std::string_literals;

class tst_TextRegressions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void optimizeContentOverLimit_data();
    void optimizeContentOverLimit();
};

void tst_TextRegressions::optimizeContentOverLimit_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QByteArray>("kept");
    QTest::addColumn<bool>("fails");
    // Fuzz input f4 f4 03 63: the text "\xf4\xf4" filled by AssignLines, then a
    // limit of 3 set below its length. Optimizing must fail the refill like
    // AppendLine does, keep no line, and still report the length before.
    QTest::newRow("fuzz f4 f4") << QByteArray("\xf4\xf4") << 3 << QByteArray() << true;
    QTest::newRow("first line fits")
        << QByteArray(" ab \n  cd  ") << 5 << QByteArray("ab\r\n") << true;
    QTest::newRow("all fit after optimizing")
        << QByteArray("  a  \n\n  b") << 6 << QByteArray("a\r\nb\r\n") << false;
}

void tst_TextRegressions::optimizeContentOverLimit() {
    QFETCH(QByteArray, text);
    QFETCH(int, limit);
    QFETCH(QByteArray, kept);
    QFETCH(bool, fails);
    TextDocument doc;
    doc.AssignLines(text.toStdString());
    const std::size_t before = doc.JoinedText().size();
    doc.SetCharLimit(static_cast<std::size_t>(limit));
    std::string error;
    try {
        const OptimizeRun run = OptimizeDocument(doc);
        QCOMPARE(run.lengthBefore, before);
        QCOMPARE(run.lengthAfter, doc.JoinedText().size());
    } catch (const std::runtime_error& e) {
        error = e.what();
    }
    QCOMPARE(error, fails ? "RichEdit line insertion error"s : ""s);
    QCOMPARE(doc.WholeText(), kept.toStdString());
}

QTEST_GUILESS_MAIN(tst_TextRegressions)
#include "tst_text_regressions.moc"
