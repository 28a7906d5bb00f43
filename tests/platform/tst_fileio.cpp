// Reading whole files and the system's error texts.

#include "platform/FileIO.h"
#include "platform/SystemError.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;

namespace {

void WriteRaw(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

} // namespace

class TestFileIO : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void systemErrorText_data();
    void systemErrorText();
    void readsBytes_data();
    void readsBytes();
    void readsThroughSymlink();
    void refusals_data();
    void refusals();
    void failureKeepsBuffer();
    void reuseBuffer();
};

void TestFileIO::systemErrorText_data() {
    QTest::addColumn<int>("errnum");
    QTest::addColumn<QString>("text");
    QTest::newRow("ENOENT") << ENOENT << QStringLiteral("No such file or directory");
    QTest::newRow("EACCES") << EACCES << QStringLiteral("Permission denied");
    QTest::newRow("EISDIR") << EISDIR << QStringLiteral("Is a directory");
    QTest::newRow("ENOSPC") << ENOSPC << QStringLiteral("No space left on device");
}

void TestFileIO::systemErrorText() {
    QFETCH(int, errnum);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(SystemErrorText(errnum)), text);
    QVERIFY(!SystemErrorText(99999).empty());
}

void TestFileIO::readsBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("a\r\nb\nc\r");
    QTest::newRow("NUL and high bytes") << QByteArray("\0\xff\x80\0", 4);
    QTest::newRow("large") << QByteArray(3 * 1024 * 1024 + 17, 'z');
}

void TestFileIO::readsBytes() {
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("f")).toStdString();
    const std::string expected(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    WriteRaw(path, expected);
    QCOMPARE(ReadWholeFile(path), expected);
}

void TestFileIO::readsThroughSymlink() {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("f")).toStdString();
    const std::string link = dir.filePath(QStringLiteral("l")).toStdString();
    WriteRaw(path, "via link");
    QVERIFY(::symlink(path.c_str(), link.c_str()) == 0);
    QCOMPARE(ReadWholeFile(link), "via link"s);
}

void TestFileIO::refusals_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing") << QStringLiteral("missing")
                             << QStringLiteral("No such file or directory");
    QTest::newRow("directory") << QStringLiteral("dir") << QStringLiteral("Is a directory");
    QTest::newRow("fifo") << QStringLiteral("fifo") << QStringLiteral("Invalid argument");
    QTest::newRow("character device")
        << QStringLiteral("dev") << QStringLiteral("Invalid argument");
    QTest::newRow("dangling link")
        << QStringLiteral("dangling") << QStringLiteral("No such file or directory");
}

void TestFileIO::refusals() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("x")).toStdString();
    if (kind == QStringLiteral("dir"))
        QVERIFY(::mkdir(path.c_str(), 0755) == 0);
    else if (kind == QStringLiteral("fifo"))
        QVERIFY(::mkfifo(path.c_str(), 0644) == 0);
    else if (kind == QStringLiteral("dev"))
        path = "/dev/zero"; // endless: reading it would never finish
    else if (kind == QStringLiteral("dangling"))
        QVERIFY(::symlink("nowhere", path.c_str()) == 0);
    QCOMPARE(ErrorOf([&] { ReadWholeFile(path); }),
             "Cannot open file \"" + path + "\". " + text.toStdString());
}

void TestFileIO::failureKeepsBuffer() {
    std::string buffer = "unchanged";
    QVERIFY(!ErrorOf([&] { ReadWholeFile("/x/y", buffer); }).empty());
    QCOMPARE(buffer, "unchanged"s);
    QCOMPARE(ErrorOf([&] { ReadWholeFile("/x/y"); }),
             "Cannot open file \"/x/y\". No such file or directory"s);
}

void TestFileIO::reuseBuffer() {
    QTemporaryDir dir;
    const std::string a = dir.filePath(QStringLiteral("a")).toStdString();
    const std::string b = dir.filePath(QStringLiteral("b")).toStdString();
    WriteRaw(a, std::string(10000, 'a'));
    WriteRaw(b, "short");
    std::string buffer;
    ReadWholeFile(a, buffer);
    QCOMPARE(buffer, std::string(10000, 'a'));
    ReadWholeFile(b, buffer);
    QCOMPARE(buffer, "short"s);
    ReserveBuffer(buffer, std::size_t{8} << 20);
    QVERIFY(buffer.capacity() >= (std::size_t{8} << 20));
    QCOMPARE(buffer, "short"s);
}

QTEST_GUILESS_MAIN(TestFileIO)
#include "tst_fileio.moc"
