// A path as the dialogs show it (U+FFFD for each byte that is not UTF-8) gives
// the bytes of the one file it stands for, also through the window's Load File.

#include "ModalDriver.h"

#include "app/PathBytes.h"
#include "app/Unit1.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

class TestPathBytes : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    const std::string root = QFile::encodeName(dir.path()).toStdString() + '/';
    std::vector<std::string> made; // Qt's own removal passes over these names

    // A file (a folder when name ends in "/") made under its raw bytes, as
    // another program would, without Qt's decoding in between.
    bool Make(const std::string& name, const std::string& text = {}) {
        made.push_back(root + name);
        if (name.back() == '/')
            return ::mkdir(made.back().c_str(), 0755) == 0;
        const int fd = ::open(made.back().c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
        return ::close(fd) == 0 && ok;
    }
    QString Shown(const std::string& name) const {
        return QFile::decodeName(QByteArray::fromStdString(root + name));
    }

private Q_SLOTS:
    void cleanup() {
        for (auto path = made.rbegin(); path != made.rend(); ++path)
            path->back() == '/' ? ::rmdir(path->c_str()) : ::unlink(path->c_str());
        made.clear();
    }

    void pathGivesTheFilesBytes_data() {
        QTest::addColumn<QByteArrayList>("names"); // made in this order
        QTest::addColumn<QByteArray>("meant");     // shown as the dialog shows it
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("byte 0xFF")
            << QByteArrayList{"a\xff.htm"} << QByteArray("a\xff.htm") << QByteArray("a\xff.htm");
        QTest::newRow("in such a folder") << QByteArrayList{"d\xfe/", "d\xfe/x\xff"}
                                          << QByteArray("d\xfe/x\xff") << QByteArray("d\xfe/x\xff");
        QTest::newRow("real U+FFFD first")
            << QByteArrayList{"c\xff", "c\xef\xbf\xbd"} << QByteArray("c\xef\xbf\xbd")
            << QByteArray("c\xef\xbf\xbd");
        QTest::newRow("two read alike, no guess")
            << QByteArrayList{"e\xff", "e\xfe"} << QByteArray("e\xff")
            << QByteArray("e\xef\xbf\xbd");
    }
    void pathGivesTheFilesBytes() {
        QFETCH(QByteArrayList, names);
        QFETCH(QByteArray, meant);
        QFETCH(QByteArray, expected);
        for (const QByteArray& name : names)
            QVERIFY(Make(name.toStdString()));
        QCOMPARE(PathBytesOf(Shown(meant.toStdString())), root + expected.toStdString());
    }

    void loadFileOpensSuchAFile() {
        QVERIFY(Make("page\xff.htm", "<p>raw name</p>"));
        TForm1 form;
        Form1 = &form;
        ModalDriver driver;
        driver.File(Shown("page\xff.htm"));
        form.LoadFile->click();
        Form1 = nullptr;
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(form.CurrentFileName, root + "page\xff.htm");
        QCOMPARE(form.Document().WholeText(), std::string("<p>raw name</p>"));
    }
};

QTEST_MAIN(TestPathBytes)
#include "tst_pathbytes.moc"
