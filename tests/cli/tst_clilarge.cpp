// velocitrix-cli's memory stays bounded whatever the file's size: a replacement
// whose pattern reaches across lines, over a 300 MB file, in a process of its own
// whose peak resident size is measured.

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

#ifndef VX_CLI_PATH
#error "VX_CLI_PATH names the velocitrix-cli executable"
#endif

extern char** environ;

namespace {

// The full size in a normal build; a tenth under the sanitizers, whose checks make
// every byte many times dearer (the code path is the same), and whose own
// bookkeeping (shadow memory, the quarantine of freed blocks) says nothing about
// the program's memory: there the bytes are checked, the peak only reported.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t FileSize = std::size_t{30} << 20;
constexpr bool CheckPeak = false;
#else
constexpr std::size_t FileSize = std::size_t{300} << 20;
constexpr bool CheckPeak = true;
#endif
constexpr long PeakLimitKiB = 64 << 10;

// Line i of the file (LF breaks), and what it becomes once every "</p>", line
// break, "<p>" is made "</p><p>": all lines one, with a CR LF at its end.
std::string Line(std::size_t i) {
    return "<p>item " + std::to_string(i) + "</p>";
}

// Runs the program and returns its exit status and peak resident size (KiB);
// standard input and output from and to the files named (output: /dev/null).
bool Run(const std::vector<std::string>& args, int& status, long& peakKiB,
         const std::string& input = "/dev/null", const std::string& output = "/dev/null") {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, 0, input.c_str(), O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&quiet, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0600);
    pid_t pid = 0;
    const int err = ::posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&quiet);
    if (err != 0)
        return false;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return false;
    peakKiB = usage.ru_maxrss;
    return true;
}

} // namespace

class tst_CliLarge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replaceAcrossLinesInBoundedMemory_data();
    void replaceAcrossLinesInBoundedMemory();
    void filterInBoundedMemory();
};

void tst_CliLarge::replaceAcrossLinesInBoundedMemory_data() {
    QTest::addColumn<bool>("secondName");
    QTest::newRow("one name") << false;
    // Written in place: its new and old bytes wait on the disk, not in memory.
    QTest::newRow("two names") << true;
}

void tst_CliLarge::replaceAcrossLinesInBoundedMemory() {
    QFETCH(bool, secondName);
    QTemporaryDir tmp;
    const std::string path = tmp.path().toStdString() + "/big.htm";
    const std::string link = tmp.path().toStdString() + "/link.htm";
    std::size_t lines = 0;
    {
        std::ofstream f(path, std::ios::binary);
        std::string block;
        std::size_t written = 0;
        while (written < FileSize) {
            block.clear();
            while (block.size() < (1 << 20)) {
                block += Line(lines++);
                block += '\n';
            }
            f.write(block.data(), static_cast<std::streamsize>(block.size()));
            written += block.size();
        }
        QVERIFY(f.good());
    }
    if (secondName)
        QVERIFY(::link(path.c_str(), link.c_str()) == 0);
    int status = 0;
    long peakKiB = 0;
    QVERIFY(Run({VX_CLI_PATH, "replace", "--line-breaks=crlf", "--case-sensitive", "--find",
                 "</p>\n<p>", "--with", "</p><p>", path},
                status, peakKiB));
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    qInfo("peak resident size replacing across lines in %zu MiB: %ld KiB", FileSize >> 20, peakKiB);
    if (CheckPeak)
        QVERIFY2(peakKiB < PeakLimitKiB, qPrintable(QString::number(peakKiB)));

    // One line now, compared a piece at a time.
    std::ifstream in(path, std::ios::binary);
    std::string expected;
    std::string actual;
    for (std::size_t i = 0; i <= lines; ++i) {
        if (i < lines)
            expected += Line(i);
        else
            expected += "\r\n";
        if (expected.size() < (1 << 20) && i < lines)
            continue;
        actual.resize(expected.size());
        in.read(actual.data(), static_cast<std::streamsize>(expected.size()));
        QVERIFY(in.gcount() == static_cast<std::streamsize>(expected.size()));
        QVERIFY(std::equal(expected.begin(), expected.end(), actual.begin()));
        expected.clear();
    }
    QVERIFY(in.peek() == std::char_traits<char>::eof());
    struct stat st {};
    QVERIFY(::stat(path.c_str(), &st) == 0);
    QCOMPARE(st.st_nlink, nlink_t(secondName ? 2 : 1));
}

// "optimize -" over about 100 MB of standard input: the output is the optimized
// text, and the peak stays as small as for a file.
void tst_CliLarge::filterInBoundedMemory() {
    QTemporaryDir tmp;
    const std::string in = tmp.path().toStdString() + "/in.htm";
    const std::string out = tmp.path().toStdString() + "/out.htm";
    const std::size_t size = FileSize / 3;
    std::size_t lines = 0;
    {
        std::ofstream f(in, std::ios::binary);
        std::string block;
        for (std::size_t written = 0; written < size; written += block.size()) {
            block.clear();
            while (block.size() < (1 << 20))
                block += "   " + Line(lines++) + "  \t\n\n";
            f.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        QVERIFY(f.good());
    }
    int status = 0;
    long peakKiB = 0;
    QVERIFY(Run({VX_CLI_PATH, "optimize", "--no-keep-pre", "--line-breaks=crlf", "-"}, status,
                peakKiB, in, out));
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    qInfo("peak resident size optimizing %zu MiB from standard input: %ld KiB", size >> 20,
          peakKiB);
    if (CheckPeak)
        QVERIFY2(peakKiB < PeakLimitKiB, qPrintable(QString::number(peakKiB)));
    std::ifstream result(out, std::ios::binary);
    std::string line;
    for (std::size_t i = 0; i < lines; ++i) {
        QVERIFY(std::getline(result, line));
        QVERIFY2(line == Line(i) + "\r", line.c_str());
    }
    QVERIFY(result.peek() == std::char_traits<char>::eof());
}

QTEST_APPLESS_MAIN(tst_CliLarge)
#include "tst_clilarge.moc"
