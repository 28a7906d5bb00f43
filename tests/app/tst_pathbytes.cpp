// Names that are not valid UTF-8 reach their files: a path as Qt shows it (U+FFFD
// for each bad sequence) gives the bytes of the one file it stands for, also
// through the window's Load File.

#include "ModalDriver.h"

#include "app/PathBytes.h"
#include "app/Unit1.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Makes a file (or, for a name ending in "/", a folder) under its raw bytes, as
// another program would, without Qt's decoding in between; made lists it.
bool Make(std::vector<std::string>& made, const std::string& path,
          const std::string& text = std::string()) {
    made.push_back(path);
    if (!path.empty() && path.back() == '/')
        return ::mkdir(path.c_str(), 0755) == 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && written;
}

// A path as the dialog shows it.
QString Shown(const std::string& bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

} // namespace

class TestPathBytes : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::vector<std::string> made;
    std::string Root() const { return QFile::encodeName(dir->path()).toStdString() + '/'; }

private Q_SLOTS:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }
    // Qt's own removal passes over the names it cannot read.
    void cleanup() {
        for (auto path = made.rbegin(); path != made.rend(); ++path)
            path->back() == '/' ? ::rmdir(path->c_str()) : ::unlink(path->c_str());
        made.clear();
        dir.reset();
    }

    void pathGivesTheFilesBytes_data() {
        QTest::addColumn<QStringList>("names"); // raw names, as Latin-1 bytes
        QTest::addColumn<QString>("typed");     // the path after the folder, as bytes
        QTest::addColumn<QString>("expected");  // the bytes wanted, after the folder
        const auto b = [](const char* s) {
            return QString::fromLatin1(s);
        };
        QTest::newRow("valid name") << QStringList{b("a.htm")} << b("a.htm") << b("a.htm");
        QTest::newRow("byte 0xFF") << QStringList{b("a\xff"
                                                    "b.htm")}
                                   << b("a\xff"
                                        "b.htm")
                                   << b("a\xff"
                                        "b.htm");
        QTest::newRow("in a folder of such a name")
            << QStringList{b("d\xfe/"), b("d\xfe/x\xff.htm")} << b("d\xfe/x\xff.htm")
            << b("d\xfe/x\xff.htm");
        // A name that really holds U+FFFD is the one meant by its own text.
        QTest::newRow("real U+FFFD first") << QStringList{b("c\xff"), b("c\xef\xbf\xbd")}
                                           << b("c\xef\xbf\xbd") << b("c\xef\xbf\xbd");
        QTest::newRow("two read alike")
            << QStringList{b("e\xff"), b("e\xfe")} << b("e\xff") << b("e\xef\xbf\xbd");
        QTest::newRow("no such name") << QStringList{} << b("n\xff") << b("n\xef\xbf\xbd");
    }
    void pathGivesTheFilesBytes() {
        QFETCH(QStringList, names);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        for (const QString& name : names)
            QVERIFY(Make(made, Root() + name.toLatin1().toStdString()));
        const std::string path = Root() + typed.toLatin1().toStdString();
        QCOMPARE(PathBytesOf(Shown(path)), Root() + expected.toLatin1().toStdString());
    }

    void loadFileOpensSuchAFile() {
        const std::string path = Root() + "page\xff.htm";
        QVERIFY(Make(made, path, "<p>raw name</p>"));
        TForm1 form;
        Form1 = &form;
        ModalDriver driver;
        driver.File(Shown(path));
        form.LoadFile->click();
        Form1 = nullptr;
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(form.CurrentFileName, path);
        QCOMPARE(form.Document().WholeText(), std::string("<p>raw name</p>"));
    }
};

QTEST_MAIN(TestPathBytes)
#include "tst_pathbytes.moc"
