// The "Change" and "To" boxes of the main window, one line high: the whole text in
// the tooltip, the caret's line always in sight.

#include "app/ChangeBoxes.h"
#include "app/Unit1.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextDocument>

class TestChangeBoxes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The tooltip, read back as the rich text it is taken for, is the text itself.
    void toolTipShowsTheTextAsTyped_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("markup") << QStringLiteral("<b>bold</b> &amp; <pre>");
        QTest::newRow("line breaks") << QStringLiteral("first\nsecond\n\nfourth\n");
        QTest::newRow("tabs and spaces") << QStringLiteral("a\t b   c");
    }
    void toolTipShowsTheTextAsTyped() {
        QFETCH(QString, text);
        QTextDocument shown;
        shown.setHtml(ChangeBoxToolTip(text));
        QVERIFY(Qt::mightBeRichText(ChangeBoxToolTip(text)));
        QCOMPARE(shown.toPlainText(), text);
        QCOMPARE(shown.blockCount(), 1); // breaks within the tip, not paragraphs
    }

    // A pasted page gives a tooltip of its beginning, not one larger than a screen.
    void toolTipOfALongTextShowsItsBeginning_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("many lines")
            << QStringLiteral("line\n").repeated(1000)
            << QStringLiteral("line\n").repeated(29) + QStringLiteral("line\n\u2026");
        QTest::newRow("one long line")
            << QStringLiteral("x").repeated(100000)
            << QStringLiteral("x").repeated(2000) + QStringLiteral("\n\u2026");
        QTest::newRow("30 lines fit") << QStringLiteral("a\n").repeated(29) + QStringLiteral("a")
                                      << QStringLiteral("a\n").repeated(29) + QStringLiteral("a");
    }
    void toolTipOfALongTextShowsItsBeginning() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QTextDocument tip;
        tip.setHtml(ChangeBoxToolTip(text));
        QCOMPARE(tip.toPlainText(), shown);
    }

    void caretLineInSight_data() {
        QTest::addColumn<bool>("typed"); // else inserted by the program
        QTest::newRow("typed, Enter") << true;
        QTest::newRow("inserted by the program") << false;
    }
    void caretLineInSight() {
        QFETCH(bool, typed);
        TForm1 form;
        Form1 = &form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QPlainTextEdit* box = form.Memo2;
        box->setFocus();
        box->setPlainText(QStringLiteral("a text longer than the box can show"));
        box->moveCursor(QTextCursor::End);
        if (typed) {
            QTest::keyClick(box, Qt::Key_Return);
            QTest::keyClicks(box, QStringLiteral("x"));
        } else {
            box->insertPlainText(QStringLiteral("\n\n\n"));
        }
        QTRY_VERIFY(box->viewport()->rect().contains(box->cursorRect()));
        QCOMPARE(box->size(), QSize(121, 25));
        // Tabs, spaces and line breaks are drawn as marks: a box scrolled to an
        // empty line, or holding only tabs, does not look empty.
        const QTextOption::Flags marks = box->document()->defaultTextOption().flags();
        QVERIFY(marks.testFlag(QTextOption::ShowTabsAndSpaces));
        QVERIFY(marks.testFlag(QTextOption::ShowLineAndParagraphSeparators));
        auto* lineMark = box->findChild<QLabel*>(QStringLiteral("LineMark"));
        QVERIFY(lineMark != nullptr && lineMark->isVisible());
        QCOMPARE(lineMark->text(), QStringLiteral("%1/%1").arg(box->blockCount()));
        QCOMPARE(box->toolTip(), ChangeBoxToolTip(box->toPlainText()));
        box->clear();
        QVERIFY(box->toolTip().isEmpty());
        QVERIFY(!lineMark->isVisible());
        Form1 = nullptr;
    }
};

QTEST_MAIN(TestChangeBoxes)
#include "tst_changeboxes.moc"
