// The batch run's policies: which files end written, failed or not reached, on
// one thread and on several, when a file fails at its work or at its commit and
// when the run is stopped.

#include "TestFiles.h"
#include "commands/BatchRun.h"
#include "platform/WriteBatch.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

#include <sys/stat.h>
#include <utime.h>

namespace {

char Letter(FileStage s) {
    return "LREWUFN"[static_cast<int>(s)];
}

// File i becomes "new i"; file failAt fails at its work; file touchAt is changed
// on disk once its write is made (which then fails at its commit); working file
// stopAt asks the run to stop.
class Steps : public BatchSteps {
public:
    std::vector<std::string> paths;
    int failAt = -1, touchAt = -1, stopAt = -1;
    std::stop_source stop;
    std::string told; // each file's final stage, in the order told
    std::string again;
    std::size_t window = 0;
    std::atomic<std::size_t> toldCount{0};
    std::atomic<bool> pastWindow{false}; // a file worked before the one a window back was told

    void Work(std::size_t i, FileRecord& r, WriteBatch& batch, const std::stop_token& token,
              bool second) override {
        if (second)
            again += std::to_string(i);
        if (i >= toldCount.load() + window)
            pastWindow = true;
        if (int(i) == stopAt)
            stop.request_stop();
        if (token.stop_requested()) {
            r.state = FileStage::NotReached;
            return;
        }
        if (int(i) == failAt) {
            r.state = FileStage::Failed;
            r.error = "failed";
            return;
        }
        WriteOptions options;
        struct stat st {};
        ::stat(paths[i].c_str(), &st);
        options.readAs = FileStamp::Of(st);
        r.readAs = options.readAs;
        const std::string bytes = "new " + std::to_string(i);
        r.pending = batch.Prepare(
            paths[i], [&](const ContentSink& sink) { sink(bytes); }, options);
        r.pending.CloseDescriptor();
        if (int(i) == touchAt && !second) {
            const struct utimbuf old { 1, 1 };
            ::utime(paths[i].c_str(), &old);
        }
        r.bytes = bytes.size();
        r.state = FileStage::Edited;
    }
    void Done(std::size_t i, FileRecord& r) override {
        QCOMPARE(told.size(), i);
        told += Letter(r.state);
        ++toldCount;
    }
};

} // namespace

class TestBatchRun : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void policies_data();
    void policies();
};

void TestBatchRun::policies_data() {
    QTest::addColumn<bool>("stopAtFirstFailure");
    QTest::addColumn<bool>("commitMadeOnStop");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("failAt");
    QTest::addColumn<int>("touchAt");
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<QString>("told");
    QTest::addColumn<QString>("again");
    for (const unsigned jobs : {1u, 3u}) {
        const auto row = [jobs](const char* name) -> QTestData& {
            return QTest::addRow("%s, %u job(s)", name, jobs);
        };
        row("all written") << false << false << true << -1 << -1 << -1 << QStringLiteral("WWWWW")
                           << QStringLiteral("");
        row("dry run") << false << false << false << -1 << -1 << -1 << QStringLiteral("EEEEE")
                       << QStringLiteral("");
        row("work fails, go on") << false << false << true << 2 << -1 << -1
                                 << QStringLiteral("WWFWW") << QStringLiteral("");
        row("work fails, end there") << true << false << true << 2 << -1 << -1
                                     << QStringLiteral("WWFNN") << QStringLiteral("");
        // The files after the one whose commit failed are made again, or not reached.
        row("commit fails, go on") << false << false << true << -1 << 3 << -1
                                   << QStringLiteral("WWWFW") << QStringLiteral("4");
        row("commit fails, end there") << true << false << true << -1 << 3 << -1
                                       << QStringLiteral("WWWFN") << QStringLiteral("");
        // Small chunks over many folders: the replaced files are handed over
        // to the workers between commits.
        row("all written, a folder each") << false << false << true << -1 << -1 << -1
                                          << QString(40, QLatin1Char('W')) << QStringLiteral("");
        // Only one job: the others may have worked past the stop already.
        if (jobs == 1) {
            row("stopped, made writes dropped") << false << false << true << -1 << -1 << 3
                                                << QStringLiteral("NNNNN") << QStringLiteral("");
            row("stopped, made writes kept")
                << true << true << true << -1 << -1 << 3 << QStringLiteral("WWWNN") << QString();
        }
    }
}

void TestBatchRun::policies() {
    QFETCH(bool, stopAtFirstFailure);
    QFETCH(bool, commitMadeOnStop);
    QFETCH(bool, write);
    QFETCH(int, failAt);
    QFETCH(int, touchAt);
    QFETCH(int, stopAt);
    QFETCH(QString, told);
    QFETCH(QString, again);
    const unsigned jobs = QByteArray(QTest::currentDataTag()).endsWith("3 job(s)") ? 3 : 1;
    const bool folderEach = QByteArray(QTest::currentDataTag()).contains("a folder each");
    const auto count = std::size_t(told.size());
    QTemporaryDir dir;
    Steps steps;
    for (std::size_t i = 0; i < count; ++i) {
        if (folderEach)
            QDir(dir.path()).mkdir(QStringLiteral("d%1").arg(i));
        const QString name = (folderEach ? QStringLiteral("d%1/f.htm") : QStringLiteral("f%1.htm"));
        steps.paths.push_back(dir.filePath(name.arg(i)).toStdString());
        WriteRaw(steps.paths.back(), "old");
    }
    steps.failAt = failAt;
    steps.touchAt = touchAt;
    steps.stopAt = stopAt;
    BatchPolicy policy;
    policy.stopAtFirstFailure = stopAtFirstFailure;
    policy.commitMadeOnStop = commitMadeOnStop;
    policy.write = write;
    policy.jobs = jobs;
    if (folderEach)
        policy.chunkFiles = 4;
    steps.window = BatchWindow(policy);
    const BatchOutcome out = RunBatch(count, steps, policy, steps.stop.get_token());
    QVERIFY(!steps.pastWindow);
    QCOMPARE(QString::fromStdString(steps.told), told);
    QCOMPARE(QString::fromStdString(steps.again), again);
    QCOMPARE(out.stopped, stopAt >= 0);
    QCOMPARE(out.endedAtFailure, stopAtFirstFailure && told.contains(QLatin1Char('F')));
    for (std::size_t i = 0; i < count; ++i) {
        QCOMPARE(ReadRaw(steps.paths[i]),
                 told[qsizetype(i)] == QLatin1Char('W') ? "new " + std::to_string(i) : "old");
        // No temporary, and no replaced file left in its folder.
        QCOMPARE(QFileInfo(QString::fromStdString(steps.paths[i]))
                     .dir()
                     .entryList(QDir::Files | QDir::Hidden)
                     .size(),
                 folderEach ? 1 : 5);
    }
}

QTEST_GUILESS_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
