// The Help window: its frame, its two pages and their lines.

#include "app/windows/Unit2.h"

#include <QLabel>
#include <QTabWidget>
#include <QTest>

#include <memory>

class TestUnit2 : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm2> help;

    QTabWidget* Pages() const {
        return help->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    }
    QWidget* Page(int index) const {
        return help->findChild<QWidget*>(index == 0 ? QStringLiteral("TabSheet1")
                                                    : QStringLiteral("TabSheet2"));
    }
    QLabel* LineAt(QWidget* page, int y) const {
        for (QLabel* label : page->findChildren<QLabel*>())
            if (label->y() == y)
                return label;
        return nullptr;
    }

private Q_SLOTS:
    void init() { help = std::make_unique<TForm2>(); }
    void cleanup() { help.reset(); }

    void frame() {
        QCOMPARE(help->windowTitle(), QStringLiteral("Help"));
        QVERIFY(help->parent() == nullptr);
        QVERIFY(help->isWindow());
        QVERIFY(help->isHidden());
        QCOMPARE(help->size(), QSize(265, 283));
        QCOMPARE(help->minimumSize(), QSize(265, 283));
        QCOMPARE(help->maximumSize(), QSize(265, 283));
        QCOMPARE(help->pos(), QPoint(343, 197));
        const Qt::WindowFlags flags = help->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!help->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(!help->windowIcon().isNull());
    }

    void pages() {
        QTabWidget* pages = Pages();
        QVERIFY(pages != nullptr);
        QCOMPARE(pages->count(), 2);
        QCOMPARE(pages->tabText(0), QStringLiteral("Website Optimization"));
        QCOMPARE(pages->tabText(1), QStringLiteral("Replacing Strings"));
        QCOMPARE(pages->widget(0), Page(0));
        QCOMPARE(pages->widget(1), Page(1));
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(pages->geometry(), QRect(0, 0, 265, 283));
    }

    void lines_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("y");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("underlined");
        struct Line {
            int page, y;
            const char* text;
        };
        const Line lines[] = {
            {0, 8, "The Website Optimizer deletes unnecessary"},
            {0, 24, "characters like more than one white space in a row"},
            {0, 40, "(New Line, Tab, Space) without damaging the"},
            {0, 56, "content of the web page."},
            {0, 80, "Instructions:"},
            {0, 96, "Click on the \"Load File\" button and select a"},
            {0, 112, "file to optimize. Now press \"Optimize File\"."},
            {0, 128, "By pressing \"Save File\" you'll save the optimized"},
            {0, 144, "file. \"Space saved\" will show you the difference"},
            {0, 160, "between the size of the old and the new"},
            {0, 176, "optimized file."},
            {0, 200, "\"Load Dir\", \"Optimize Dir\" and \"Save All\" do the"},
            {0, 216, "same but will process a specified directory and"},
            {0, 232, "automatically modify all files in it the way you like."},
            {1, 8, "Another useful tool is the Change File (Change Dir)"},
            {1, 24, "button which lets you replace certain substrings"},
            {1, 40, "of a document by anything you like."},
            {1, 56, "If you just want to delete certain substrings,"},
            {1, 72, "simply leave the \"to\" field empty."},
            {1, 96, "Instructions:"},
            {1, 112, "Type the text you want to replace into the field"},
            {1, 128, "next to \"Change\". Now type the text you like to"},
            {1, 144, "repace it with into the field next to \"to\"."},
            {1, 160, "Press \"Change File\" to mofify one file or \"Change"},
            {1, 176, "Dir\" to modify all files in a directory. Now click on"},
            {1, 192, "\"Save File\" to save the file / \"Save Dir\" to save"},
            {1, 208, "all files if you've chosen \"Change Dir\"."},
        };
        for (const Line& line : lines) {
            const QString text = QString::fromUtf8(line.text);
            QTest::addRow("page %d y %d", line.page + 1, line.y)
                << line.page << line.y << text << (text == QStringLiteral("Instructions:"));
        }
    }

    void lines() {
        QFETCH(int, page);
        QFETCH(int, y);
        QFETCH(QString, text);
        QFETCH(bool, underlined);
        QLabel* label = LineAt(Page(page), y);
        QVERIFY(label != nullptr);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->x(), 8);
        QCOMPARE(label->height(), 13);
        QCOMPARE(label->font().underline(), underlined);
        QCOMPARE(label->font().pointSize(), 8);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    void lineCounts() {
        QCOMPARE(Page(0)->findChildren<QLabel*>().size(), 14);
        QCOMPARE(Page(1)->findChildren<QLabel*>().size(), 13);
    }

    void closingHides() {
        help->show();
        QVERIFY(QTest::qWaitForWindowExposed(help.get()));
        Pages()->setCurrentIndex(1);
        QVERIFY(help->close());
        QVERIFY(help->isHidden());
        help->show();
        QCOMPARE(Pages()->currentIndex(), 1);
    }
};

QTEST_MAIN(TestUnit2)
#include "tst_unit2.moc"
