// velocitrix-cli and the main window's directory commands on two copies of one
// tree: "Load Dir", "Optimize Dir" (or "Change Dir") and "Save All" in the real
// window, the CLI on the copy; the files must come out byte for byte the same,
// the list in the same order, and the bytes saved the same.

#include "CliRunner.h"
#include "app/ModalDriver.h"

#include "app/Unit1.h"

#include <QAction>
#include <QCheckBox>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <memory>

using namespace cli_test;
using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Velocitrix Website Optimizer"_s;

// Web files of every shape the rules meet, in a few directories, and some that
// no default mask matches.
void MakeTree(const QString& root) {
    const QByteArray texts[] = {
        "<html>\n  <body>   \t<p>Hello</p>\n\n  </body>\n</html>",
        "body {\r\n\tmargin:  0;\r\n\t\tpadding : 0 ;  \r\n}\r\n",
        "",
        "\n",
        " \t \r\n\r\n",
        "<?php\r  echo  'a';\r\r?>\r",
        "\t<pre>  keep  </pre>\n\r\rtext \n",
        "A link: <a HREF=\"x\">x</a>\nhref  href\tHref\r\nend",
        "x",
        "caf\xc3\xa9  \xa0 \tn\xe9"
        "e \n",
    };
    const char* names[] = {"index.htm", "Style.CSS", "empty.php",   "a.html",  "blank.shtml",
                           "s.php3",    "pre.html",  "links.xhtml", "one.asp", "latin.jsp"};
    const char* dirs[] = {"", "/sub", "/sub/deep", "/Other"};
    for (int d = 0; d < 4; ++d) {
        for (int i = 0; i < 10; ++i) {
            const QString path =
                root + QLatin1String(dirs[d]) + u'/' + QLatin1String(names[(i + d) % 10]);
            WriteBytes(path, texts[(i * 3 + d) % 10]);
        }
        WriteBytes(root + QLatin1String(dirs[d]) + u"/notes.txt"_s, "  not  a web file \n");
    }
}

QJsonObject ParseJson(const QByteArray& out) {
    return QJsonDocument::fromJson(out).object();
}

} // namespace

class tst_CliGui : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TForm1> form;

    template <typename T = QWidget> T* W(const char* name) const {
        return form->findChild<T*>(QString::fromUtf8(name));
    }

    // Presses a button that answers with one message box; returns its text.
    QString PressForMessage(const char* button) {
        ModalDriver driver;
        auto message = driver.Message();
        W<QPushButton>(button)->click();
        if (!driver.Done())
            qWarning("%s", qPrintable(driver.Failures()));
        return message->text;
    }

    // "Load Dir" on dir with subdirectories; returns the listed paths.
    QStringList LoadDir(const QString& dir) {
        W<QCheckBox>("CheckBox1")->setChecked(true);
        ModalDriver driver;
        driver.File(dir + u"/Directory"_s);
        W<QPushButton>("LoadDir")->click();
        if (!QTest::qWaitFor([&] { return W<QPushButton>("LoadDir")->isEnabled(); }, 60000))
            qWarning("the scan did not end");
        if (!driver.Done())
            qWarning("%s", qPrintable(driver.Failures()));
        QStringList listed;
        const QAbstractItemModel* model = W<QListView>("ListBox1")->model();
        for (int row = 0; row < model->rowCount(); ++row)
            listed << model->index(row, 0).data().toString();
        return listed;
    }

    static QStringList CliPaths(const QJsonObject& report, const QString& from, const QString& to) {
        QStringList paths;
        for (const QJsonValue v : report.value(u"files"_s).toArray())
            paths << v.toObject().value(u"path"_s).toString().replace(from, to);
        return paths;
    }

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(kTitle); }
    void init() {
        form = std::make_unique<TForm1>();
        Form1 = form.get();
    }
    void cleanup() {
        Form1 = nullptr;
        form.reset();
    }

    // The window's defaults, and velocitrix-cli's (preformatted text kept, each
    // file's line breaks as in the file) chosen in the window.
    void optimizeSameAsWindow_data() {
        QTest::addColumn<bool>("cliDefaults");
        QTest::newRow("window's defaults") << false;
        QTest::newRow("velocitrix-cli's defaults") << true;
    }
    void optimizeSameAsWindow() {
        QFETCH(bool, cliDefaults);
        QTemporaryDir tmp;
        const QString gui = tmp.path() + u"/gui"_s;
        const QString cli = tmp.path() + u"/cli"_s;
        MakeTree(gui);
        MakeTree(cli);
        QCOMPARE(Snapshot(cli), Snapshot(gui));

        const QStringList listed = LoadDir(gui);
        QCOMPARE(listed.size(), 40);
        form->findChild<QAction*>(u"KeepPre1"_s)->setChecked(cliDefaults);
        form->findChild<QAction*>(cliDefaults ? u"KeepBreaks1"_s : u"CrLfBreaks1"_s)
            ->setChecked(true);
        const QString optimized = PressForMessage("OptDir");
        QCOMPARE(optimized.startsWith(u"<pre> tags have been detected in the following file(s):"_s),
                 !cliDefaults);
        QCOMPARE(PressForMessage("SaveAll"), u"All Files have been saved."_s);

        QStringList args{u"optimize"_s, u"--recursive"_s, u"--json"_s};
        if (!cliDefaults)
            args << u"--no-keep-pre"_s << u"--line-breaks=crlf"_s;
        const CliResult r = RunCli(args << cli);
        QCOMPARE(r.exitCode, 0);
        const QJsonObject report = ParseJson(r.out);
        QCOMPARE(CliPaths(report, cli, gui), listed);
        QCOMPARE(Snapshot(cli), Snapshot(gui));
        const qint64 saved = report.value(u"total"_s).toObject().value(u"saved"_s).toInteger();
        QCOMPARE(W<QLabel>("Label4")->text(), QString::number(saved) + u" bytes"_s);
        // Every file the window warned about, and only those, the CLI warns about.
        for (const QJsonValue v : report.value(u"files"_s).toArray()) {
            const QJsonObject f = v.toObject();
            const QString path = f.value(u"path"_s).toString().replace(cli, gui);
            QCOMPARE(optimized.contains(path + u", "_s), f.value(u"pre"_s).toBool());
        }
    }

    void keptPreformattedSameAsWindow() {
        // A sheet the page links inside the listed folder is read; one outside it is
        // not, by the window and by velocitrix-cli alike. (CR LF breaks: whatever
        // style each writes.)
        QTemporaryDir tmp;
        const QByteArray page = "<link rel=\"stylesheet\" href=\"css/d.css?v=2\">\r\n"
                                "<div class=\"line\">  int  x;</div>\r\n"
                                "<link rel=stylesheet href=\"../out.css\"><p class=o>  a  </p>\r\n";
        for (const QString& side : {u"/gui"_s, u"/cli"_s}) {
            WriteBytes(tmp.path() + side + u"/site/a.html"_s, page);
            WriteBytes(tmp.path() + side + u"/site/css/d.css"_s, "div.line{white-space:pre-wrap}");
            WriteBytes(tmp.path() + side + u"/out.css"_s, ".o{white-space:pre}");
        }
        // The window remembers the switch at its close: it is put back for the tests after.
        QAction* keep = W<QAction>("KeepPre1");
        keep->setChecked(true);
        const std::unique_ptr<QAction, void (*)(QAction*)> putBack(
            keep, [](QAction* a) { a->setChecked(false); });
        QCOMPARE(LoadDir(tmp.path() + u"/gui/site"_s).size(), 2);
        PressForMessage("OptDir");
        QCOMPARE(PressForMessage("SaveAll"), u"All Files have been saved."_s);
        const CliResult r =
            RunCli({u"optimize"_s, u"--recursive"_s, u"--keep-pre"_s, tmp.path() + u"/cli/site"_s});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(Snapshot(tmp.path() + u"/cli"_s), Snapshot(tmp.path() + u"/gui"_s));
        QFile out(tmp.path() + u"/cli/site/a.html"_s);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), QByteArray("<link rel=\"stylesheet\" href=\"css/d.css?v=2\">\r\n"
                                           "<div class=\"line\">  int  x;</div>\r\n"
                                           "<link rel=stylesheet href=\"../out.css\"><p class=o> a "
                                           "</p>\r\n"));
    }

    void replaceSameAsWindow_data() {
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("with");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<bool>("keepBreaks"); // each file's own, velocitrix-cli's default
        QTest::newRow("ignoring case") << u"href"_s << u"HREF=\"y\" "_s << false << false;
        QTest::newRow("case-sensitive") << u"href"_s << u""_s << true << false;
        QTest::newRow("over a line break") << u"a>\nhref"_s << u"1\n2"_s << false << false;
        QTest::newRow("empty find") << u""_s << u"x"_s << false << false;
        QTest::newRow("each file's breaks") << u"a>\nhref"_s << u"1\n2"_s << false << true;
    }

    void replaceSameAsWindow() {
        QFETCH(QString, find);
        QFETCH(QString, with);
        QFETCH(bool, caseSensitive);
        QFETCH(bool, keepBreaks);
        QTemporaryDir tmp;
        const QString gui = tmp.path() + u"/gui"_s;
        const QString cli = tmp.path() + u"/cli"_s;
        MakeTree(gui);
        MakeTree(cli);

        const QStringList listed = LoadDir(gui);
        QCOMPARE(listed.size(), 40);
        W<QPlainTextEdit>("Memo2")->setPlainText(find);
        W<QPlainTextEdit>("Memo3")->setPlainText(with);
        W<QCheckBox>("CheckBox2")->setChecked(caseSensitive);
        form->findChild<QAction*>(keepBreaks ? u"KeepBreaks1"_s : u"CrLfBreaks1"_s)
            ->setChecked(true);
        QCOMPARE(PressForMessage("Button1"),
                 u"All files have been modified, you can save them now."_s);
        QCOMPARE(PressForMessage("SaveAll"), u"All Files have been saved."_s);

        QStringList args{u"replace"_s, u"-r"_s, u"--json"_s, u"--find"_s, find, u"--with"_s, with};
        if (caseSensitive)
            args << u"--case-sensitive"_s;
        if (!keepBreaks)
            args << u"--line-breaks=crlf"_s;
        const CliResult r = RunCli(args << cli);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(CliPaths(ParseJson(r.out), cli, gui), listed);
        QCOMPARE(Snapshot(cli), Snapshot(gui));
    }
};

QTEST_MAIN(tst_CliGui)
#include "tst_cligui.moc"
