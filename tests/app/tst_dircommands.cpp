// The main window's directory commands driven as a user drives them, on temporary
// trees: "Load Dir" through its dialog and a real scan, the batch commands through
// their buttons, the list and its caption panel by mouse and keyboard.

#include "CommandFlags.h"
#include "ModalDriver.h"

#include "app/FileListModel.h"
#include "app/Unit1.h"
#include "platform/TempNames.h"
#include "scanner/FScanner.h"
#include "settings/FileTypeLists.h"
#include "text/Optimizer.h"
#include "text/ReplaceText.h"
#include "text/TextDocument.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWindow>

#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QString kTitle = QStringLiteral("Velocitrix Website Optimizer");
const QString kNoFiles = QStringLiteral("No Files to modify found in the specified directory!");
const QString kCounting =
    QStringLiteral("] Files that are going to be modified: (Click panel to hide, file to view)");
const QString kOptimizedCaption = QStringLiteral(
    "All Files have been optimized, you can save them now. (Click panel to hide, file to view)");
const QString kChangedCaption = QStringLiteral(
    "All files have been modified, you can save them now. (Click panel to hide, file to view)");
const QString kSavedCaption =
    QStringLiteral("All Files have been saved. (Click panel to hide, file to view)");
const QString kOptimizedMessage =
    QStringLiteral("All Files have been optimized, you can save them now.");
const QString kChangedMessage =
    QStringLiteral("All files have been modified, you can save them now.");
const QString kSavedMessage = QStringLiteral("All Files have been saved.");
const QString kPreStart = QStringLiteral("<pre> tags have been detected in the following file(s):");
const QString kPreEnd =
    QStringLiteral("The Velocitrix Website Optimizer could damage text within the <pre></pre> "
                   "tags, only save if you are sure about the consequences.");
const char* const kTypes = "*.htm;*.html;*.php;*.css";

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

QByteArray Bytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Std(const QString& s) {
    return s.toUtf8().toStdString();
}

// What the window's text for a file must be, worked out on a document of its own.
struct Expect {
    TextDocument doc;
    explicit Expect(const QString& path) {
        doc.SetCharLimit(TextDocument::FileCharLimit);
        doc.ReadFromFile(Std(path));
    }
    explicit Expect(const std::string& text) { doc.SetWholeText(text); }
    OptimizeRun Optimize() { return OptimizeDocument(doc); }
    void Change(const std::string& from, const std::string& to, bool sensitive) {
        doc.SetWholeText(ReplaceText(doc.WholeText(), from, to, sensitive));
    }
    // What "Save All" writes for it.
    QByteArray Saved() {
        doc.AssignLines(std::string(doc.WholeText()));
        return Bytes(doc.WholeText());
    }
    QByteArray Text() const { return Bytes(doc.WholeText()); }
};

const QString kStopQuestion = QStringLiteral("A command is running. Stop it and close the window?");

// Runs a batch command as a user on a busy machine does: every round of events
// takes 60 ms, and the disk is slow (tst_dircommands_slowdisk), so the command
// outlasts the half second before its progress dialog shows. When the dialog
// shows, it presses Cancel, or asks the window to close and answers the question.
class BatchDriver : public QObject {
public:
    enum Action { Cancel, Escape, CloseBox, CloseNo, CloseYes, LetItEnd };
    BatchDriver(QWidget* window, Action action) : window_(window), action_(action) {
        slow_.setInterval(0);
        connect(&slow_, &QTimer::timeout, this, [] { QThread::msleep(60); });
        poll_.setInterval(10);
        connect(&poll_, &QTimer::timeout, this, [this] { Poll(); });
        slow_.start();
        poll_.start();
    }

    QString progressText; // the progress dialog's label when it showed
    Flags during;         // the window's availability meanwhile
    QString question;
    QStringList messages;             // every other message box
    bool progressWithMessage = false; // a progress dialog was still shown beside one
    bool windowBlocked = false;       // the progress kept the window manager's close away

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            modal = window_->findChild<QProgressDialog*>();
        if (modal == nullptr || !modal->isVisible() || modal == handled_)
            return;
        handled_ = modal;
        if (auto* progress = qobject_cast<QProgressDialog*>(modal)) {
            progressText = progress->findChild<QLabel*>()->text();
            during = StateOf(window_);
            windowBlocked = QGuiApplication::modalWindow() != nullptr;
            if (action_ == LetItEnd)
                return;
            QPointer<QWidget> window(window_);
            QPointer<QProgressDialog> box(progress);
            const Action action = action_;
            QTimer::singleShot(0, this, [window, box, action] {
                if (!window || !box)
                    return;
                if (action == Cancel)
                    box->findChild<QPushButton*>()->click();
                else if (action == Escape)
                    QTest::keyClick(box, Qt::Key_Escape);
                else if (action == CloseBox)
                    box->windowHandle()->close(); // as the window system asks it
                else
                    window->close();
            });
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            const bool asked = box->text() == kStopQuestion;
            for (auto* progress : window_->findChildren<QProgressDialog*>())
                progressWithMessage = progressWithMessage || progress->isVisible();
            if (asked)
                question = box->text();
            else
                messages << box->text();
            const auto answer = !asked                ? QMessageBox::Ok
                                : action_ == CloseYes ? QMessageBox::Yes
                                                      : QMessageBox::No;
            QPointer<QMessageBox> target(box);
            QTimer::singleShot(0, this, [target, answer] {
                if (target && target->button(answer))
                    target->button(answer)->click();
            });
        }
    }

    QWidget* window_;
    Action action_;
    QTimer slow_;
    QTimer poll_;
    QPointer<QWidget> handled_;
};

} // namespace

class TestDirCommands : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;
    std::unique_ptr<QTemporaryDir> dir;

    template <typename T = QWidget> T* W(const char* name) const {
        T* w = form->findChild<T*>(QString::fromUtf8(name));
        if (w == nullptr)
            qWarning("no control %s", name);
        return w;
    }
    QString Path(const QString& rel) const { return dir->path() + u'/' + rel; }
    QListView* List() const { return W<QListView>("ListBox1"); }

    Flags State() const { return StateOf(form.get()); }
    QStringList Listed() const {
        QStringList rows;
        for (std::size_t i = 0; i < form->FileList().Count(); ++i)
            rows << QString::fromStdString(form->FileList().Entry(i));
        return rows;
    }
    QByteArray ViewBytes() const { return Bytes(form->Document().WholeText()); }
    QString Panel() const { return W<QLabel>("Panel1")->text(); }

    // "Load Dir" answering its dialog with name; waits for the scan's end.
    // Returns the name the dialog proposed.
    QString LoadDir(const QString& name, bool recursive = true) {
        W<QCheckBox>("CheckBox1")->setChecked(recursive);
        ModalDriver driver;
        auto step = driver.File(name);
        W<QPushButton>("LoadDir")->click();
        [&] {
            QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        }();
        [&] {
            QVERIFY(QTest::qWaitFor([&] { return !form->BaseScanner1->IsScanning(); }, 30000));
        }();
        return step->proposed;
    }
    // Presses a button that answers with one plain message box; returns its text.
    QString Press(const char* button) {
        ModalDriver driver;
        auto message = driver.Message();
        W<QPushButton>(button)->click();
        [&] {
            QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        }();
        [&] {
            QCOMPARE(message->title, kTitle);
        }();
        [&] {
            QCOMPARE(message->icon, int(QMessageBox::NoIcon));
        }();
        return message->text;
    }
    // Presses a button that fails; returns the error box's text.
    QString PressForError(const char* button) {
        ModalDriver driver;
        auto message = driver.Message();
        W<QPushButton>(button)->click();
        [&] {
            QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        }();
        [&] {
            QCOMPARE(message->icon, int(QMessageBox::Critical));
        }();
        return message->text;
    }
    void ClickRow(int row) {
        const QRect place = List()->visualRect(List()->model()->index(row, 0));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, place.center());
    }
    // Files a.htm, b.htm, c.htm ... in the temporary folder, with the given texts.
    QStringList MakeFiles(const QList<QByteArray>& texts) {
        QStringList paths;
        for (int i = 0; i < texts.size(); ++i) {
            paths << Path(QString(QChar(u'a' + i)) + QStringLiteral(".htm"));
            if (!WriteFile(paths.back(), texts[i]))
                qWarning("cannot write %s", qPrintable(paths.back()));
        }
        return paths;
    }

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(kTitle); }
    void init() {
        // Under the slow-disk run (see CMakeLists.txt) the tree lies where every
        // write takes longer.
        const QString slowDisk = qEnvironmentVariable("VX_FAULT_DIR");
        dir = slowDisk.isEmpty()
                  ? std::make_unique<QTemporaryDir>()
                  : std::make_unique<QTemporaryDir>(slowDisk + QStringLiteral("XXXXXX"));
        QVERIFY(dir->isValid());
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        FileTypes = kTypes; // after the start-up read of the store
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void cleanup() {
        Form1 = nullptr;
        form.reset();
        dir.reset();
    }

    // --- Load Dir ------------------------------------------------------------------

    void chosenNameGivesTheFolder_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("preset name") << QStringLiteral("Directory");
        QTest::newRow("existing file") << QStringLiteral("b.htm");
        QTest::newRow("other file") << QStringLiteral("notes.txt");
    }
    void chosenNameGivesTheFolder() {
        QFETCH(QString, name);
        QVERIFY(WriteFile(Path(QStringLiteral("b.htm")), "b"));
        QVERIFY(WriteFile(Path(QStringLiteral("A.html")), "a"));
        QVERIFY(WriteFile(Path(QStringLiteral("notes.txt")), "n"));
        QVERIFY(WriteFile(Path(QStringLiteral("sub/c.htm")), "c"));
        const QString proposed = LoadDir(Path(name), false);
        QCOMPARE(QFileInfo(proposed).fileName(), QStringLiteral("Directory"));
        QCOMPARE(Std(QString::fromStdString(form->BaseScanner1->Directory())),
                 Std(dir->path() + u'/'));
        QCOMPARE(Listed(),
                 (QStringList{Path(QStringLiteral("A.html")), Path(QStringLiteral("b.htm"))}));
        QCOMPARE(form->BaseScanner1->Files(), std::string(kTypes));
        QVERIFY(!form->BaseScanner1->Recursive());
        // The next Load Dir offers the full name chosen last.
        QCOMPARE(LoadDir(Path(QStringLiteral("sub/Directory"))), Path(name));
        QCOMPARE(Listed(), QStringList{Path(QStringLiteral("sub/c.htm"))});
        QVERIFY(form->BaseScanner1->Recursive());
    }

    void cancelledDialogChangesNothing() {
        const QStringList paths = MakeFiles({"x\n", "y\n"});
        LoadDir(Path(QStringLiteral("Directory")));
        ClickRow(0);
        const Flags before = State();
        ModalDriver driver;
        driver.CancelFile();
        W<QPushButton>("LoadDir")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(Listed(), paths);
        QCOMPARE(ViewBytes(), QByteArray("x\r\n"));
        QCOMPARE(State(), before);
    }

    void oneSlashBetweenFolderAndName() {
        QVERIFY(WriteFile(Path(QStringLiteral("top.htm")), "1"));
        QVERIFY(WriteFile(Path(QStringLiteral("sub/deep/low.htm")), "2"));
        LoadDir(Path(QStringLiteral("Directory")));
        const QStringList rows = Listed();
        QCOMPARE(rows, (QStringList{Path(QStringLiteral("sub/deep/low.htm")),
                                    Path(QStringLiteral("top.htm"))}));
        for (const QString& row : rows)
            QVERIFY2(!row.contains(QStringLiteral("//")), qPrintable(row));
    }

    void listOrder_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("case ignored")
            << QStringList{QStringLiteral("b.htm"), QStringLiteral("C.htm"),
                           QStringLiteral("a.htm")}
            << QStringList{QStringLiteral("a.htm"), QStringLiteral("b.htm"),
                           QStringLiteral("C.htm")};
        QTest::newRow("dot and slash before digits and letters")
            << QStringList{QStringLiteral("a0.htm"), QStringLiteral("a/x.htm"),
                           QStringLiteral("a.htm"), QStringLiteral("A-b.htm")}
            << QStringList{QStringLiteral("A-b.htm"), QStringLiteral("a.htm"),
                           QStringLiteral("a/x.htm"), QStringLiteral("a0.htm")};
        QTest::newRow("underscore before letters")
            << QStringList{QStringLiteral("B.htm"), QStringLiteral("_z.htm"),
                           QStringLiteral("[1].htm")}
            << QStringList{QStringLiteral("[1].htm"), QStringLiteral("_z.htm"),
                           QStringLiteral("B.htm")};
    }
    void listOrder() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, order);
        for (const QString& f : files)
            QVERIFY(WriteFile(Path(f), "x"));
        LoadDir(Path(QStringLiteral("Directory")));
        QStringList expected;
        for (const QString& f : order)
            expected << Path(f);
        QCOMPARE(Listed(), expected);
        for (int row = 0; row < expected.size(); ++row)
            QCOMPARE(List()->model()->index(row, 0).data().toString(), expected[row]);
        QVERIFY(List()->uniformItemSizes());
    }

    void panelCountsTheFilesFound() {
        for (int i = 0; i < 12; ++i)
            QVERIFY(WriteFile(Path(QStringLiteral("d%1/f%2.htm").arg(i % 3).arg(i)), "x"));
        // Each file event as the window gets it, and the caption right after it.
        QStringList captions;
        auto found = form->BaseScanner1->OnFileFound;
        form->BaseScanner1->OnFileFound = [&](const std::string& n, const std::string& p,
                                              std::int32_t a, std::int32_t s, double t) {
            found(n, p, a, s, t);
            captions << Panel();
        };
        LoadDir(Path(QStringLiteral("Directory")));
        QCOMPARE(captions.size(), 12);
        for (int i = 0; i < captions.size(); ++i)
            QCOMPARE(captions[i], QStringLiteral("[%1").arg(i + 1) + kCounting);
        QCOMPARE(Panel(), QStringLiteral("[12") + kCounting);
        QCOMPARE(State(), Row("xx.x...xxxxx."));
    }

    void nothingFound_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("types");
        QTest::newRow("empty folder") << QStringLiteral("empty") << QString::fromUtf8(kTypes);
        QTest::newRow("no matching type") << QStringLiteral("other") << QString::fromUtf8(kTypes);
        QTest::newRow("every type off") << QStringLiteral("web") << QString();
        QTest::newRow("folder missing") << QStringLiteral("missing") << QString::fromUtf8(kTypes);
    }
    void nothingFound() {
        QFETCH(QString, folder);
        QFETCH(QString, types);
        QVERIFY(QDir().mkpath(Path(QStringLiteral("empty"))));
        QVERIFY(WriteFile(Path(QStringLiteral("other/a.txt")), "x"));
        QVERIFY(WriteFile(Path(QStringLiteral("web/a.htm")), "x"));
        // Something listed and shown before, which the new scan must take away.
        QVERIFY(WriteFile(Path(QStringLiteral("before/z.htm")), "old\n"));
        LoadDir(Path(QStringLiteral("before/Directory")));
        ClickRow(0);
        QCOMPARE(ViewBytes(), QByteArray("old\r\n"));
        FileTypes = Std(types);
        LoadDir(Path(folder + QStringLiteral("/Directory")));
        QCOMPARE(Listed(), QStringList());
        QCOMPARE(ViewBytes(), QByteArray());
        QCOMPARE(W<QPlainTextEdit>("RichEdit1")->toPlainText(), QString());
        QCOMPARE(Panel(), kNoFiles);
        QCOMPARE(State(), Row("xx......xx.x."));
    }

    void secondLoadDirStartsAfresh() {
        const QStringList paths = MakeFiles({"one  two\n", "three\n"});
        LoadDir(Path(QStringLiteral("Directory")));
        QCOMPARE(Press("OptDir"), kOptimizedMessage);
        QVERIFY(form->Batch().TextsReady());
        QVERIFY(WriteFile(paths[0], "  changed  on  disk\n"));
        // The list and the view are emptied as soon as the dialog is confirmed,
        // before the scan reports anything.
        W<QCheckBox>("CheckBox1")->setChecked(false);
        {
            ModalDriver driver;
            driver.File(Path(QStringLiteral("Directory")));
            W<QPushButton>("LoadDir")->click();
            QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        }
        QCOMPARE(form->FileList().Count(), std::size_t(0));
        QCOMPARE(ViewBytes(), QByteArray());
        QVERIFY(!form->Batch().TextsReady());
        QCOMPARE(Panel(), kNoFiles);
        QCOMPARE(State(), Row("............."));
        QVERIFY(QTest::qWaitFor([&] { return !form->BaseScanner1->IsScanning(); }, 30000));
        QCOMPARE(Listed(), paths);
        QCOMPARE(State(), Row("xx.x...xxxxx."));
        // The next batch command reads the files again.
        QCOMPARE(Press("OptDir"), kOptimizedMessage);
        QCOMPARE(Bytes(form->Batch().Texts()[0]), QByteArray("changed on disk\r\n"));
    }

    // --- Optimize Dir, Change Dir, Save All --------------------------------------------

    void optimizeDir() {
        const QList<QByteArray> texts = {"  <p>  a \t b  </p>  \n\n   \n", "", "x", "tail  \r\n",
                                         "\t\tlast  line\rmore  \n"};
        const QStringList paths = MakeFiles(texts);
        LoadDir(Path(QStringLiteral("Directory")));
        QCOMPARE(Press("OptDir"), kOptimizedMessage);
        std::size_t saved = 0;
        QCOMPARE(form->Batch().Texts().size(), std::size_t(paths.size()));
        for (int i = 0; i < paths.size(); ++i) {
            Expect e(paths[i]);
            const OptimizeRun run = e.Optimize();
            saved += run.Saved();
            QCOMPARE(Bytes(form->Batch().Texts()[std::size_t(i)]), e.Text());
        }
        QCOMPARE(Bytes(form->Batch().Texts()[0]), QByteArray("<p> a b </p>\r\n"));
        QCOMPARE(Bytes(form->Batch().Texts()[1]), QByteArray()); // empty: stored empty
        QVERIFY(saved > 0);
        QCOMPARE(W<QLabel>("Label4")->text(), QString::number(saved) + QStringLiteral(" bytes"));
        QCOMPARE(Panel(), kOptimizedCaption);
        QCOMPARE(State(), Row("xx...x.xxxxxx"));
        QVERIFY(form->Batch().TextsReady());
        QCOMPARE(List()->currentIndex().row(), paths.size() - 1);
        QCOMPARE(ViewBytes(), Bytes(form->Batch().Texts().back()));
        QCOMPARE(W<QPlainTextEdit>("RichEdit1")->toPlainText(),
                 QStringLiteral("last line\nmore\n"));
        // Nothing was written yet.
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(ReadFile(paths[i]), texts[i]);

        QCOMPARE(Press("SaveAll"), kSavedMessage);
        for (int i = 0; i < paths.size(); ++i) {
            Expect e(paths[i]); // the file as saved, read back: unchanged by a new pass
            QCOMPARE(ReadFile(paths[i]), Expect(form->Batch().Texts()[std::size_t(i)]).Saved());
        }
        QCOMPARE(ReadFile(paths[1]), QByteArray());
        QCOMPARE(ReadFile(paths[2]), QByteArray("x\r\n"));
        QCOMPARE(Panel(), kSavedCaption);
        QCOMPARE(State(), Row("xx.....xxxxxx"));
        QVERIFY(!form->Batch().TextsReady());
        QCOMPARE(ViewBytes(), ReadFile(paths.back()));
        // No temporary file is left beside the saved ones.
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden).size(), paths.size());
    }

    void preWarningListsFilesInOrder() {
        const QStringList paths = MakeFiles(
            {"<pre> a </pre>\n", "no tag\n", "<PRE>caps</PRE>\n", " x <pre>\n", "", "<pre>"});
        LoadDir(Path(QStringLiteral("Directory")));
        const QString message = Press("OptDir");
        QCOMPARE(message, kPreStart + paths[0] + QStringLiteral(", ") + paths[3] +
                              QStringLiteral(", ") + paths[5] + QStringLiteral(", ") + kPreEnd);
        QCOMPARE(Panel(), kOptimizedCaption);
    }

    void changeDir_data() {
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("with");
        QTest::addColumn<bool>("sensitive");
        QTest::newRow("ignoring case") << QStringLiteral("ab") << QStringLiteral("X") << false;
        QTest::newRow("exact case") << QStringLiteral("ab") << QStringLiteral("X") << true;
        QTest::newRow("delete") << QStringLiteral("b") << QString() << false;
        QTest::newRow("over a line break")
            << QStringLiteral("b\nc") << QStringLiteral("-") << false;
        QTest::newRow("no match") << QStringLiteral("zzz") << QStringLiteral("y") << false;
        QTest::newRow("empty pattern") << QString() << QStringLiteral("y") << false;
    }
    void changeDir() {
        QFETCH(QString, find);
        QFETCH(QString, with);
        QFETCH(bool, sensitive);
        const QList<QByteArray> texts = {"ab AB aB\n", "", "ab\nc\r\nAb", "nothing"};
        const QStringList paths = MakeFiles(texts);
        LoadDir(Path(QStringLiteral("Directory")));
        W<QPlainTextEdit>("Memo2")->setPlainText(find);
        W<QPlainTextEdit>("Memo3")->setPlainText(with);
        W<QCheckBox>("CheckBox2")->setChecked(sensitive);
        QCOMPARE(Press("Button1"), kChangedMessage);
        const std::string from = Std(find).empty()
                                     ? std::string()
                                     : Std(QString(find).replace(u'\n', QStringLiteral("\r\n")));
        const std::string to = Std(QString(with).replace(u'\n', QStringLiteral("\r\n")));
        for (int i = 0; i < paths.size(); ++i) {
            Expect e(paths[i]);
            e.Change(from, to, sensitive);
            QCOMPARE(Bytes(form->Batch().Texts()[std::size_t(i)]), e.Text());
        }
        QCOMPARE(Panel(), kChangedCaption);
        QCOMPARE(State(), Row("xx.x.x.xxxxx."));
        QVERIFY(form->Batch().TextsReady());
        QCOMPARE(List()->currentIndex().row(), paths.size() - 1);
        // The view holds the last changed text as it is; had the program's
        // selection of the last entry loaded it, its last line would end in CR LF.
        QCOMPARE(ViewBytes(), Bytes(form->Batch().Texts().back()));
        QVERIFY(!ViewBytes().endsWith("\r\n"));
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(ReadFile(paths[i]), texts[i]);
        QCOMPARE(Press("SaveAll"), kSavedMessage);
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(ReadFile(paths[i]), Expect(form->Batch().Texts()[std::size_t(i)]).Saved());
        QCOMPARE(State(), Row("xx.x...xxxxx."));
    }

    void chainedCommandsWorkOnTheKeptTexts_data() {
        QTest::addColumn<bool>("changeFirst");
        QTest::newRow("change, then optimize") << true;
        QTest::newRow("optimize, then change") << false;
    }
    void chainedCommandsWorkOnTheKeptTexts() {
        QFETCH(bool, changeFirst);
        const QList<QByteArray> texts = {"  one   TWO  \n\n", "two  two\n", "<pre>\n"};
        const QStringList paths = MakeFiles(texts);
        LoadDir(Path(QStringLiteral("Directory")));
        W<QPlainTextEdit>("Memo2")->setPlainText(QStringLiteral("two"));
        W<QPlainTextEdit>("Memo3")->setPlainText(QStringLiteral("  2  "));
        std::vector<Expect> expected;
        for (const QString& p : paths)
            expected.emplace_back(p);
        std::size_t saved = 0;
        auto optimize = [&] {
            Press("OptDir");
            for (Expect& e : expected)
                saved += e.Optimize().Saved();
        };
        auto change = [&] {
            QCOMPARE(Press("Button1"), kChangedMessage);
            for (Expect& e : expected)
                e.Change("two", "  2  ", false);
        };
        if (changeFirst) {
            change();
            // Disk edits are not seen while the kept texts are current.
            QVERIFY(WriteFile(paths[1], "disk\n"));
            optimize();
            QCOMPARE(State(), Row("xx...x.xxxxxx"));
        } else {
            optimize();
            QVERIFY(WriteFile(paths[1], "disk\n"));
            change();
            QCOMPARE(State(), Row("xx.x.x.xxxxx."));
        }
        for (std::size_t i = 0; i < expected.size(); ++i)
            QCOMPARE(Bytes(form->Batch().Texts()[i]), expected[i].Text());
        if (changeFirst)
            QCOMPARE(W<QLabel>("Label4")->text(),
                     QString::number(saved) + QStringLiteral(" bytes"));
        QCOMPARE(Bytes(form->Batch().Texts()[0]),
                 changeFirst ? QByteArray("one 2\r\n") : QByteArray("one   2  \r\n"));
    }

    void loadDirTellsWhatItLeftOut() {
        // A temporary of an interrupted save is neither listed nor passed over in
        // silence.
        const QStringList paths = MakeFiles({"a  a\n"});
        for (const char* target : {"a.htm", "b.htm"})
            QVERIFY(WriteFile(Path(QString::fromStdString(WriteTemporaryName(target, "Zz99Yy00"))),
                              "half\n"));
        W<QCheckBox>("CheckBox1")->setChecked(true);
        ModalDriver driver;
        driver.File(Path(QStringLiteral("Directory")));
        auto message = driver.Message();
        W<QPushButton>("LoadDir")->click();
        (void)QTest::qWaitFor([&] { return driver.Done(); }, 30000); // the scan ends later
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(message->text, QStringLiteral("2 temporary file(s) of an interrupted save were "
                                               "found and left out of the list."));
        QCOMPARE(Listed(), paths);
        QCOMPARE(State(), Row("xx.x...xxxxx."));
    }

    void listClicksShowTheKeptTextsThenTheFiles() {
        const QStringList paths = MakeFiles({"a  a\n", "b  b\n", "c  c"});
        LoadDir(Path(QStringLiteral("Directory")));
        ClickRow(1); // before any batch command: read from disk
        QCOMPARE(ViewBytes(), QByteArray("b  b\r\n"));
        QCOMPARE(Press("OptDir"), kOptimizedMessage);
        struct stat read {};
        QVERIFY(::stat(QFile::encodeName(paths[0]).constData(), &read) == 0);
        QVERIFY(WriteFile(paths[0], "disk\n"));
        ClickRow(0);
        QCOMPARE(ViewBytes(), QByteArray("a a\r\n"));
        // Back as it was read (bytes, size and time), so that Save All may write it.
        QVERIFY(WriteFile(paths[0], "a  a\n"));
        const struct timespec times[2] = {read.st_atim, read.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(paths[0]).constData(), times, 0) == 0);
        QCOMPARE(W<QPlainTextEdit>("RichEdit1")->toPlainText(), QStringLiteral("a a\n"));
        QTest::keyClick(List(), Qt::Key_Down); // the keyboard counts as the user's choice
        QCOMPARE(ViewBytes(), QByteArray("b b\r\n"));
        const Flags before = State();
        QCOMPARE(Press("SaveAll"), kSavedMessage);
        QCOMPARE(ReadFile(paths[0]), QByteArray("a a\r\n"));
        // After saving, a click reads the file from disk again.
        QVERIFY(WriteFile(paths[0], "edited  later\n"));
        ClickRow(0);
        QCOMPARE(ViewBytes(), QByteArray("edited  later\r\n"));
        Flags after = before;
        after[5] = false; // only Save All went off
        QCOMPARE(State(), after);
    }

    void panelClickHidesAndShowsTheList() {
        MakeFiles({"a\n"});
        LoadDir(Path(QStringLiteral("Directory")));
        QCOMPARE(Press("OptDir"), kOptimizedMessage);
        auto* panel = W<QLabel>("Panel1");
        const Flags before = State();
        QTest::mouseClick(panel, Qt::LeftButton, {}, panel->rect().center());
        QVERIFY(List()->isHidden());
        QVERIFY(!W("RichEdit1")->isHidden());
        Flags hidden = before;
        hidden[10] = false;
        QCOMPARE(State(), hidden);
        QTest::mouseClick(panel, Qt::LeftButton, {}, panel->rect().center());
        QCOMPARE(State(), before);
        QCOMPARE(Panel(), kOptimizedCaption);
    }

    void clickWhileTheScanRuns() {
        const QStringList paths = MakeFiles({"first\n", "second\n", "third\n"});
        bool clicked = false;
        bool wasScanning = false;
        bool viewHidden = false;
        auto found = form->BaseScanner1->OnFileFound;
        form->BaseScanner1->OnFileFound = [&](const std::string& n, const std::string& p,
                                              std::int32_t a, std::int32_t s, double t) {
            found(n, p, a, s, t);
            if (!clicked && form->FileList().Count() == 2) {
                clicked = true;
                wasScanning = form->BaseScanner1->IsScanning();
                List()->setFocus();
                QTest::keyClick(List(), Qt::Key_End);
                viewHidden = W("RichEdit1")->isHidden();
            }
        };
        LoadDir(Path(QStringLiteral("Directory")));
        QVERIFY(clicked);
        QVERIFY(wasScanning);
        QVERIFY(viewHidden);
        QCOMPARE(Listed(), paths);
        // The entry chosen then (the last of two) is the one the view shows now.
        const int row = List()->currentIndex().row();
        QVERIFY(row >= 0);
        QCOMPARE(ViewBytes(), ReadFile(paths[row]).replace("\n", "\r\n"));
        QVERIFY(!W("RichEdit1")->isHidden());
        QCOMPARE(State(), Row("xx.x...xxxxx."));
    }

    // --- failures ------------------------------------------------------------------

    void listedFolderStopsTheBatch_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("c"); // c.htm after the scan
        QTest::addColumn<QString>("why");
        for (const char* button : {"OptDir", "Button1"}) {
            const char* name = button[0] == 'O' ? "Optimize Dir" : "Change Dir";
            QTest::addRow("%s, a folder", name) << button << "folder"
                                                << "Is a directory";
            QTest::addRow("%s, a file deleted", name) << button << "deleted"
                                                      << "No such file or directory";
            QTest::addRow("%s, another account's link out of the tree", name)
                << button << "foreign link"
                << "Permission denied";
        }
    }
    void listedFolderStopsTheBatch() {
        QFETCH(QString, button);
        QFETCH(QString, c);
        QFETCH(QString, why);
        if (c == QLatin1String("foreign link") && ::geteuid() != 0)
            QSKIP("needs the superuser to give a link another owner");
        const QStringList paths = MakeFiles({"a  a\n", "b  b\n"});
        QTemporaryDir outside;
        const QString cPath = Path(QStringLiteral("c.htm"));
        if (c == QLatin1String("deleted")) {
            QVERIFY(WriteFile(cPath, "c  c\n"));
        } else if (c == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(cPath)); // a folder the masks match
        } else {
            QVERIFY(WriteFile(outside.filePath(QStringLiteral("secret.htm")), "secret\n"));
            QVERIFY(QFile::link(outside.filePath(QStringLiteral("secret.htm")), cPath));
            QVERIFY(::lchown(QFile::encodeName(cPath).constData(), 4321, 4321) == 0);
        }
        QVERIFY(WriteFile(Path(QStringLiteral("d.htm")), "d  d\n"));
        LoadDir(Path(QStringLiteral("Directory")), false);
        QCOMPARE(form->FileList().Count(), std::size_t(4));
        if (c == QLatin1String("deleted"))
            QVERIFY(QFile::remove(cPath));
        W<QPlainTextEdit>("Memo2")->setPlainText(QStringLiteral("a"));
        W<QPlainTextEdit>("Memo3")->setPlainText(QStringLiteral("z"));
        const Flags before = State();
        const QByteArray shown = ViewBytes();
        const QString error = PressForError(button.toUtf8().constData());
        QCOMPARE(error, QStringLiteral("Cannot open file \"%1\". %2.").arg(cPath, why));
        QVERIFY(!form->Batch().TextsReady());
        QCOMPARE(form->Batch().Texts().size(), std::size_t(4));
        // The texts before the failing file were kept.
        QVERIFY(!form->Batch().Texts()[0].empty());
        QVERIFY(Bytes(form->Batch().Texts()[0]) != ReadFile(paths[0]));
        QVERIFY(form->Batch().Texts()[3].empty());
        QCOMPARE(State(), before);
        QCOMPARE(ViewBytes(), shown);
        QCOMPARE(Panel(), QStringLiteral("[4") + kCounting);
    }

    void failingReadKeepsTheKeptTexts() {
        // Change Dir, then a failing Optimize Dir over kept texts: entries before the
        // failure have their new texts, the rest keep the changed ones.
        QByteArray many;
        for (int i = 0; i < 100000; ++i)
            many += "b b\n";
        const QStringList paths = MakeFiles({"a  a\n", many, "c  c\n"});
        LoadDir(Path(QStringLiteral("Directory")));
        // A replacement that makes the middle text too long for the view's limit
        // (100,000 lines of 13 characters), though it stays within it when read.
        W<QPlainTextEdit>("Memo2")->setPlainText(QStringLiteral("b"));
        W<QPlainTextEdit>("Memo3")->setPlainText(QStringLiteral("bbbbb"));
        QCOMPARE(Press("Button1"), kChangedMessage);
        const std::vector<std::string> changed = form->Batch().Texts();
        QVERIFY(changed[1].size() > TextDocument::FileCharLimit);
        const Flags before = State();
        const QString error = PressForError("OptDir");
        QCOMPARE(error, QStringLiteral("RichEdit line insertion error."));
        QVERIFY(form->Batch().TextsReady());
        QCOMPARE(Bytes(form->Batch().Texts()[0]), QByteArray("a a\r\n"));
        QCOMPARE(form->Batch().Texts()[1], changed[1]);
        QCOMPARE(form->Batch().Texts()[2], changed[2]);
        QCOMPARE(State(), before);
    }

    void saveAllStopsAtAFileItCannotWrite_data() {
        QTest::addColumn<int>("failing");
        QTest::addColumn<QString>("change"); // what happens to it after Optimize Dir
        QTest::addColumn<QString>("why");    // the end of the message
        const QString changed =
            QStringLiteral("The file was changed by another program since it was read.");
        QTest::newRow("first") << 0 << "folder" << changed;
        QTest::newRow("middle") << 2 << "folder" << changed;
        QTest::newRow("last") << 4 << "folder" << changed;
        QTest::newRow("folder removed") << 3 << "folder removed"
                                        << "No such file or directory.";
        QTest::newRow("edited meanwhile") << 1 << "edited" << changed;
        QTest::newRow("deleted meanwhile") << 2 << "deleted" << changed;
        QTest::newRow("folder made a link out of the tree") << 3 << "link out"
                                                            << "Too many levels of symbolic links.";
        // Made writable again after the error: Save All again saves every file.
        QTest::newRow("read-only") << 2 << "read-only"
                                   << "Permission denied.";
    }
    void saveAllStopsAtAFileItCannotWrite() {
        QFETCH(int, failing);
        QFETCH(QString, change);
        QFETCH(QString, why);
        QStringList paths;
        QList<QByteArray> texts;
        for (int i = 0; i < 5; ++i) {
            paths << Path(QStringLiteral("d%1/f.htm").arg(i));
            texts << QByteArray("  text   ") + QByteArray::number(i) + "  \n";
            QVERIFY(WriteFile(paths.back(), texts.back()));
        }
        LoadDir(Path(QStringLiteral("Directory")));
        QCOMPARE(Listed(), paths);
        QCOMPARE(Press("OptDir"), kOptimizedMessage);
        const QString folder = Path(QStringLiteral("d%1").arg(failing));
        QTemporaryDir outside;
        const QString outsideFile = outside.filePath(QStringLiteral("f.htm"));
        if (change == QLatin1String("folder removed")) {
            QVERIFY(QDir(folder).removeRecursively());
        } else if (change == QLatin1String("folder")) {
            QVERIFY(QFile::remove(paths[failing]));
            QVERIFY(QDir().mkpath(paths[failing]));
        } else if (change == QLatin1String("edited")) {
            texts[failing] = "another program's text\n";
            QVERIFY(WriteFile(paths[failing], texts[failing]));
        } else if (change == QLatin1String("deleted")) {
            QVERIFY(QFile::remove(paths[failing]));
        } else if (change == QLatin1String("read-only")) {
            QVERIFY(QFile::setPermissions(paths[failing], QFile::ReadOwner));
        } else {
            // Its folder swapped for a link to a folder outside the listed tree
            // that holds a file of the same name.
            QVERIFY(WriteFile(outsideFile, "outside\n"));
            QVERIFY(QDir(folder).removeRecursively());
            QVERIFY(QFile::link(outside.path(), folder));
        }
        const Flags before = State();
        const QString panel = Panel();
        const QString error = PressForError("SaveAll");
        QCOMPARE(error, QStringLiteral("Cannot create file \"%1\". %2").arg(paths[failing], why));
        if (change == QLatin1String("deleted"))
            QVERIFY(!QFileInfo::exists(paths[failing])); // not created again
        if (change == QLatin1String("edited"))
            QCOMPARE(ReadFile(paths[failing]), texts[failing]);
        if (change == QLatin1String("link out"))
            QCOMPARE(ReadFile(outsideFile), QByteArray("outside\n"));
        for (int i = 0; i < failing; ++i)
            QCOMPARE(ReadFile(paths[i]), Bytes(form->Batch().Texts()[std::size_t(i)]));
        for (int i = failing + 1; i < paths.size(); ++i)
            QCOMPARE(ReadFile(paths[i]), texts[i]);
        QVERIFY(form->Batch().TextsReady());
        QCOMPARE(State(), before);
        QVERIFY(W<QPushButton>("SaveAll")->isEnabled());
        QCOMPARE(Panel(), panel);
        // No temporary file is left in any folder.
        for (int i = 0; i < paths.size(); ++i) {
            const QDir d(Path(QStringLiteral("d%1").arg(i)));
            const bool gone = i == failing && change != QLatin1String("edited") &&
                              change != QLatin1String("link out") &&
                              change != QLatin1String("read-only");
            if (d.exists())
                QCOMPARE(d.entryList(QDir::Files | QDir::Hidden).size(), gone ? 0 : 1);
        }
        if (change != QLatin1String("read-only"))
            return;
        QVERIFY(QFile::setPermissions(paths[failing], QFile::ReadOwner | QFile::WriteOwner));
        const std::vector<std::string> saved = form->Batch().Texts();
        QCOMPARE(Press("SaveAll"), kSavedMessage);
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(ReadFile(paths[i]), Bytes(saved[std::size_t(i)]));
    }

    // --- a long command: progress, Cancel, closing the window ----------------------

    // Thirty listed files; the command run before (so the kept texts are current)
    // and the one under test.
    QStringList ListManyFiles() {
        QStringList paths;
        for (int i = 0; i < 30; ++i) {
            paths << Path(QStringLiteral("many/f%1.htm").arg(i, 2, 10, QLatin1Char('0')));
            WriteFile(paths.back(), QByteArray("a  b  ") + QByteArray::number(i) + "\n");
        }
        LoadDir(Path(QStringLiteral("many/Directory")));
        W<QPlainTextEdit>("Memo2")->setPlainText(QStringLiteral("a"));
        W<QPlainTextEdit>("Memo3")->setPlainText(QStringLiteral("x"));
        return paths;
    }

    void cancelLeavesTheWindowAsBefore_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("Optimize Dir") << QStringLiteral("OptDir");
        QTest::newRow("Change Dir") << QStringLiteral("Button1");
    }
    void cancelLeavesTheWindowAsBefore() {
        // The command works beside the window's thread: only a slow disk makes it
        // outlast the half second before its progress shows.
        if (qEnvironmentVariableIsEmpty("VX_FAULT_DIR"))
            QSKIP("runs in tst_dircommands_slowdisk");
        QFETCH(QString, command);
        const QStringList paths = ListManyFiles();
        const bool ready = form->Batch().TextsReady();
        const std::vector<std::string> texts = form->Batch().Texts();
        const QByteArray view = ViewBytes();
        const Flags before = State();
        const QString saved = W<QLabel>("Label4")->text();
        const QString panel = Panel();
        {
            BatchDriver driver(form.get(), BatchDriver::Cancel);
            W<QPushButton>(command.toLatin1().constData())->click();
            const QString doing = command == QLatin1String("OptDir") ? QStringLiteral("Optimizing")
                                                                     : QStringLiteral("Changing");
            QVERIFY2(
                QRegularExpression(doing + QStringLiteral(" the files\\.\\.\\.\\n\\d+ of 30 files"))
                    .match(driver.progressText)
                    .hasMatch(),
                qPrintable(driver.progressText));
            QCOMPARE(driver.during, Row("............."));
            QCOMPARE(driver.messages, QStringList());
            QVERIFY(!driver.windowBlocked);
        }
        QCOMPARE(form->Batch().TextsReady(), ready);
        QVERIFY(form->Batch().Texts() == texts);
        QCOMPARE(ViewBytes(), view);
        QCOMPARE(State(), before);
        QCOMPARE(W<QLabel>("Label4")->text(), saved);
        QCOMPARE(Panel(), panel);
    }

    // The File menu's switches reach Optimize Dir and Save All: blocks kept, no
    // "<pre>" warning, LF written, and the figure is what the files lost on disk.
    void menuSwitchesReachTheDirectoryCommands() {
        const QByteArray a("  a  \n<pre>\n  x  \n</pre>\n");
        const QByteArray b("b  \n");
        WriteFile(Path(QStringLiteral("sw/a.htm")), a);
        WriteFile(Path(QStringLiteral("sw/b.htm")), b);
        form->findChild<QAction*>(QStringLiteral("KeepPre1"))->setChecked(true);
        form->findChild<QAction*>(QStringLiteral("UnixBreaks1"))->setChecked(true);
        // Switched off again before the window stores them for the next test.
        const auto switchesOff = qScopeGuard([this] {
            for (const char* name : {"KeepPre1", "UnixBreaks1"})
                form->findChild<QAction*>(QString::fromUtf8(name))->setChecked(false);
        });
        LoadDir(Path(QStringLiteral("sw/Directory")));
        QCOMPARE(Press("OptDir"), kOptimizedMessage);
        QCOMPARE(Press("SaveAll"), kSavedMessage);
        const QByteArray savedA("a\n<pre>\n  x  \n</pre>\n");
        const QByteArray savedB("b\n");
        QCOMPARE(ReadFile(Path(QStringLiteral("sw/a.htm"))), savedA);
        QCOMPARE(ReadFile(Path(QStringLiteral("sw/b.htm"))), savedB);
        QCOMPARE(
            W<QLabel>("Label4")->text(),
            QStringLiteral("%1 bytes").arg(a.size() + b.size() - savedA.size() - savedB.size()));
    }

    // The progress goes when the work ends: the closing message stands alone.
    void progressGoesBeforeTheMessage() {
        if (qEnvironmentVariableIsEmpty("VX_FAULT_DIR"))
            QSKIP("runs in tst_dircommands_slowdisk");
        ListManyFiles();
        BatchDriver driver(form.get(), BatchDriver::LetItEnd);
        W<QPushButton>("OptDir")->click();
        QVERIFY(!driver.progressText.isEmpty()); // it had shown
        QCOMPARE(driver.messages, QStringList{kOptimizedMessage});
        QVERIFY(!driver.progressWithMessage);
    }

    // Every way to stop Save All asks the same stop: before its next file, the
    // files before it written, the rest untouched.
    void cancelledSaveAllKeepsWhatItWrote_data() {
        QTest::addColumn<int>("action");
        QTest::newRow("Cancel") << int(BatchDriver::Cancel);
        QTest::newRow("Escape") << int(BatchDriver::Escape);
        QTest::newRow("the box's close button") << int(BatchDriver::CloseBox);
        QTest::newRow("the window's close button, Yes") << int(BatchDriver::CloseYes);
    }
    void cancelledSaveAllKeepsWhatItWrote() {
        // Save All writes beside the window's thread: only a slow disk makes it
        // outlast the half second before its progress shows.
        if (qEnvironmentVariableIsEmpty("VX_FAULT_DIR"))
            QSKIP("runs in tst_dircommands_slowdisk");
        QFETCH(int, action);
        const QStringList paths = ListManyFiles();
        QList<QByteArray> texts;
        for (const QString& path : paths)
            texts << ReadFile(path);
        Press("OptDir");
        const Flags before = State();
        {
            BatchDriver driver(form.get(), BatchDriver::Action(action));
            W<QPushButton>("SaveAll")->click();
            QCOMPARE(driver.during, Row("............."));
            QCOMPARE(driver.messages, QStringList());
            QCOMPARE(driver.question.isEmpty(), action != BatchDriver::CloseYes);
            QVERIFY(!driver.progressText.isEmpty());
        }
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^Saving was stopped: (\\d+) of 30 files have been "
                                              "saved\\. \\(Click panel to hide, file to view\\)$"))
                .match(Panel());
        QVERIFY2(match.hasMatch(), qPrintable(Panel()));
        const int written = match.captured(1).toInt();
        QVERIFY(written > 0 && written < paths.size());
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(ReadFile(paths[i]), i < written
                                             ? Expect(form->Batch().Texts()[std::size_t(i)]).Saved()
                                             : texts[i]);
        QVERIFY(form->Batch().TextsReady());
        QCOMPARE(form->isVisible(), action != BatchDriver::CloseYes);
        if (action == BatchDriver::CloseYes)
            return;
        QCOMPARE(State(), before);
        QVERIFY(W<QPushButton>("SaveAll")->isEnabled());
        // The files it wrote are its own: Save All again saves them all.
        const std::vector<std::string> kept = form->Batch().Texts();
        QCOMPARE(Press("SaveAll"), kSavedMessage);
        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(ReadFile(paths[i]), Expect(kept[std::size_t(i)]).Saved());
    }

    // Save All runs beside the window: a close asked meanwhile still asks first,
    // and Yes stops it before its next file, then closes the window.
    void closeDuringSaveAllAsksFirst() {
        if (qEnvironmentVariableIsEmpty("VX_FAULT_DIR"))
            QSKIP("runs in tst_dircommands_slowdisk");
        const QStringList paths = ListManyFiles();
        Press("OptDir");
        {
            BatchDriver driver(form.get(), BatchDriver::CloseYes);
            W<QPushButton>("SaveAll")->click();
            QCOMPARE(driver.question, kStopQuestion);
            QCOMPARE(driver.messages, QStringList());
        }
        QVERIFY(!form->isVisible());
        QVERIFY(Panel().startsWith(QStringLiteral("Saving was stopped: ")));
        QCOMPARE(ReadFile(paths.back()), QByteArray("a  b  29\n")); // not reached
    }

    void closeDuringACommandAsksFirst_data() {
        QTest::addColumn<bool>("stop");
        QTest::newRow("No: the command goes on") << false;
        QTest::newRow("Yes: stopped, then closed") << true;
    }
    void closeDuringACommandAsksFirst() {
        if (qEnvironmentVariableIsEmpty("VX_FAULT_DIR"))
            QSKIP("runs in tst_dircommands_slowdisk");
        QFETCH(bool, stop);
        ListManyFiles();
        const Flags before = State();
        {
            BatchDriver driver(form.get(), stop ? BatchDriver::CloseYes : BatchDriver::CloseNo);
            W<QPushButton>("OptDir")->click();
            QCOMPARE(driver.question, kStopQuestion);
            QCOMPARE(driver.messages, stop ? QStringList() : QStringList{kOptimizedMessage});
        }
        QCOMPARE(form->isVisible(), !stop);
        QCOMPARE(form->Batch().TextsReady(), !stop);
        QCOMPARE(State(), stop ? before : Row("xx...x.xxxxxx"));
    }
};

QTEST_MAIN(TestDirCommands)
#include "tst_dircommands.moc"
