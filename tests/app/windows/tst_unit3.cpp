// The About window: its frame, its seven lines and the click that hides it.

#include "app/windows/Unit3.h"

#include <QLabel>
#include <QTest>

#include <memory>

class TestUnit3 : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm3> about;

    QLabel* Line(const QString& name) const { return about->findChild<QLabel*>(name); }

private Q_SLOTS:
    void init() { about = std::make_unique<TForm3>(); }
    void cleanup() { about.reset(); }

    void frame() {
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));
        QVERIFY(about->parent() == nullptr);
        QVERIFY(about->isHidden());
        QCOMPARE(about->size(), QSize(258, 193));
        QCOMPARE(about->minimumSize(), QSize(258, 193));
        QCOMPARE(about->maximumSize(), QSize(258, 193));
        QCOMPARE(about->pos(), QPoint(347, 281));
        const Qt::WindowFlags flags = about->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!about->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(!about->testAttribute(Qt::WA_QuitOnClose));
        QVERIFY(!about->windowIcon().isNull());
    }

    void lines_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("place");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("underlined");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hidesOnClick");
        auto row = [](const char* name, QPoint place, bool bold, bool underlined, const char* text,
                      bool hides) {
            QTest::newRow(name) << QString::fromUtf8(name) << place << bold << underlined
                                << QString::fromUtf8(text) << hides;
        };
        row("Label1", {24, 8}, true, true, "Velocitrix Website Optimizer v1.2.1", true);
        row("Label6", {40, 24}, true, true, "for Windows 9x/ME (English)", false);
        row("Label2", {64, 48}, true, true, "by the Velocitrix developers", true);
        row("Label8", {48, 72}, false, true, "Free software, MIT License - released 2026", true);
        row("Label3", {8, 112}, false, false, "Official Website: https://velocitrix.example", true);
        row("Label4", {8, 144}, false, false, "Please report bugs, ideas for future versions etc.",
            true);
        row("Label5", {8, 160}, false, false, "to: bugs@velocitrix.example", false);
    }

    void lines() {
        QFETCH(QString, name);
        QFETCH(QPoint, place);
        QFETCH(bool, bold);
        QFETCH(bool, underlined);
        QFETCH(QString, text);
        QLabel* label = Line(name);
        QVERIFY(label != nullptr);
        QCOMPARE(label->pos(), place);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->font().bold(), bold);
        QCOMPARE(label->font().underline(), underlined);
        QCOMPARE(label->font().pointSize(), 8);
        QVERIFY(label->isVisibleTo(about.get()));
    }

    void clickOnLine_data() { lines_data(); }

    void clickOnLine() {
        QFETCH(QString, name);
        QFETCH(bool, hidesOnClick);
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about.get()));
        QLabel* label = Line(name);
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
        QCOMPARE(about->isHidden(), hidesOnClick);
    }

    void clickOnBackground() {
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about.get()));
        // Right of the title line, left of the bug-report line: bare background.
        const QPoint bare(4, 100);
        QCOMPARE(about->childAt(bare), nullptr);
        QTest::mouseClick(about.get(), Qt::RightButton, {}, bare);
        QVERIFY(about->isVisible());
        QTest::mouseClick(about.get(), Qt::LeftButton, {}, bare);
        QVERIFY(about->isHidden());
        about->show();
        QVERIFY(about->isVisible());
    }

    void closingHides() {
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about.get()));
        QVERIFY(about->close());
        QVERIFY(about->isHidden());
    }
};

QTEST_MAIN(TestUnit3)
#include "tst_unit3.moc"
