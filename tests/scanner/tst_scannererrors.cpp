// Failures of the end event: the scanner becomes idle all the same and hands the
// error to its owner, which shows it in the error message box as the window does.

#include "ScanFixture.h"
#include "app/HandlerGuard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <stdexcept>

class tst_ScannerErrors : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void endEventFailure_data();
    void endEventFailure();
    void endEventErrorHandedOn();
    void endEventErrorWithoutHandler();
};

void tst_ScannerErrors::endEventFailure_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("dot appended") << QStringLiteral("End failed") << QStringLiteral("End failed.");
    QTest::newRow("apostrophe") << QStringLiteral("'x' failed'") << QStringLiteral("'x' failed'");
}

void tst_ScannerErrors::endEventFailure() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    MakeFile(Native(tmp.path()) + "/a.htm");

    RecordingScanner scanner;
    scanner.SetDirectory(Native(tmp.path()));
    bool scanningDuringBox = true;
    QString text;
    int icon = -1;
    int boxes = 0;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        ++boxes;
        text = box->text();
        icon = box->icon();
        scanningDuringBox = scanner.IsScanning();
        QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
        poll.stop();
    });
    poll.start();
    scanner.OnProcessDone = [&](std::uint32_t, std::uint32_t) {
        throw std::runtime_error(message.toStdString());
    };
    scanner.OnProcessDoneError = ShowReportedError;
    scanner.StartScan();
    QVERIFY(QTest::qWaitFor([&] { return boxes == 1 && !scanner.IsScanning(); }, 30000));
    QCOMPARE(text, shown);
    QCOMPARE(icon, int(QMessageBox::Critical));
    QVERIFY(!scanningDuringBox); // idle before the box shows
    QVERIFY(QTest::qWaitFor([] { return TScanThread::LiveCount() == 0; }, 30000));
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(1));
    // The next scan runs normally.
    scanner.OnProcessDone = nullptr;
    QVERIFY(scanner.Run());
    QCOMPARE(scanner.Of(ScanEvent::FileFound).size(), std::size_t(1));
}

void tst_ScannerErrors::endEventErrorHandedOn() {
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    RecordingScanner scanner;
    scanner.SetDirectory(Native(tmp.path()));
    scanner.OnProcessDone = [](std::uint32_t, std::uint32_t) {
        throw std::runtime_error("End failed");
    };
    int handed = 0;
    QString what;
    bool scanningWhenHanded = true;
    scanner.OnProcessDoneError = [&](std::exception_ptr error) {
        ++handed;
        scanningWhenHanded = scanner.IsScanning();
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            what = QString::fromUtf8(e.what());
        }
    };
    scanner.StartScan();
    QVERIFY(QTest::qWaitFor([&] { return handed == 1 && !scanner.IsScanning(); }, 30000));
    QCOMPARE(what, QStringLiteral("End failed"));
    QVERIFY(!scanningWhenHanded);
    QVERIFY(QTest::qWaitFor([] { return TScanThread::LiveCount() == 0; }, 30000));
    QCOMPARE(handed, 1);
}

void tst_ScannerErrors::endEventErrorWithoutHandler() {
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    RecordingScanner scanner;
    scanner.SetDirectory(Native(tmp.path()));
    scanner.OnProcessDone = [](std::uint32_t, std::uint32_t) {
        throw std::runtime_error("End failed");
    };
    QTest::ignoreMessage(QtWarningMsg, "The scan's end event failed: End failed");
    scanner.StartScan();
    QVERIFY(QTest::qWaitFor([&] { return !scanner.IsScanning(); }, 30000));
    QVERIFY(QTest::qWaitFor([] { return TScanThread::LiveCount() == 0; }, 30000));
    // The next scan runs normally.
    scanner.OnProcessDone = nullptr;
    QVERIFY(scanner.Run());
}

QTEST_MAIN(tst_ScannerErrors)
#include "tst_scannererrors.moc"
