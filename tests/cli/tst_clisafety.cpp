// velocitrix-cli under conditions a script or a machine brings: backup folders
// in the wrong place or holding links, backup copies of private files, a low
// limit on open files or on the address space, signals, a
// closed pipe, temporaries of an interrupted run, a write that fails in the
// middle of a batch, a file another program changes meanwhile, links another
// account plants in a walked tree, and a container that refuses openat2.

#include "CliRunner.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
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

// The environment that preloads the failure injector with fault.
QProcessEnvironment WithFault(const QString& fault, const QString& dir = QString()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LD_PRELOAD"_s, QString::fromUtf8(VX_FAULT_SHIM));
    // Under AddressSanitizer the preloaded injector comes before its runtime.
    env.insert(u"ASAN_OPTIONS"_s, u"verify_asan_link_order=0:detect_leaks=0"_s);
    env.insert(u"VX_FAULT"_s, fault);
    if (!dir.isEmpty())
        env.insert(u"VX_FAULT_DIR"_s, dir);
    return env;
}

// Leaves the temporaries of a run killed at its first rename in dir: real ones,
// named and made as the program makes them.
QStringList KilledRunsLeftovers(const QString& dir) {
    const CliResult r =
        RunCli({u"optimize"_s, u"-r"_s, dir}, QString(), WithFault(u"rename:KILL"_s, dir));
    if (!r.crashed)
        return {};
    return Temporaries(dir);
}

// Waits until the process has a descriptor open on path.
bool WaitForOpen(QProcess& p, const QString& path) {
    QElapsedTimer waited;
    waited.start();
    const QString fds = u"/proc/"_s + QString::number(p.processId()) + u"/fd"_s;
    while (waited.elapsed() < 60000) {
        for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System)) {
            if (QFile::symLinkTarget(fds + u"/"_s + fd) == path)
                return true;
        }
        if (p.waitForFinished(1))
            return false;
    }
    return false;
}

} // namespace

class tst_CliSafety : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void backupPlaceRefused_data();
    void backupPlaceRefused();
    void backupFollowsNoLink_data();
    void backupFollowsNoLink();
    void backupCopiesStayPrivate_data();
    void backupCopiesStayPrivate();
    void fewOpenFiles_data();
    void fewOpenFiles();
    void stopSignals_data();
    void stopSignals();
    void closedPipe_data();
    void closedPipe();
    void leftovers_data();
    void leftovers();
    void leftoversBehindASwappedFolderKept();
    void liveRunsTemporariesKept();
    void failingWriteBlamesItsOwnFile();
    void fileChangedSinceRead();
    void readsStayInTheWalkedTree_data();
    void readsStayInTheWalkedTree();
    void openat2Refused_data();
    void openat2Refused();
    void stopWhileWalking_data();
    void stopWhileWalking();
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
    const CliResult r = RunCli(
        QStringList{u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s} + args, tmp.path());
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
    const CliResult r = RunCli({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"-r"_s,
                                u"--backup"_s, u"bak"_s, u"site"_s},
                               tmp.path());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith("velocitrix-cli: Cannot create file \"bak/sub/a.htm\"."),
             r.err.constData());
    // Nothing reached through the link; a file without its copy is not written.
    QCOMPARE(Snapshot(tmp.path() + u"/victim"_s),
             (QMap<QString, QByteArray>{{u"a.htm"_s, Bytes("private\n")}}));
    QCOMPARE(ReadBytes(tmp.path() + u"/site/sub/a.htm"_s), Bytes("a  b\n"));
}

void tst_CliSafety::backupCopiesStayPrivate_data() {
    QTest::addColumn<QString>("closed"); // a folder that lets no other account through
    QTest::addColumn<QString>("copy");
    QTest::newRow("a private folder in the tree") << u"site/private"_s << u"bk/private/conf.php"_s;
    QTest::newRow("the walked folder itself") << u"site"_s << u"bk/conf.php"_s;
}

// A copy is read by no account that could not read the original through its
// folders, also where the backup folder is open to all.
void tst_CliSafety::backupCopiesStayPrivate() {
    QFETCH(QString, closed);
    QFETCH(QString, copy);
    const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
    if (setpriv.isEmpty() || ::geteuid() != 0)
        QSKIP("needs setpriv and the superuser to read as another account");
    QTemporaryDir tmp;
    const QString original = closed + u"/conf.php"_s;
    QVERIFY(WriteBytes(tmp.path() + u"/"_s + original, "secret  1\n"));
    QVERIFY(QDir().mkpath(tmp.path() + u"/bk"_s) && QDir().mkpath(tmp.path() + u"/site/private"_s));
    for (const QString& open : {QString(), u"/bk"_s, u"/site"_s, u"/site/private"_s})
        QVERIFY(::chmod(QFile::encodeName(tmp.path() + open).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(tmp.path() + u"/"_s + closed).constData(), 0700) == 0);
    QVERIFY(::chmod(QFile::encodeName(tmp.path() + u"/"_s + original).constData(), 0644) == 0);
    const CliResult r =
        RunCli({u"optimize"_s, u"-r"_s, u"--backup"_s, u"bk"_s, u"site"_s}, tmp.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(ReadBytes(tmp.path() + u"/"_s + copy), Bytes("secret  1\n"));
    QProcess other;
    other.start(setpriv, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, u"--"_s,
                          u"cat"_s, tmp.path() + u"/"_s + copy});
    QVERIFY(other.waitForFinished(30000));
    QVERIFY2(other.exitCode() != 0, "another account read the copy");
    QVERIFY(other.readAllStandardOutput().isEmpty());
}

void tst_CliSafety::fewOpenFiles_data() {
    QTest::addColumn<int>("resource");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("jobs");
    // Far more jobs than the limit on open files would allow descriptors for.
    QTest::newRow("open files: 64, 256 jobs") << int(RLIMIT_NOFILE) << 64 << u"256"_s;
    // Far more jobs than there is address space for the workers' stacks: those
    // that cannot start are done without.
    QTest::newRow("address space: 150 MB, 64 jobs") << int(RLIMIT_AS) << 150000 * 1024 << u"64"_s;
}

void tst_CliSafety::fewOpenFiles() {
    // Files with a second name are written in place.
    QFETCH(int, resource);
    QFETCH(int, limit);
    QFETCH(QString, jobs);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer's shadow memory alone is far larger than the limit.
    if (resource == RLIMIT_AS)
        QSKIP("an address-space limit cannot hold a sanitizer's shadow memory");
#endif
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
    p.setArguments({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"--jobs"_s, jobs,
                    u"t"_s});
    p.setWorkingDirectory(tmp.path());
    p.setChildProcessModifier([resource, limit] {
        const struct rlimit few { rlim_t(limit), rlim_t(limit) };
        ::setrlimit(resource, &few);
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
    QCOMPARE(Temporaries(tmp.path()), QStringList());
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
    p.setArguments(
        {u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, u"--jobs"_s, u"2"_s, site});
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
    const QString command = u"'"_s + QString::fromUtf8(VX_CLI_PATH) + u"' optimize --no-keep-pre --line-breaks=crlf -r --jobs 4 "_s +
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

void tst_CliSafety::leftovers_data() {
    QTest::addColumn<QString>("made");       // what the tree holds besides t/a.htm
    QTest::addColumn<QByteArray>("told");    // the notice of a run without --remove-leftovers
    QTest::addColumn<QByteArray>("removed"); // what --remove-leftovers says
    QTest::addColumn<int>("kept");           // files named like temporaries that stay
    QTest::newRow("an interrupted run's")
        << u"killed run"_s
        << Bytes("velocitrix-cli: 2 temporary files of an interrupted run found; "
                 "--remove-leftovers deletes them\n")
        << Bytes("velocitrix-cli: deleted 2 temporary files of an interrupted run\n") << 0;
    QTest::newRow("a user's file named like one")
        << u"user's file"_s << QByteArray() << QByteArray() << 1;
    QTest::newRow("a folder named like one") << u"folder"_s << QByteArray() << QByteArray() << 0;
    QTest::newRow("another account's")
        << u"another account's"_s
        << Bytes("velocitrix-cli: 2 temporary files of an interrupted run found; "
                 "--remove-leftovers deletes them\n")
        << Bytes("velocitrix-cli: kept 1 temporary file: a run still under way is writing "
                 "there, or they are not this account's files\n"
                 "velocitrix-cli: deleted 1 temporary file of an interrupted run\n")
        << 1;
}

void tst_CliSafety::leftovers() {
    QFETCH(QString, made);
    QFETCH(QByteArray, told);
    QFETCH(QByteArray, removed);
    QFETCH(int, kept);
    QTemporaryDir tmp;
    const QString t = tmp.path() + u"/t"_s;
    QVERIFY(WriteBytes(t + u"/a.htm"_s, "a  b\n"));
    if (made == u"killed run"_s || made == u"another account's"_s) {
        QVERIFY(WriteBytes(t + u"/sub/b.htm"_s, "b  b\n"));
        const QStringList left = KilledRunsLeftovers(t);
        QCOMPARE(left.size(), 2);
        QVERIFY(WriteBytes(t + u"/a.htm"_s, "a  b\n")); // the list's bytes, before the run
        if (made == u"another account's"_s) {
            if (::geteuid() != 0)
                QSKIP("a file of another account needs the superuser");
            QVERIFY(::chown(QFile::encodeName(left.last()).constData(), 65534, 65534) == 0);
        }
    } else if (made == u"user's file"_s) {
        QVERIFY(WriteBytes(t + u"/.index.htm.vx-backup.tmp"_s, "mine"));
    } else {
        QVERIFY(WriteBytes(t + u"/.assets.vx-images.tmp/b.htm"_s, "b  b\n"));
    }
    QCOMPARE(RunCli({u"optimize"_s, u"--line-breaks=crlf"_s, u"-r"_s, u"--dry-run"_s, u"t"_s}, tmp.path()).err, told);
    const CliResult r =
        RunCli({u"optimize"_s, u"--line-breaks=crlf"_s, u"-r"_s, u"--remove-leftovers"_s, u"t"_s}, tmp.path());
    QCOMPARE(r.err, removed);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(Temporaries(tmp.path()).size(), qsizetype(kept));
    QCOMPARE(ReadBytes(t + u"/a.htm"_s), Bytes("a b\r\n"));
    if (made == u"user's file"_s)
        QCOMPARE(ReadBytes(t + u"/.index.htm.vx-backup.tmp"_s), Bytes("mine"));
    if (made == u"folder"_s)
        QCOMPARE(ReadBytes(t + u"/.assets.vx-images.tmp/b.htm"_s), Bytes("b b\r\n"));
}

void tst_CliSafety::leftoversBehindASwappedFolderKept() {
    // A killed run's leftover in t/sub; while a removal walks t, the folder's
    // owner puts a link to another folder in t/sub's place, where a file has the
    // leftover's name. Only what lies in the walked tree may go.
    QTemporaryDir tmp;
    const QString t = tmp.path() + u"/t"_s;
    QVERIFY(WriteBytes(t + u"/sub/b.htm"_s, "b  b\n"));
    const QStringList left = KilledRunsLeftovers(t);
    QCOMPARE(left.size(), 1);
    const QString name = QFileInfo(left.first()).fileName();
    for (int i = 0; i < 32; ++i)
        QVERIFY(WriteBytes(t + u"/sub/slow/n"_s + QString::number(i) + u".txt"_s, "n"));
    const QString victim = tmp.path() + u"/victim"_s;
    QVERIFY(WriteBytes(victim + u"/"_s + name, "another folder's file"));
    QProcess p;
    p.setProgram(QString::fromUtf8(VX_CLI_PATH));
    p.setArguments({u"optimize"_s, u"-r"_s, u"--remove-leftovers"_s, u"--types"_s, u"*.none"_s, t});
    // Each entry of t/sub/slow takes a while to list: time for the swap.
    p.setProcessEnvironment(WithFault(u"readdir:delay100"_s, t + u"/sub/slow"_s));
    p.start();
    QVERIFY(p.waitForStarted());
    QVERIFY(WaitForOpen(p, t + u"/sub/slow"_s));
    QVERIFY(QDir().rename(t + u"/sub"_s, t + u"/moved"_s));
    QVERIFY(QFile::link(victim, t + u"/sub"_s));
    QVERIFY(p.waitForFinished(60000));
    const QByteArray err = p.readAllStandardError();
    QCOMPARE(ReadBytes(victim + u"/"_s + name), Bytes("another folder's file"));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(err.contains("Too many levels of symbolic links"), err.constData());
}

void tst_CliSafety::liveRunsTemporariesKept() {
    // A run whose every write is slow has temporaries waiting for their commit
    // while a second run removes leftovers in the same folder.
    QTemporaryDir tmp;
    const QString t = tmp.path() + u"/t"_s;
    constexpr int Files = 40;
    for (int i = 0; i < Files; ++i)
        QVERIFY(
            WriteBytes(t + QStringLiteral("/f%1.htm").arg(i, 2, 10, QLatin1Char('0')), "a  b\n"));
    QProcess live;
    live.setProgram(QString::fromUtf8(VX_CLI_PATH));
    live.setArguments({u"optimize"_s, u"--line-breaks=crlf"_s, t});
    live.setProcessEnvironment(WithFault(u"write:delay50"_s, t));
    live.start();
    QVERIFY(live.waitForStarted());
    QElapsedTimer waited;
    waited.start();
    while (Temporaries(t).size() < 3) {
        QVERIFY2(live.state() == QProcess::Running && waited.elapsed() < 60000,
                 "the run made no temporaries");
        QThread::usleep(1000);
    }
    const CliResult second =
        RunCli({u"optimize"_s, u"--remove-leftovers"_s, u"--types"_s, u"*.none"_s, t}, tmp.path());
    QVERIFY2(second.err.contains("velocitrix-cli: deleted 0 temporary files"),
             second.err.constData());
    QVERIFY(live.waitForFinished(120000));
    const QByteArray err = live.readAllStandardError();
    QVERIFY2(err.isEmpty(), err.constData());
    QCOMPARE(live.exitCode(), 0);
    for (int i = 0; i < Files; ++i)
        QCOMPARE(ReadBytes(t + QStringLiteral("/f%1.htm").arg(i, 2, 10, QLatin1Char('0'))),
                 Bytes("a b\r\n"));
    QCOMPARE(Temporaries(t), QStringList());
}

void tst_CliSafety::failingWriteBlamesItsOwnFile() {
    // The failing file's path holds what follows another file's path in a
    // message; every rename into its folder fails.
    QTemporaryDir tmp;
    const QString t = tmp.path() + u"/t"_s;
    for (const QString& name : {u"a.htm"_s, u"a.htm!.htm"_s, u"a.htm\". Z/b.htm"_s, u"c.htm"_s})
        QVERIFY(WriteBytes(t + u"/"_s + name, "x\n"));
    const QProcessEnvironment env = WithFault(u"rename:EIO"_s, t + u"/a.htm\". Z"_s);
    const CliResult r = RunCli(
        {u"replace"_s, u"--line-breaks=crlf"_s, u"-r"_s, u"--find"_s, u"x"_s, u"--with"_s, u"xx"_s, t}, tmp.path(), env);
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
    p.setArguments({u"optimize"_s, u"--no-keep-pre"_s, u"--line-breaks=crlf"_s, t});
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

void tst_CliSafety::readsStayInTheWalkedTree_data() {
    QTest::addColumn<QStringList>("mode");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("why"); // also what was planted
    for (const char* why : {"Permission denied", "Too many levels of symbolic links"}) {
        QTest::addRow("%s, run", why) << QStringList() << 1 << why;
        QTest::addRow("%s, --check", why) << QStringList{u"--check"_s} << 3 << why;
        QTest::addRow("%s, --diff", why) << QStringList{u"--diff"_s} << 3 << why;
        QTest::addRow("%s, --dry-run --json", why)
            << QStringList{u"--dry-run"_s, u"--json"_s} << 1 << why;
    }
}

void tst_CliSafety::readsStayInTheWalkedTree() {
    // Another account's link to a root-only file in a file's place, or a walked
    // folder made a link to such a folder after it was listed (while the walk
    // of a slow second tree goes on).
    QFETCH(QStringList, mode);
    QFETCH(int, exitCode);
    QFETCH(QString, why);
    const bool swap = why.startsWith(u"Too"_s);
    if (!swap && ::geteuid() != 0)
        QSKIP("needs the superuser to give a link another owner");
    QTemporaryDir tmp;
    const QString site = tmp.path() + u"/site"_s;
    QVERIFY(WriteBytes(tmp.path() + u"/secret/x.htm"_s, "SECRET  \n"));
    QVERIFY(WriteBytes(tmp.path() + u"/slow/y.htm"_s, "y\r\n"));
    QVERIFY(WriteBytes(site + (swap ? u"/up/x.htm"_s : u"/up/ok.htm"_s), "x\r\n"));
    const auto plant = [&](const QString& target, const QString& link) {
        return ::symlink(QFile::encodeName(tmp.path() + target).constData(),
                         QFile::encodeName(site + link).constData()) == 0;
    };
    if (!swap) {
        QVERIFY(plant(u"/secret/x.htm"_s, u"/up/x.htm"_s));
        QVERIFY(::lchown(QFile::encodeName(site + u"/up/x.htm"_s).constData(), 4321, 4321) == 0);
    }
    QProcess p;
    p.setProgram(QString::fromUtf8(VX_CLI_PATH));
    p.setArguments(QStringList{u"optimize"_s, u"-r"_s} + mode + QStringList{site, u"slow"_s});
    p.setWorkingDirectory(tmp.path());
    p.setProcessEnvironment(WithFault(u"readdir:delay400"_s, tmp.path() + u"/slow"_s));
    p.start();
    QThread::msleep(500);
    if (swap)
        QVERIFY(QDir(site + u"/up"_s).removeRecursively() && plant(u"/secret"_s, u"/up"_s));
    QVERIFY(p.waitForFinished(60000));
    const QByteArray out = p.readAllStandardOutput();
    QVERIFY2(!out.contains("SECRET") && !out.contains("x.htm: ") && !out.contains("would change") &&
                 !out.contains("\"changed\": true"),
             out.constData());
    QCOMPARE(p.readAllStandardError(),
             (u"velocitrix-cli: Cannot open file \""_s + site + u"/up/x.htm\". "_s + why + u".\n"_s)
                 .toUtf8());
    QCOMPARE(p.exitCode(), exitCode);
    QCOMPARE(ReadBytes(tmp.path() + u"/secret/x.htm"_s), Bytes("SECRET  \n"));
}

void tst_CliSafety::openat2Refused_data() {
    QTest::addColumn<QString>("refusal");
    for (const char* refusal : {"EPERM", "EINVAL", "ENOSYS"})
        QTest::newRow(refusal) << QString::fromLatin1(refusal);
}

void tst_CliSafety::openat2Refused() {
    // As a seccomp filter refuses the call: the folders are opened one at a time.
    QFETCH(QString, refusal);
    QTemporaryDir tmp;
    QVERIFY(WriteBytes(tmp.path() + u"/t/sub/deeper/b.htm"_s, "c  d\n"));
    const QProcessEnvironment env = WithFault(u"openat2:"_s + refusal);
    const QStringList args{u"optimize"_s, u"--line-breaks=crlf"_s, u"-r"_s, u"t"_s};
    QCOMPARE(RunCli(args + QStringList{u"--check"_s}, tmp.path(), env).out,
             Bytes("would change: t/sub/deeper/b.htm\n"));
    QCOMPARE(RunCli(args, tmp.path(), env).err, QByteArray());
    QCOMPARE(ReadBytes(tmp.path() + u"/t/sub/deeper/b.htm"_s), Bytes("c d\r\n"));
}

void tst_CliSafety::stopWhileWalking_data() {
    QTest::addColumn<QList<int>>("stops");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("jobs");
    QTest::newRow("SIGINT") << QList<int>{SIGINT} << 130 << u"1"_s;
    QTest::newRow("SIGTERM") << QList<int>{SIGTERM} << 143 << u"1"_s;
    QTest::newRow("SIGINT twice") << QList<int>{SIGINT, SIGINT} << 130 << u"1"_s;
    // A helper walks one of the two folders.
    QTest::newRow("SIGINT, two walks") << QList<int>{SIGINT} << 130 << u"2"_s;
}

void tst_CliSafety::stopWhileWalking() {
    QFETCH(QList<int>, stops);
    QFETCH(int, exitCode);
    QFETCH(QString, jobs);
    // Each entry of the folders takes 25 ms to list: the walk alone takes 10 s.
    QTemporaryDir tmp;
    const QString site = tmp.path() + u"/site"_s;
    for (int i = 0; i < 400; ++i)
        QVERIFY(WriteBytes(site + QStringLiteral("/d%1/f%2.htm").arg(i % 2).arg(i), "a  b\n"));
    QProcess p;
    p.setProgram(QString::fromUtf8(VX_CLI_PATH));
    p.setArguments({u"optimize"_s, u"-r"_s, u"--jobs"_s, jobs, site});
    p.setProcessEnvironment(WithFault(u"readdir:delay25"_s, site));
    p.start();
    QThread::msleep(300);
    QElapsedTimer sinceStop;
    sinceStop.start();
    for (const int signal : stops) {
        QVERIFY(::kill(static_cast<pid_t>(p.processId()), signal) == 0);
        QThread::msleep(20);
    }
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(sinceStop.elapsed() < 3000, "the walk went on to its end");
    QCOMPARE(p.exitCode(), exitCode);
    QCOMPARE(Snapshot(site).values(), QList<QByteArray>(400, "a  b\n"));
}

QTEST_GUILESS_MAIN(tst_CliSafety)
#include "tst_clisafety.moc"
