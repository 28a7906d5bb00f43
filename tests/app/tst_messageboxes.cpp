// The two message boxes and the guard every handler runs in.

#include "ModalDriver.h"

#include "app/HandlerGuard.h"
#include "app/MessageBoxes.h"

#include <QTest>

#include <new>
#include <stdexcept>
#include <string>

namespace {
const QString kTitle = QStringLiteral("Velocitrix Website Optimizer");
}

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
