// velocitrix-cli under conditions a script or a machine brings: backup folders
// in the wrong place or holding links, a low limit on open files, signals, a
// closed pipe, temporaries of an interrupted run, a write that fails in the
// middle of a batch, and a file another program changes meanwhile.

#include "CliRunner.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace cli_test;
using namespace Qt::StringLiterals;

#ifndef VX_FAULT_SHIM
#error "VX_FAULT_SHIM names the failure injector"
#endif

namespace {

// Names of safe writes' temporaries below dir.
QStringList Temporaries(const QString& dir) {
    QStringList found;
    QDirIterator it(dir, {u".*.vx-*.tmp"_s}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

QByteArray Bytes(const char* text) {
    return QByteArray(text);
}

} // namespace

class tst_CliSafety : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void backupPlaceRefused_data();
    void backupPlaceRefused();
    void backupFollowsNoLink_data();
    void backupFollowsNoLink();
    void fewOpenFiles();
    void stopSignals_data();
    void stopSignals();
    void closedPipe_data();
    void closedPipe();
    void leftovers();
    void failingWriteBlamesItsOwnFile();
    void fileChangedSinceRead();
};

void tst_CliSafety::backupPlaceRefused_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("the folder worked on")
        << QStringList{u"--backup"_s, u"site"_s, u"site"_s} << u"lies inside \"site\""_s;
    QTest::newRow("inside the folder worked on")
        << QStringList{u"-r"_s, u"--backup"_s, u"site/old/"_s, u"site"_s}
        << u"lies inside \"site\""_s;
    QTest::newRow("through a link to it")
        << QStringList{u"--backup"_s, u"link/sub"_s, u"site/"_s} << u"lies inside \"site/\""_s;
    QTest::newRow("the copy would be the file")
        << QStringList{u"--backup"_s, u"site"_s, u"site/a.htm"_s} << u"would be \"site/a.htm\""_s;
    QTest::newRow("the copy would be another name of the file")
        << QStringList{u"--backup"_s, u"link"_s, u"site/a.htm"_s} << u"would be \"link/a.htm\""_s;
}

void tst_CliSafety::backupPlaceRefused() {
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    QTemporaryDir tmp;
    QVERIFY(WriteBytes(tmp.path() + u"/site/a.htm"_s, "a  b\n"));
    QVERIFY(::symlink("site", QFile::encodeName(tmp.path() + u"/link"_s).constData()) == 0);
    const CliResult r = RunCli(QStringList{u"optimize"_s} + args, tmp.path());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
    QCOMPARE(Snapshot(tmp.path() + u"/site"_s),
             (QMap<QString, QByteArray>{{u"a.htm"_s, Bytes("a  b\n")}}));
}

void tst_CliSafety::backupFollowsNoLink_data() {
    // Links another account could put into a shared backup folder.
    QTest::addColumn<QString>("link");   // below the backup folder
    QTest::addColumn<QString>("target"); // where it leads
    QTest::newRow("in the copy's place") << u"sub/a.htm"_s << u"../../victim/a.htm"_s;
    QTest::newRow("in a folder's place") << u"sub"_s << u"../victim"_s;
}

void tst_CliSafety::backupFollowsNoLink() {
    QFETCH(QString, link);
    QFETCH(QString, target);
    QTemporaryDir tmp;
    QVERIFY(WriteBytes(tmp.path() + u"/site/sub/a.htm"_s, "a  b\n"));
    QVERIFY(WriteBytes(tmp.path() + u"/site/sub/c.htm"_s, "c  d\n"));
    QVERIFY(WriteBytes(tmp.path() + u"/victim/a.htm"_s, "private\n"));
    QDir().mkpath(tmp.path() + u"/bak/sub"_s);
    if (link == u"sub"_s)
        QVERIFY(QDir(tmp.path() + u"/bak"_s).rmdir(u"sub"_s));
    QVERIFY(::symlink(QFile::encodeName(target).constData(),
                      QFile::encodeName(tmp.path() + u"/bak/"_s + link).constData()) == 0);
    const CliResult r =
        RunCli({u"optimize"_s, u"-r"_s, u"--backup"_s, u"bak"_s, u"site"_s}, tmp.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith("velocitrix-cli: Cannot create file \"bak/sub/a.htm\"."),
             r.err.constData());
    // Nothing reached through the link; a file without its copy is not written.
    QCOMPARE(Snapshot(tmp.path() + u"/victim"_s),
             (QMap<QString, QByteArray>{{u"a.htm"_s, Bytes("private\n")}}));
    QCOMPARE(ReadBytes(tmp.path() + u"/site/sub/a.htm"_s), Bytes("a  b\n"));
}

void tst_CliSafety::fewOpenFiles() {
    // Files with a second name are written in place; far more jobs than the
    // limit on open files would allow descriptors for.
    QTemporaryDir tmp;
    constexpr int Files = 300;
    for (int i = 0; i < Files; ++i) {
        const QString name = QStringLiteral("/f%1.htm").arg(i, 3, 10, QLatin1Char('0'));
        QVERIFY(WriteBytes(tmp.path() + u"/t"_s + name, "a  " + QByteArray::number(i) + "\n"));
        QDir().mkpath(tmp.path() + u"/links"_s);
        QVERIFY(::link(QFile::encodeName(tmp.path() + u"/t"_s + name).constData(),
                       QFile::encodeName(tmp.path() + u"/links"_s + name).constData()) == 0);
    }
    QProcess p;
    p.setProgram(QString::fromUtf8(VX_CLI_PATH));
    p.setArguments({u"optimize"_s, u"--jobs"_s, u"256"_s, u"t"_s});
    p.setWorkingDirectory(tmp.path());
    p.setChildProcessModifier([] {
        const struct rlimit few { 64, 64 };
        ::setrlimit(RLIMIT_NOFILE, &few);
    });
    p.start();
    QVERIFY(p.waitForFinished(120000));
    const QByteArray err = p.readAllStandardError();
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(err.isEmpty(), err.constData());
    QCOMPARE(p.exitCode(), 0);
    for (int i = 0; i < Files; ++i)
        QCOMPARE(ReadBytes(tmp.path() +
                           QStringLiteral("/links/f%1.htm").arg(i, 3, 10, QLatin1Char('0'))),
                 "a " + QByteArray::number(i) + "\r\n");
}

void tst_CliSafety::stopSignals_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
    QTest::newRow("SIGINT") << int(SIGINT) << 130;
    QTest::newRow("SIGHUP") << int(SIGHUP) << 129;
}

void tst_CliSafety::stopSignals() {
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    // Small files, then a large one the signal comes in the middle of.
    QTemporaryDir tmp;
    const QString site = tmp.path() + u"/site"_s;
    constexpr int Small = 600;
    for (int i = 0; i < Small; ++i)
        QVERIFY(WriteBytes(site + QStringLiteral("/f%1.htm").arg(i, 3, 10, QLatin1Char('0')),
                           "a  b\n"));
    QByteArray large;
    while (large.size() < (96 << 20))
        large += "  <td>\t cell  </td>\n";
    QVERIFY(WriteBytes(site + u"/zz.htm"_s, large));

    QProcess p;
    p.setProgram(QString::fromUtf8(VX_CLI_PATH));
    p.setArguments({u"optimize"_s, u"--jobs"_s, u"2"_s, site});
    p.start();
    QVERIFY(p.waitForStarted());
    // A large temporary shows the run is under way in the large file.
    QElapsedTimer waited;
    waited.start();
    const auto largeStarted = [&] {
        for (const QFileInfo& f :
             QDir(site).entryInfoList({u".*.vx-*.tmp"_s}, QDir::Files | QDir::Hidden)) {
            if (f.size() >= (1 << 20))
                return true;
        }
        return false;
    };
    while (!largeStarted()) {
        QVERIFY2(p.state() == QProcess::Running && waited.elapsed() < 60000,
                 "the large file was never started");
        QThread::usleep(1000);
    }
    QVERIFY(::kill(static_cast<pid_t>(p.processId()), signal) == 0);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY(p.readAllStandardError().contains("stopped by"));
    QCOMPARE(Temporaries(tmp.path()), QStringList());
    // Every file is whole: its old bytes, or the new ones.
    for (int i = 0; i < Small; ++i) {
        const QByteArray now =
            ReadBytes(site + QStringLiteral("/f%1.htm").arg(i, 3, 10, QLatin1Char('0')));
        QVERIFY2(now == "a  b\n" || now == "a b\r\n", now.constData());
    }
    QVERIFY(ReadBytes(site + u"/zz.htm"_s) == large);
}

void tst_CliSafety::closedPipe_data() {
    QTest::addColumn<QString>("mode"); // empty: a run
    QTest::addColumn<QString>("sink");
    QTest::addColumn<int>("status"); // --check, --diff: 3, not the complete answer's 1
    QTest::newRow("run, reader gone") << QString() << u"| head -c1 >/dev/null"_s << 1;
    QTest::newRow("diff, reader gone") << u"--diff"_s << u"| head -c100 >/dev/null"_s << 3;
    QTest::newRow("diff, disk full") << u"--diff"_s << u">/dev/full"_s << 3;
    QTest::newRow("check, disk full") << u"--check"_s << u">/dev/full"_s << 3;
}

void tst_CliSafety::closedPipe() {
    // The reader goes after a few bytes; the report's later lines meet a closed
    // pipe (or a full disk).
    QFETCH(QString, mode);
    QFETCH(QString, sink);
    QFETCH(int, status);
    if (sink.contains(u"/dev/full"_s) && !QFile::exists(u"/dev/full"_s))
        QSKIP("no /dev/full on this machine");
    QTemporaryDir tmp;
    for (int i = 0; i < 3000; ++i)
        QVERIFY(WriteBytes(
            tmp.path() + QStringLiteral("/t/a-rather-long-folder-name/f%1.htm").arg(i), "a  b\n"));
    const QString command = u"'"_s + QString::fromUtf8(VX_CLI_PATH) + u"' optimize -r --jobs 4 "_s +
                            mode + u" t "_s + sink + u"; exit ${PIPESTATUS[0]}"_s;
    QProcess p;
    p.setWorkingDirectory(tmp.path());
    p.start(u"bash"_s, {u"-c"_s, command});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitCode(), status);
    QVERIFY2(p.readAllStandardError().contains("cannot write the report to standard output"),
             "no word of the lost report");
    QCOMPARE(Temporaries(tmp.path()), QStringList());
    QCOMPARE(ReadBytes(tmp.path() + u"/t/a-rather-long-folder-name/f2999.htm"_s),
             Bytes(mode.isEmpty() ? "a b\r\n" : "a  b\n"));
}

void tst_CliSafety::leftovers() {
    QTemporaryDir tmp;
    QVERIFY(WriteBytes(tmp.path() + u"/t/a.htm"_s, "a  b\n"));
    QVERIFY(WriteBytes(tmp.path() + u"/t/.a.htm.vx-AbC123.tmp"_s, "half"));
    QVERIFY(WriteBytes(tmp.path() + u"/t/sub/.b.htm.vx-xyz789.tmp"_s, "half"));
    const CliResult told = RunCli({u"optimize"_s, u"-r"_s, u"t"_s}, tmp.path());
    QCOMPARE(told.exitCode, 0);
    QCOMPARE(told.err, Bytes("velocitrix-cli: 2 temporary files of an interrupted run found; "
                             "--remove-leftovers deletes them\n"));
    QCOMPARE(Temporaries(tmp.path()).size(), 2);
    const CliResult removed =
        RunCli({u"optimize"_s, u"-r"_s, u"--remove-leftovers"_s, u"t"_s}, tmp.path());
    QCOMPARE(removed.exitCode, 0);
    QCOMPARE(removed.err,
             Bytes("velocitrix-cli: deleted 2 temporary files of an interrupted run\n"));
    QCOMPARE(Temporaries(tmp.path()), QStringList());
    QCOMPARE(ReadBytes(tmp.path() + u"/t/a.htm"_s), Bytes("a b\r\n"));
}

void tst_CliSafety::failingWriteBlamesItsOwnFile() {
    // The failing file's path holds what follows another file's path in a
    // message; every rename into its folder fails.
    QTemporaryDir tmp;
    const QString t = tmp.path() + u"/t"_s;
    for (const QString& name : {u"a.htm"_s, u"a.htm!.htm"_s, u"a.htm\". Z/b.htm"_s, u"c.htm"_s})
        QVERIFY(WriteBytes(t + u"/"_s + name, "x\n"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LD_PRELOAD"_s, QString::fromUtf8(VX_FAULT_SHIM));
    // Under AddressSanitizer the preloaded injector comes before its runtime.
    env.insert(u"ASAN_OPTIONS"_s, u"verify_asan_link_order=0:detect_leaks=0"_s);
    env.insert(u"VX_FAULT"_s, u"rename:EIO"_s);
    env.insert(u"VX_FAULT_DIR"_s, t + u"/a.htm\". Z"_s);
    const CliResult r = RunCli(
        {u"replace"_s, u"-r"_s, u"--find"_s, u"x"_s, u"--with"_s, u"xx"_s, t}, tmp.path(), env);
    QCOMPARE(r.exitCode, 1);
    // The name is quoted as a shell would take it back: the message names one file.
    QCOMPARE(r.err, (u"velocitrix-cli: Cannot create file '"_s + t +
                     u"/a.htm\". Z/b.htm'. Input/output error.\n"_s)
                        .toUtf8());
    QCOMPARE(ReadBytes(t + u"/a.htm"_s), Bytes("xx\r\n"));
    QCOMPARE(ReadBytes(t + u"/a.htm!.htm"_s), Bytes("xx\r\n"));
    QCOMPARE(ReadBytes(t + u"/a.htm\". Z/b.htm"_s), Bytes("x\n"));
    QCOMPARE(ReadBytes(t + u"/c.htm"_s), Bytes("xx\r\n"));
    QCOMPARE(Temporaries(tmp.path()), QStringList());
}

void tst_CliSafety::fileChangedSinceRead() {
    // a.htm waits for its batch's commit while the large file is worked on; another
    // program writes a.htm meanwhile.
    QTemporaryDir tmp;
    const QString t = tmp.path() + u"/t"_s;
    QVERIFY(WriteBytes(t + u"/a.htm"_s, "a  a\n"));
    QByteArray large;
    while (large.size() < (64 << 20))
        large += "  <td>\t cell  </td>\n";
    QVERIFY(WriteBytes(t + u"/b.htm"_s, large));
    QVERIFY(WriteBytes(t + u"/c.htm"_s, "c  c\n"));
    QProcess p;
    p.setProgram(QString::fromUtf8(VX_CLI_PATH));
    p.setArguments({u"optimize"_s, t});
    p.start();
    QVERIFY(p.waitForStarted());
    QElapsedTimer waited;
    waited.start();
    while (QDir(t).entryList({u".b.htm.vx-*.tmp"_s}, QDir::Files | QDir::Hidden).isEmpty()) {
        QVERIFY2(p.state() == QProcess::Running && waited.elapsed() < 60000,
                 "the large file was never started");
        QThread::usleep(500);
    }
    QVERIFY(WriteBytes(t + u"/a.htm"_s, "changed by another program\n"));
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(p.readAllStandardError(),
             (u"velocitrix-cli: Cannot create file \""_s + t +
              u"/a.htm\". The file was changed by another program since it was read.\n"_s)
                 .toUtf8());
    QCOMPARE(ReadBytes(t + u"/a.htm"_s), Bytes("changed by another program\n"));
    QCOMPARE(ReadBytes(t + u"/c.htm"_s), Bytes("c c\r\n"));
    QCOMPARE(Temporaries(tmp.path()), QStringList());
}

QTEST_GUILESS_MAIN(tst_CliSafety)
#include "tst_clisafety.moc"
