// Worker threads: every one is joined, and what a worker's work throws reaches
// the joining thread instead of ending the program.

#include "platform/WorkerThreads.h"

#include <QtTest>

#include <atomic>
#include <stdexcept>
#include <string>

class tst_WorkerThreads : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void failurePassedOn_data();
    void failurePassedOn();
};

void tst_WorkerThreads::failurePassedOn_data() {
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("throwing"); // the worker whose work throws; -1: none
    QTest::newRow("none throws") << 3 << -1;
    QTest::newRow("one of one throws") << 1 << 0;
    QTest::newRow("the last of four throws") << 4 << 3;
}

void tst_WorkerThreads::failurePassedOn() {
    QFETCH(int, workers);
    QFETCH(int, throwing);
    std::atomic<int> finished{0};
    WorkerThreads threads;
    for (int w = 0; w < workers; ++w) {
        QVERIFY(threads.Start([w, throwing, &finished] {
            if (w == throwing)
                throw std::runtime_error("worker " + std::to_string(w));
            ++finished;
        }));
    }
    threads.Join();
    QCOMPARE(threads.Failed(), throwing >= 0);
    QCOMPARE(finished.load(), throwing >= 0 ? workers - 1 : workers);
    QString caught;
    try {
        threads.Rethrow();
    } catch (const std::runtime_error& e) {
        caught = QString::fromStdString(e.what());
    }
    QCOMPARE(caught, throwing >= 0 ? QStringLiteral("worker %1").arg(throwing) : QString());
}

QTEST_APPLESS_MAIN(tst_WorkerThreads)
#include "tst_workerthreads.moc"
