// The two message boxes and the guard every handler runs in.

#include "ModalDriver.h"

#include "app/BatchProgress.h"
#include "app/HandlerGuard.h"
#include "app/MessageBoxes.h"

#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

namespace {
const QString kTitle = QStringLiteral("Velocitrix Website Optimizer");

// The <pre> warning as "Optimize Dir" builds it, listing count paths.
QString PreWarning(int count) {
    QString text = QStringLiteral("<pre> tags have been detected in the following file(s):");
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("/srv/www/site/section%1/page%2.html, ").arg(i % 37).arg(i);
    return text + QStringLiteral("The Velocitrix Website Optimizer could damage text within the "
                                 "<pre></pre> tags, only save if you are sure about the "
                                 "consequences.");
}

// What a message box looked like when it showed; then presses its OK.
struct BoxLook {
    bool seen = false;
    QString text;
    QRect frame, area, ok;
    bool labelShown = false;
    QPlainTextEdit* view = nullptr; // valid only while the box shows
    bool viewShown = false, readOnly = false, selectable = false;
    QString viewText;
    int sideScroll = -1; // how far the text area scrolls sideways
};

BoxLook Look(const std::function<void()>& show) {
    BoxLook look;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || look.seen)
            return;
        look.seen = true;
        look.text = box->text();
        look.frame = box->frameGeometry();
        look.area = box->screen()->availableGeometry();
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        if (ok != nullptr && ok->isVisible())
            look.ok = QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size());
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        look.labelShown = label != nullptr && label->isVisible();
        if (auto* view = box->findChild<QPlainTextEdit*>()) {
            look.viewShown = view->isVisible();
            look.readOnly = view->isReadOnly();
            look.selectable = view->textInteractionFlags().testFlag(Qt::TextSelectableByMouse);
            look.viewText = view->toPlainText();
            look.sideScroll = view->horizontalScrollBar()->maximum();
        }
        QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
    });
    poll.start();
    show();
    return look;
}
} // namespace

class TestMessageBoxes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(kTitle); }

    void plainMessage() {
        ModalDriver driver;
        auto box = driver.Message();
        ShowMessage(QStringLiteral("A <pre> tag & more."));
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(box->text, QStringLiteral("A <pre> tag & more."));
        QCOMPARE(box->title, kTitle);
        QCOMPARE(box->icon, int(QMessageBox::NoIcon));
        QCOMPARE(box->objectName, QStringLiteral("MessageBox"));
    }

    // Every box opens over the window it belongs to (transient for it), without
    // minimize and maximize buttons, wide enough for its title beside the title
    // bar's icon and buttons.
    void boxesBelongToTheWindow_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("message") << QStringLiteral("message");
        QTest::newRow("error") << QStringLiteral("error");
        QTest::newRow("progress") << QStringLiteral("progress");
    }
    void boxesBelongToTheWindow() {
        QFETCH(QString, kind);
        QMainWindow window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget* parent = nullptr; // what the box was like when it showed
        Qt::WindowFlags flags;
        int width = 0;
        bool fixed = false; // a box that cannot be resized cannot be maximized
        const auto look = [&](QWidget* box) {
            fixed = box->minimumSize() == box->maximumSize();
            parent = box->parentWidget();
            flags = box->windowFlags() & (Qt::WindowType_Mask | Qt::WindowMinMaxButtonsHint);
            width = std::max(box->width(), box->minimumWidth());
        };
        if (kind == QLatin1String("progress")) {
            BatchProgress progress(&window, QStringLiteral("Saving"));
            // Held past a poll of its figures, which size the box.
            progress.RunOnWorker([](const BatchControl& control) {
                control.Report(1, 30);
                QThread::msleep(150);
                return 0;
            });
            look(window.findChild<QProgressDialog*>(QStringLiteral("BatchProgress")));
        } else {
            QTimer::singleShot(200, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                look(box);
                box->accept();
            });
            kind == QLatin1String("error") ? ShowErrorMessage(QStringLiteral("x"))
                                           : ShowMessage(QStringLiteral("x"));
        }
        QCOMPARE(parent, &window);
        QCOMPARE(flags, Qt::WindowFlags(Qt::Dialog));
        QVERIFY(fixed);
        QFont bold = window.font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        QVERIFY(width >= metrics.horizontalAdvance(kTitle) + 3 * metrics.height());
    }

    void errorMessage_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << QStringLiteral("No such file or directory")
                                << QStringLiteral("No such file or directory.");
        QTest::newRow("full stop") << QStringLiteral("Done.") << QStringLiteral("Done.");
        QTest::newRow("apostrophe") << QStringLiteral("Invalid data type for 'recursive'")
                                    << QStringLiteral("Invalid data type for 'recursive'");
        QTest::newRow("quote") << QStringLiteral("\"x\"") << QStringLiteral("\"x\"");
        QTest::newRow("exclamation") << QStringLiteral("Stop!") << QStringLiteral("Stop!");
        QTest::newRow("slash") << QStringLiteral("in /tmp/") << QStringLiteral("in /tmp/.");
        QTest::newRow("digit") << QStringLiteral("error 5") << QStringLiteral("error 5.");
        QTest::newRow("non-ASCII") << QStringLiteral("caf\u00e9") << QStringLiteral("caf\u00e9.");
    }

    void errorMessage() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        ModalDriver driver;
        auto box = driver.Message();
        ShowErrorMessage(message);
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(box->text, shown);
        QCOMPARE(box->title, kTitle);
        QCOMPARE(box->icon, int(QMessageBox::Critical));
    }

    // However long the text, the box stays on the screen with OK in reach; a long
    // text scrolls, whole and selectable, in a read-only text area.
    void boxFitsScreen_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("error");
        QTest::addColumn<bool>("textArea");
        QTest::newRow("short") << QStringLiteral("All Files have been saved.") << false << false;
        QTest::newRow("2 paths") << PreWarning(2) << false << false;
        QTest::newRow("long path")
            << QStringLiteral("Cannot open /") + QStringLiteral("deep/").repeated(60) +
                   QStringLiteral("x.html.")
            << true << true;
        QTest::newRow("3,000 paths") << PreWarning(3000) << false << true;
        QTest::newRow("50,000 paths") << PreWarning(50000) << false << true;
        QTest::newRow("50,000 paths, error") << PreWarning(50000) << true << true;
    }

    void boxFitsScreen() {
        QFETCH(QString, message);
        QFETCH(bool, error);
        QFETCH(bool, textArea);
        const BoxLook look =
            Look([&] { error ? ShowErrorMessage(message) : ShowMessage(message); });
        QVERIFY(look.seen);
        QCOMPARE(look.text, message);
        QVERIFY2(look.area.contains(look.frame), qPrintable(QStringLiteral("frame %1x%2 on %3x%4")
                                                                .arg(look.frame.width())
                                                                .arg(look.frame.height())
                                                                .arg(look.area.width())
                                                                .arg(look.area.height())));
        QVERIFY(!look.ok.isEmpty());
        QVERIFY(look.frame.contains(look.ok));
        // Room for the caption in a title bar: a short message's box is not so
        // narrow that a window manager elides it.
        QFont bold = QApplication::font();
        bold.setBold(true);
        QVERIFY(look.frame.width() > QFontMetrics(bold).horizontalAdvance(kTitle));
        QCOMPARE(look.viewShown, textArea);
        QCOMPARE(look.labelShown, !textArea);
        if (textArea) {
            QCOMPARE(look.viewText, message);
            QVERIFY(look.readOnly);
            QVERIFY(look.selectable);
            QCOMPARE(look.sideScroll, 0); // wrapped: nothing cut at the right edge
        }
    }

    void programText() {
        QCOMPARE(FromProgramText("caf\xc3\xa9"), QStringLiteral("caf\u00e9"));
        const QString bad = FromProgramText(std::string("a\xe9z", 3));
        QCOMPARE(bad.size(), 3);
        QCOMPARE(bad.at(1), QChar(QChar::ReplacementCharacter));
        QCOMPARE(FromProgramText(std::string("a\0b", 3)).size(), 3);
    }

    void guard_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("shown"); // empty: no error box
        QTest::newRow("no error") << 0 << QString();
        QTest::newRow("runtime error")
            << 1 << QStringLiteral("Cannot open file \"/x\u00e9\". No such file or directory.");
        QTest::newRow("out of memory") << 2 << QStringLiteral("Out of memory.");
        QTest::newRow("anything else") << 3 << QStringLiteral("Unknown error.");
    }

    void guard() {
        QFETCH(int, kind);
        QFETCH(QString, shown);
        ModalDriver driver;
        std::shared_ptr<ModalDriver::Step> box;
        if (!shown.isEmpty())
            box = driver.Message();
        bool ranToEnd = false;
        int failureCalls = 0;
        const bool result = RunGuarded(
            [&] {
                switch (kind) {
                case 1:
                    throw std::runtime_error(
                        "Cannot open file \"/x\xc3\xa9\". No such file or directory");
                case 2:
                    throw std::bad_alloc();
                case 3:
                    throw 42;
                default:
                    break;
                }
                ranToEnd = true;
            },
            [&]() noexcept { ++failureCalls; });
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(result, shown.isEmpty());
        QCOMPARE(ranToEnd, shown.isEmpty());
        QCOMPARE(failureCalls, shown.isEmpty() ? 0 : 1);
        if (box) {
            QCOMPARE(box->text, shown);
            QCOMPARE(box->icon, int(QMessageBox::Critical));
        }
    }
};

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
