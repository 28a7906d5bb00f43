// The per-file pipeline: the read keeps ReadFromFile's rules, the outcome's
// figures, and a dry run prepares no write.

#include "cli/FileList.h"
#include "cli/Pipeline.h"
#include "text/Optimizer.h"
#include "text/ReplaceText.h"
#include "text/TextDocument.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

bool Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class tst_CliPipeline : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loadIsReadFromFile_data();
    void loadIsReadFromFile();
    void outcome_data();
    void outcome();
    void failures();
    void largeFileWrittenAtOnce();
    void piecesAndWholeTextAgree();
};

void tst_CliPipeline::largeFileWrittenAtOnce() {
    QTemporaryDir tmp;
    const QString path = tmp.path() + u"/big.htm"_s;
    QByteArray bytes;
    while (bytes.size() < (12 << 20))
        bytes += "  <td>\t cell  </td>\n\n";
    QVERIFY(Write(path, bytes));
    TextDocument reference;
    reference.ReadFromFile(path.toStdString());
    OptimizeDocument(reference);
    PipelineSettings settings;
    const ListEntry entry{path.toStdString(), path.toStdString(), "big.htm"};
    const FileOutcome o = ProcessFile(settings, entry);
    QVERIFY2(!o.failed, o.error.c_str());
    QVERIFY(o.writtenDirectly);
    QVERIFY(o.pending.Path().empty());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray::fromStdString(reference.WholeText()));
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"big.htm"_s});
}

void tst_CliPipeline::loadIsReadFromFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n");
    QTest::newRow("LF") << QByteArray("a\nb");
    QTest::newRow("CR") << QByteArray("\r\ra\r");
    QTest::newRow("LF CR") << QByteArray("a\n\rb");
    QTest::newRow("mixed") << QByteArray("x\r\n\n\r\r\ny\rz\n");
    QTest::newRow("NUL") << QByteArray("a\0\nb", 4);
}

void tst_CliPipeline::loadIsReadFromFile() {
    // A replacement that finds nothing leaves what ReadFromFile and the refill make.
    QFETCH(QByteArray, bytes);
    QTemporaryDir tmp;
    const QString path = tmp.path() + u"/f"_s;
    QVERIFY(Write(path, bytes));
    TextDocument viaRead;
    viaRead.SetCharLimit(TextDocument::FileCharLimit);
    viaRead.ReadFromFile(path.toStdString());
    const std::size_t joined = viaRead.JoinedLength();
    viaRead.AssignLines(std::string(viaRead.WholeText()));
    PipelineSettings settings;
    settings.step.optimize = false;
    settings.step.change.pattern =
        std::string("\x01");  // not a literal: GCC 12 warns (-Wrestrict, wrongly)
    settings.writeAll = true; // also the files that stay the same
    FileOutcome o = ProcessFile(settings, ListEntry{path.toStdString(), path.toStdString(), "f"});
    QVERIFY2(!o.failed, o.error.c_str());
    QCOMPARE(o.sizeOnDisk, std::size_t(bytes.size()));
    QCOMPARE(o.before, joined);
    std::vector<PendingWrite> writes;
    writes.push_back(std::move(o.pending));
    CommitWrites(writes);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray::fromStdString(viaRead.WholeText()));
}

void tst_CliPipeline::outcome_data() {
    QTest::addColumn<bool>("optimize");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("pre");
    QTest::addColumn<bool>("empty");
    QTest::newRow("optimize") << true << QByteArray("a  b\n\n") << 8 << 5 << true << false << false;
    QTest::newRow("optimize, nothing to do")
        << true << QByteArray("a b\r\n") << 5 << 5 << false << false << false;
    QTest::newRow("optimize, only a final break added")
        << true << QByteArray("a b") << 5 << 5 << true << false << false;
    QTest::newRow("optimize, pre")
        << true << QByteArray(" <pre>\n") << 8 << 7 << true << true << false;
    QTest::newRow("optimize, upper-case PRE")
        << true << QByteArray("<PRE>\r\n") << 7 << 7 << false << false << false;
    QTest::newRow("optimize, empty") << true << QByteArray() << 0 << 0 << false << false << true;
    QTest::newRow("replace") << false << QByteArray("xx\n") << 4 << 6 << true << false << false;
    QTest::newRow("replace, no match")
        << false << QByteArray("ab\r\n") << 4 << 4 << false << false << false;
}

void tst_CliPipeline::outcome() {
    QFETCH(bool, optimize);
    QFETCH(QByteArray, bytes);
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(bool, changed);
    QFETCH(bool, pre);
    QFETCH(bool, empty);
    QTemporaryDir tmp;
    const QString path = tmp.path() + u"/f.htm"_s;
    QVERIFY(Write(path, bytes));
    PipelineSettings settings;
    settings.step.optimize = optimize;
    settings.step.change.pattern =
        std::string("x"); // not a literal: GCC 12 warns (-Wrestrict, wrongly)
    settings.step.change.replacement = "yy";
    settings.dryRun = true;
    const ListEntry entry{path.toStdString(), path.toStdString(), "f.htm"};
    FileOutcome o = ProcessFile(settings, entry);
    QVERIFY2(!o.failed, o.error.c_str());
    QCOMPARE(int(o.sizeOnDisk), bytes.size());
    QCOMPARE(int(o.before), before);
    QCOMPARE(int(o.after), after);
    QCOMPARE(o.changed, changed);
    QCOMPARE(o.hasPre, pre);
    QCOMPARE(o.empty, empty);
    QVERIFY(o.pending.Path().empty()); // a dry run prepares nothing
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"f.htm"_s});
    // The same run for real leaves the file as it is until the write is committed.
    settings.dryRun = false;
    o = ProcessFile(settings, entry);
    QVERIFY(!o.failed);
    QCOMPARE(int(o.sizeOnDisk), bytes.size());
    QCOMPARE(int(o.after), after);
    QCOMPARE(o.written, changed); // a file whose bytes stay the same is left alone
    std::vector<PendingWrite> writes;
    if (o.written)
        writes.push_back(std::move(o.pending));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), bytes);
    f.close();
    CommitWrites(writes);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(int(f.size()), after);
}

// A file is worked a piece at a time; it must come out as the window's whole-text
// steps make it (ReadFromFile, OptimizeDocument or ReplaceText, AssignLines),
// mixed line breaks and matches across the pieces' edges included, with and
// without a backup (made from the same reading); a file that cannot be replaced
// fails with the program's message.
void tst_CliPipeline::piecesAndWholeTextAgree() {
    QTemporaryDir tmp;
    QByteArray bytes;
    for (int i = 0; bytes.size() < (3 << 20); ++i)
        bytes += QByteArray::number(i) + (i % 3 == 0 ? " HREF=\"/x\"\r" : " href=\"/y\"\n") +
                 (i % 7 == 0 ? "\r\n" : "");
    bytes += "last href";
    for (const bool optimize : {false, true}) {
        for (const bool backup : {false, true}) {
            const QString path = tmp.path() + u"/page.htm"_s;
            QVERIFY(Write(path, bytes));
            TextDocument whole;
            whole.ReadFromFile(path.toStdString());
            const std::size_t before = whole.JoinedLength();
            if (optimize)
                OptimizeDocument(whole);
            else
                whole.SetWholeText(ReplaceText(whole.WholeText(), "href=\"/", "src=\"", false));
            whole.AssignLines(std::string(whole.WholeText()));
            const QByteArray expected = QByteArray::fromStdString(whole.WholeText());

            PipelineSettings settings;
            settings.step.optimize = optimize;
            settings.step.change.pattern = "href=\"/";
            settings.step.change.replacement = "src=\"";
            // A copy is always a new file: one backup folder per command.
            const QString backupDir = tmp.path() + (optimize ? u"/backup-o"_s : u"/backup-r"_s);
            if (backup)
                settings.backupDir = backupDir.toStdString();
            FileOutcome o = ProcessFile(
                settings, ListEntry{path.toStdString(), path.toStdString(), "page.htm"});
            QVERIFY2(!o.failed, o.error.c_str());
            QCOMPARE(o.before, before);
            QCOMPARE(o.after, std::size_t(expected.size()));
            QVERIFY(o.changed);
            QCOMPARE(o.sizeOnDisk, std::size_t(bytes.size()));
            std::vector<PendingWrite> writes;
            writes.push_back(std::move(o.pending));
            CommitWrites(writes);
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(f.readAll() == expected);
            if (backup) {
                QCOMPARE(QString::fromStdString(o.backupPath), backupDir + u"/page.htm"_s);
                QFile copy(backupDir + u"/page.htm"_s);
                QVERIFY(copy.open(QIODevice::ReadOnly));
                QVERIFY(copy.readAll() == bytes);
            }
        }
    }

    // A read-only file: refused with the program's message, nothing left behind.
    const QString locked = tmp.path() + u"/locked.htm"_s;
    QVERIFY(Write(locked, "a\n"));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup));
    PipelineSettings settings;
    const FileOutcome o =
        ProcessFile(settings, ListEntry{locked.toStdString(), locked.toStdString(), "locked.htm"});
    QVERIFY(o.failed);
    QCOMPARE(QString::fromStdString(o.error),
             u"Cannot create file \""_s + locked + u"\". Permission denied"_s);
    QVERIFY(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).filter(u".tmp"_s).isEmpty());
}

void tst_CliPipeline::failures() {
    QTemporaryDir tmp;
    PipelineSettings settings;
    const std::string missing = (tmp.path() + u"/none.htm"_s).toStdString();
    FileOutcome o = ProcessFile(settings, ListEntry{missing, missing, "none.htm"});
    QVERIFY(o.failed);
    QCOMPARE(
        QString::fromStdString(o.error),
        QString::fromStdString("Cannot open file \"" + missing + "\". No such file or directory"));
    // A backup that cannot be made stops the file before it is written.
    const QString path = tmp.path() + u"/f.htm"_s;
    QVERIFY(Write(path, "a  b\n"));
    QVERIFY(Write(tmp.path() + u"/blocker"_s, "x"));
    settings.backupDir = (tmp.path() + u"/blocker/inside"_s).toStdString();
    o = ProcessFile(settings, ListEntry{path.toStdString(), path.toStdString(), "f.htm"});
    QVERIFY(o.failed);
    QVERIFY2(QString::fromStdString(o.error).startsWith(u"Cannot create file \""_s + tmp.path() +
                                                        u"/blocker/inside"_s),
             o.error.c_str());
    QVERIFY(o.pending.Path().empty());
}

QTEST_GUILESS_MAIN(tst_CliPipeline)
#include "tst_clipipeline.moc"
