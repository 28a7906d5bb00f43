// The "Change" and "To" boxes of the main window, one line high: the whole text in
// the tooltip, the caret's line always in sight.

#include "app/ChangeBoxes.h"
#include "app/Unit1.h"

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextDocument>

#include <memory>

class TestChangeBoxes : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;

    bool CaretInSight(const QPlainTextEdit& box) const {
        return box.viewport()->rect().contains(box.cursorRect());
    }

private Q_SLOTS:
    void init() {
        form = std::make_unique<TForm1>();
        Form1 = form.get();
    }
    void cleanup() {
        Form1 = nullptr;
        form.reset();
    }

    // The tooltip, read back as the rich text it is taken for, is the text itself.
    void toolTipShowsTheTextAsTyped_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("markup") << QStringLiteral("<b>bold</b> &amp; <pre>");
        QTest::newRow("line breaks") << QStringLiteral("first\nsecond\n\nfourth");
        QTest::newRow("tabs and spaces") << QStringLiteral("a\t b   c");
        QTest::newRow("ends in a break") << QStringLiteral("line\n");
    }
    void toolTipShowsTheTextAsTyped() {
        QFETCH(QString, text);
        const QString tip = ChangeBoxToolTip(text);
        QVERIFY(Qt::mightBeRichText(tip));
        QTextDocument shown;
        shown.setHtml(tip);
        QCOMPARE(shown.toPlainText(), text);
        QCOMPARE(shown.blockCount(), 1); // breaks are breaks within the tip, not paragraphs
    }

    void toolTipFollowsTheText() {
        QPlainTextEdit* box = form->Memo3;
        QVERIFY(box->toolTip().isEmpty());
        box->setPlainText(QStringLiteral("a long text that the box cannot show at once"));
        QCOMPARE(box->toolTip(), ChangeBoxToolTip(box->toPlainText()));
        box->moveCursor(QTextCursor::End);
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClicks(box, QStringLiteral("more"));
        QCOMPARE(box->toolTip(), ChangeBoxToolTip(box->toPlainText()));
        QVERIFY(box->toPlainText().endsWith(QStringLiteral("once\nmore")));
        box->clear();
        QVERIFY(box->toolTip().isEmpty());
    }

    void caretLineInSight_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("set before shown, caret at end") << QStringLiteral("set early");
        QTest::newRow("Enter") << QStringLiteral("enter");
        QTest::newRow("inserted by the program") << QStringLiteral("insert");
        QTest::newRow("pasted") << QStringLiteral("paste");
        QTest::newRow("set by the program") << QStringLiteral("set");
    }
    void caretLineInSight() {
        QFETCH(QString, how);
        QPlainTextEdit* box = form->Memo2;
        const QString lines = QStringLiteral("one\ntwo\nthree, long enough to wrap in the box");
        if (how == QLatin1String("set early")) {
            box->setPlainText(lines);
            box->moveCursor(QTextCursor::End);
        }
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        box->setFocus();
        if (how == QLatin1String("enter")) {
            QTest::keyClicks(box, QStringLiteral("abc"));
            QTest::keyClick(box, Qt::Key_Return);
            QTest::keyClick(box, Qt::Key_Return);
        } else if (how == QLatin1String("insert")) {
            box->insertPlainText(QStringLiteral("\n\n\n"));
        } else if (how == QLatin1String("paste")) {
            QApplication::clipboard()->setText(lines);
            box->paste();
        } else if (how == QLatin1String("set")) {
            box->setPlainText(lines);
        }
        QTRY_VERIFY2(CaretInSight(*box), qPrintable(QStringLiteral("caret at %1,%2")
                                                        .arg(box->cursorRect().x())
                                                        .arg(box->cursorRect().y())));
        QCOMPARE(box->size(), QSize(121, 25)); // the box keeps its size
    }
};

QTEST_MAIN(TestChangeBoxes)
#include "tst_changeboxes.moc"
