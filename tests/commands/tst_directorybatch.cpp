// The directory batch without a window: progress after each file, and a stop
// asked for between two files.

#include "TestFiles.h"
#include "commands/DirectoryBatch.h"
#include "commands/ListedFiles.h"
#include "platform/SafeWrite.h"
#include "text/TextDocument.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

class Files : public ListedFiles {
public:
    std::vector<std::string> paths;
    std::size_t Count() const override { return paths.size(); }
    const std::string& Entry(std::size_t i) const override { return paths[i]; }
};

} // namespace

class TestDirectoryBatch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stopsBetweenTwoFiles_data();
    void stopsBetweenTwoFiles();
    void stopPutsTheKeptTextsBack_data();
    void stopPutsTheKeptTextsBack();
};

void TestDirectoryBatch::stopsBetweenTwoFiles_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("stopAfter"); // files done when the stop is asked; -1: never
    for (const char* command : {"optimize", "change", "save"}) {
        QTest::addRow("%s, no stop", command) << command << -1;
        QTest::addRow("%s, stop before the first", command) << command << 0;
        QTest::addRow("%s, stop after two", command) << command << 2;
    }
}

void TestDirectoryBatch::stopsBetweenTwoFiles() {
    QFETCH(QString, command);
    QFETCH(int, stopAfter);
    QTemporaryDir dir;
    Files files;
    for (int i = 0; i < 4; ++i) {
        files.paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(files.paths.back(), "a  b\n");
    }
    DirectoryBatch batch;
    batch.SetListedFolder(dir.path().toStdString());
    TextDocument doc;
    if (command == QLatin1String("save"))
        batch.OptimizeAll(doc, files);

    std::vector<std::size_t> reported;
    std::size_t done = 0;
    std::stop_source stop;
    BatchControl control;
    control.progress = [&](std::size_t n, std::size_t total) {
        QCOMPARE(total, files.Count());
        reported.push_back(n);
        done = n;
        if (stopAfter >= 0 && done >= std::size_t(stopAfter))
            stop.request_stop();
    };
    control.stop = stop.get_token();
    if (stopAfter == 0)
        stop.request_stop();

    bool stopped = false;
    if (command == QLatin1String("optimize"))
        stopped = batch.OptimizeAll(doc, files, control).stopped;
    else if (command == QLatin1String("change"))
        stopped = !batch.ChangeAll(doc, files, {"a", "x", true}, control);
    else
        stopped = batch.SaveAll(doc, files, control).stopped;

    const std::size_t expected = stopAfter < 0 ? files.Count() : std::size_t(stopAfter);
    QCOMPARE(stopped, stopAfter >= 0);
    QCOMPARE(done, expected);
    if (command != QLatin1String("save")) {
        QCOMPARE(reported.size(), expected);
        QCOMPARE(batch.TextsReady(), !stopped);
        return;
    }
    // Save All: the files before the stop are written, the rest untouched.
    for (std::size_t i = 0; i < files.Count(); ++i)
        QCOMPARE(ReadRaw(files.paths[i]), i < expected ? "a b\r\n" : "a  b\n");
    if (!stopped)
        return;
    // The files it wrote are its own: Save All again writes every file.
    try {
        QVERIFY(!batch.SaveAll(doc, files).stopped);
    } catch (const WriteError& e) {
        QFAIL(e.what());
    }
    for (const std::string& path : files.paths)
        QCOMPARE(ReadRaw(path), std::string("a b\r\n"));
}

void TestDirectoryBatch::stopPutsTheKeptTextsBack_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("listed"); // files listed for the stopped command
    QTest::newRow("optimize") << QStringLiteral("optimize") << 4;
    QTest::newRow("change") << QStringLiteral("change") << 4;
    QTest::newRow("optimize, fewer listed") << QStringLiteral("optimize") << 3;
}

void TestDirectoryBatch::stopPutsTheKeptTextsBack() {
    QFETCH(QString, command);
    QFETCH(int, listed);
    QTemporaryDir dir;
    Files files;
    for (int i = 0; i < 4; ++i) {
        files.paths.push_back(dir.filePath(QStringLiteral("f%1.htm").arg(i)).toStdString());
        WriteRaw(files.paths.back(), "a  b " + std::to_string(i) + "\n");
    }
    DirectoryBatch batch;
    TextDocument doc;
    QVERIFY(batch.ChangeAll(doc, files, {"b", "y", true}));
    const std::vector<std::string> kept = batch.Texts();
    QCOMPARE(kept[1], std::string("a  y 1\r\n"));

    files.paths.resize(std::size_t(listed));
    std::size_t done = 0;
    std::stop_source stop;
    BatchControl control;
    control.progress = [&](std::size_t n, std::size_t) {
        done = n;
        if (done >= 2)
            stop.request_stop();
    };
    control.stop = stop.get_token();
    if (command == QLatin1String("optimize"))
        QVERIFY(batch.OptimizeAll(doc, files, control).stopped);
    else
        QVERIFY(!batch.ChangeAll(doc, files, {"a", "x", true}, control));
    QVERIFY(batch.TextsReady());
    QVERIFY(batch.Texts() == kept);
}

QTEST_GUILESS_MAIN(TestDirectoryBatch)
#include "tst_directorybatch.moc"
