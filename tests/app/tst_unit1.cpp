// The main window driven as a user drives it: controls found by their names,
// dialogs and message boxes answered by ModalDriver.

#include "CommandFlags.h"
#include "ModalDriver.h"

#include "app/AppTitle.h"
#include "app/FileListModel.h"
#include "app/Unit1.h"
#include "app/windows/Unit2.h"
#include "app/windows/Unit3.h"
#include "scanner/FScanner.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

namespace {

const QString kTitle = QStringLiteral("Velocitrix Website Optimizer");
const QString kEmptyMessage = QStringLiteral("The file is empty - nothing to optimize.");
const QString kOptimizedMessage =
    QStringLiteral("The file has been optimized, you can save it now.");
const QString kPreMessage = QStringLiteral(
    "A <pre> tag has been detected in the file. The Velocitrix Website Optimizer could damage "
    "text within the <pre></pre> tags, only save if you are sure about the consequences.");
const QString kChangedMessage = QStringLiteral("The file has been modified, you can save it now.");

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

} // namespace

class TestUnit1 : public QObject {
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
    QAction* A(const char* name) const {
        return form->findChild<QAction*>(QString::fromUtf8(name));
    }
    QString Path(const char* name) const { return dir->filePath(QString::fromUtf8(name)); }

    // The state EnableCommands's flags describe, read off the controls.
    Flags State() const { return StateOf(form.get()); }
    bool MenuEnabled() const {
        return W<QMenu>("File1")->menuAction()->isEnabled() && A("About1")->isEnabled();
    }

    // Load File through the dialog; the test fails when a message shows.
    void Load(const QString& path) {
        ModalDriver driver;
        driver.File(path);
        W<QPushButton>("LoadFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
    }
    // Presses a button that answers with one message box; returns its text.
    QString PressForMessage(const char* button) {
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
    QByteArray DocumentBytes() const {
        const std::string& text = form->Document().WholeText();
        return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    }
    QString Shown() const { return W<QPlainTextEdit>("RichEdit1")->toPlainText(); }

private Q_SLOTS:
    void initTestCase() { SetApplicationTitle(); }

    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        form = std::make_unique<TForm1>();
        Form1 = form.get();
    }

    void cleanup() {
        form.reset();
        Form1 = nullptr;
        dir.reset();
    }

    // --- the window as created ---------------------------------------------

    void window() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Velocitrix Website Optimizer v1.2.1"));
        // The design's size, wider where the toolbox's controls need it.
        QVERIFY(form->minimumWidth() >= 600);
        QCOMPARE(form->minimumHeight(), 440);
        QVERIFY(form->parent() == nullptr);
        QVERIFY(form->isWindow());
        QVERIFY(!form->windowIcon().isNull());
        QCOMPARE(form->font().pointSize(), 8);
        QCOMPARE(form->font().styleHint(), QFont::SansSerif);
        QCOMPARE(W("Panel1")->font().styleHint(), QFont::Serif);
        QVERIFY(form->testAttribute(Qt::WA_QuitOnClose));
        QVERIFY(!form->Batch().TextsReady());
        QVERIFY(form->CurrentFileName.empty());
    }

    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("place"); // width/height 0: sized by its text
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("shown");
        auto row = [](const char* name, const char* kind, const char* parent, QRect place,
                      const char* caption, bool enabled, bool shown) {
            QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(kind)
                                << QString::fromUtf8(parent) << place << QString::fromUtf8(caption)
                                << enabled << shown;
        };
        const QRect none;
        row("Panel1", "TClickLabel", "Panel2", QRect(0, 0, 400, 17),
            "Files that are going to be modified: (Click panel to hide, file to view)", true,
            false);
        row("ListBox1", "QListView", "ClientArea", QRect(0, 18, 401, 273), "", true, false);
        row("GroupBox1", "QGroupBox", "ClientArea", none, "Optimization Toolbox", true, true);
        row("LoadFile", "QPushButton", "GroupBox1", QRect(8, 16, 65, 25), "Load File", true, true);
        row("LoadDir", "QPushButton", "GroupBox1", QRect(8, 41, 65, 25), "Load Dir", true, true);
        row("OptFile", "QPushButton", "GroupBox1", QRect(80, 16, 81, 25), "Optimize File", false,
            true);
        row("OptDir", "QPushButton", "GroupBox1", QRect(80, 41, 81, 25), "Optimize Dir", false,
            true);
        row("SaveFile", "QPushButton", "GroupBox1", QRect(168, 16, 57, 25), "Save File", false,
            true);
        row("SaveAll", "QPushButton", "GroupBox1", QRect(168, 41, 57, 25), "Save All", false, true);
        row("Label3", "QLabel", "GroupBox1", QRect(232, 24, 0, 0), "Space saved:", true, false);
        row("Label4", "QLabel", "GroupBox1", QRect(232, 40, 0, 0), "", true, true);
        row("CheckBox1", "QCheckBox", "GroupBox1", QRect(8, 70, 225, 17),
            "Include subdirectories (option for Load Dir)", true, true);
        row("Label1", "QLabel", "Panel7", none, "Change", true, true); // before Memo2
        row("Label2", "QLabel", "Panel7", none, "to", true, true);
        row("Memo2", "QPlainTextEdit", "Panel7", QRect(54, 0, 121, 25), "", true, true);
        row("Memo3", "QPlainTextEdit", "Panel7", QRect(54, 25, 121, 25), "", true, true);
        row("Edit1", "QLineEdit", "Panel7", QRect(54, 0, 121, 21), "", true, false);
        row("Edit2", "QLineEdit", "Panel7", QRect(54, 27, 121, 21), "", true, false);
        row("DoIt", "QPushButton", "Panel7", QRect(198, 0, 65, 25), "Change File", false, true);
        row("Button1", "QPushButton", "Panel7", QRect(198, 25, 65, 25), "Change Dir", false, true);
        row("CheckBox2", "QCheckBox", "Panel7", QRect(8, 56, 233, 17),
            "Case sensitive (option for Change File / Dir)", true, true);
        row("RichEdit1", "QPlainTextEdit", "ClientArea", none, "", true, true);
    }

    void controls() {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, parentName);
        QFETCH(QRect, place);
        QFETCH(QString, caption);
        QFETCH(bool, enabled);
        QFETCH(bool, shown);
        QWidget* w = W(name.toUtf8().constData());
        QVERIFY(w != nullptr);
        QCOMPARE(QString::fromUtf8(w->metaObject()->className()), kind);
        QCOMPARE(w->parentWidget()->objectName(), parentName);
        if (!place.isNull()) {
            QCOMPARE(w->pos(), place.topLeft());
            if (place.width() > 0)
                QCOMPARE(w->size(), place.size());
        }
        const char* property = qobject_cast<QGroupBox*>(w) ? "title" : "text";
        if (w->metaObject()->indexOfProperty(property) >= 0)
            QCOMPARE(w->property(property).toString(), caption);
        else if (auto* edit = qobject_cast<QPlainTextEdit*>(w))
            QCOMPARE(edit->toPlainText(), caption);
        QCOMPARE(w->isEnabledTo(form.get()), enabled);
        QCOMPARE(!w->isHidden(), shown);
        QCOMPARE(w->font().pointSize(), 8);
    }

    void layout() {
        form->resize(700, 500);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(qobject_cast<QScrollArea*>(form->centralWidget()) != nullptr);
        QWidget* client = W("ClientArea");
        QWidget* panel2 = W("Panel2");
        QWidget* group = W("GroupBox1");
        QWidget* view = W("RichEdit1");
        QWidget* panel7 = W("Panel7");
        QCOMPARE(panel2->geometry(), QRect(0, 0, client->width(), 17));
        QCOMPARE(group->geometry(), QRect(0, client->height() - 92, client->width(), 92));
        QCOMPARE(view->geometry(), QRect(0, 17, client->width(), client->height() - 17 - 92));
        QCOMPARE(panel7->width(), 271);
        QCOMPARE(panel7->geometry().right(), group->width() - 3);
        QCOMPARE(W("ListBox1")->geometry(), QRect(0, 18, 401, 273));
        auto* list = W<QListView>("ListBox1");
        QVERIFY(list->uniformItemSizes());
        auto* memo = W<QPlainTextEdit>("Memo2");
        QVERIFY(!memo->tabChangesFocus());
        QVERIFY(!W<QPlainTextEdit>("Memo3")->tabChangesFocus());
        auto* richEdit = W<QPlainTextEdit>("RichEdit1");
        QVERIFY(richEdit->isReadOnly());
        QCOMPARE(richEdit->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(richEdit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }

    void menu() {
        auto* bar = W<QMenuBar>("MainMenu1");
        QVERIFY(bar != nullptr);
        QCOMPARE(form->menuBar(), bar);
        auto* file = W<QMenu>("File1");
        QVERIFY(file != nullptr);
        const QList<QAction*> top = bar->actions();
        QCOMPARE(top.size(), 2);
        QCOMPARE(top[0], file->menuAction());
        QCOMPARE(top[1], A("About1"));
        QCOMPARE(file->title(), QStringLiteral("&File"));
        QCOMPARE(A("About1")->text(), QStringLiteral("&About"));
        QList<QAction*> items;
        for (QAction* action : file->actions())
            if (!action->isSeparator())
                items << action;
        QCOMPARE(items.size(), 7);
        auto* breaks = W<QMenu>("LineBreaks1");
        QVERIFY(breaks != nullptr);
        const QList<QAction*> expected{A("LoadFile1"), A("SaveFile1"), A("ypestomodify1"),
                                       A("KeepPre1"),  breaks->menuAction(), A("Quit1"),
                                       A("Quit2")};
        const char* const texts[] = {"&Load File",         "&Save File",   "&Types to modify",
                                     "&Keep preformatted text intact", "&Line breaks", "&Help",
                                     "&Quit"};
        // The platform's standard keys, shown beside the items.
        const QKeySequence keys[] = {QKeySequence(QStringLiteral("Ctrl+O")),
                                     QKeySequence(QStringLiteral("Ctrl+S")),
                                     {},
                                     {},
                                     {},
                                     QKeySequence(Qt::Key_F1),
                                     QKeySequence(QStringLiteral("Ctrl+Q"))};
        // Three exclusive styles, CR LF on a first start.
        const QList<QAction*> styles = breaks->actions();
        QCOMPARE(styles, (QList<QAction*>{A("CrLfBreaks1"), A("UnixBreaks1"), A("KeepBreaks1")}));
        QCOMPARE(styles[0]->text(), QStringLiteral("CR LF"));
        QCOMPARE(styles[1]->text(), QStringLiteral("LF"));
        QCOMPARE(styles[2]->text(), QStringLiteral("As in each file"));
        for (QAction* style : styles)
            QVERIFY(style->isCheckable() && style->actionGroup() != nullptr &&
                    style->actionGroup()->isExclusive() &&
                    style->isChecked() == (style == styles[0]));
        styles[2]->trigger();
        QVERIFY(styles[2]->isChecked() && !styles[0]->isChecked());
        styles[0]->trigger();
        for (qsizetype i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i], expected[i]);
            QCOMPARE(items[i]->text(), QString::fromUtf8(texts[i]));
            QCOMPARE(items[i]->shortcut(), keys[i]);
        }
        // The preformatted switch is checkable and off on a first start.
        QVERIFY(items[3]->isCheckable() && !items[3]->isChecked());
        // Load and Save are offered while their buttons are.
        QVERIFY(A("LoadFile1")->isEnabled());
        QVERIFY(!A("SaveFile1")->isEnabled());
        form->EnableCommands(OffersOf(Row("xxxxxxxxxxxxx")));
        QVERIFY(A("SaveFile1")->isEnabled());
        form->DisableCommands();
        QVERIFY(!A("LoadFile1")->isEnabled());
        for (auto* button : W("GroupBox1")->findChildren<QPushButton*>())
            QVERIFY(!button->text().contains(QLatin1Char('&')));
    }

    // The platform's keyboard conventions: mnemonics, the menu key, the standard
    // shortcuts and Enter on the focused button each reach what they name.
    void keyboard_data() {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("reached"); // the menu shown, item highlighted or window
        QTest::newRow("Alt+F") << QKeySequence(QStringLiteral("Alt+F")) << "menu File1";
        QTest::newRow("Alt+A") << QKeySequence(QStringLiteral("Alt+A")) << "window Form3";
        QTest::newRow("F10, Right") << QKeySequence(Qt::Key_F10, Qt::Key_Right) << "bar About1";
        QTest::newRow("F10, Right, Enter")
            << QKeySequence(Qt::Key_F10, Qt::Key_Right, Qt::Key_Return) << "window Form3";
        QTest::newRow("F1") << QKeySequence(Qt::Key_F1) << "window Form2";
        QTest::newRow("Ctrl+O") << QKeySequence(QStringLiteral("Ctrl+O")) << "dialog OpenDialog1";
        QTest::newRow("Ctrl+Q") << QKeySequence(QStringLiteral("Ctrl+Q")) << "closed";
        QTest::newRow("Return on Load Dir") << QKeySequence(Qt::Key_Return) << "dialog OpenDialog2";
        QTest::newRow("Enter on Load File") << QKeySequence(Qt::Key_Enter) << "dialog OpenDialog1";
    }
    void keyboard() {
        QFETCH(QKeySequence, keys);
        QFETCH(QString, reached);
        TForm2 help;
        TForm3 about;
        Form2 = &help;
        Form3 = &about;
        auto forget = qScopeGuard([] {
            Form2 = nullptr;
            Form3 = nullptr;
        });
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        if (keys[0].key() == Qt::Key_Return || keys[0].key() == Qt::Key_Enter) {
            QWidget* button = W(keys[0].key() == Qt::Key_Return ? "LoadDir" : "LoadFile");
            button->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), button);
        }
        ModalDriver driver;
        std::shared_ptr<ModalDriver::Step> dialog;
        if (reached.startsWith(QLatin1String("dialog")))
            dialog = driver.CancelFile();
        for (int i = 0; i < keys.count(); ++i) {
            // The keys go where the user's would: to the open menu, else the window.
            QWidget* target = QApplication::activePopupWidget();
            if (target == nullptr)
                target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
            QTest::keySequence(target, QKeySequence(keys[i]));
        }
        const QString what = reached.section(QLatin1Char(' '), 1);
        if (reached.startsWith(QLatin1String("menu"))) {
            QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
            QCOMPARE(QApplication::activePopupWidget()->objectName(), what);
            QApplication::activePopupWidget()->close();
        } else if (reached.startsWith(QLatin1String("bar"))) {
            QVERIFY(QApplication::activePopupWidget() == nullptr);
            QCOMPARE(W<QMenuBar>("MainMenu1")->activeAction(), A(what.toUtf8().constData()));
        } else if (reached.startsWith(QLatin1String("window"))) {
            QTRY_VERIFY((what == QLatin1String("Form2") ? static_cast<QWidget*>(&help) : &about)
                            ->isVisible());
        } else if (dialog) {
            QTRY_VERIFY(driver.Done());
            QCOMPARE(dialog->objectName, what);
        } else {
            QTRY_VERIFY(!form->isVisible());
        }
    }

    void dialogs_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("acceptMode");
        QTest::addColumn<QString>("presetName");
        QTest::newRow("OpenDialog1")
            << QStringLiteral("OpenDialog1") << int(QFileDialog::AcceptOpen) << QString();
        QTest::newRow("OpenDialog2") << QStringLiteral("OpenDialog2")
                                     << int(QFileDialog::AcceptOpen) << QStringLiteral("Directory");
        QTest::newRow("SaveDialog1")
            << QStringLiteral("SaveDialog1") << int(QFileDialog::AcceptSave) << QString();
    }

    void dialogs() {
        QFETCH(QString, name);
        QFETCH(int, acceptMode);
        QFETCH(QString, presetName);
        auto* dialog = form->findChild<QFileDialog*>(name);
        QVERIFY(dialog != nullptr);
        QCOMPARE(int(dialog->acceptMode()), acceptMode);
        QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(dialog->testOption(QFileDialog::DontConfirmOverwrite),
                 acceptMode == int(QFileDialog::AcceptSave));
        QVERIFY(dialog->isModal());
        QVERIFY(dialog->defaultSuffix().isEmpty());
        QVERIFY(dialog->nameFilters().size() <= 1); // Qt's own "All Files (*)" at most
        auto* name_ = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name_ != nullptr);
        QCOMPARE(name_->text(), presetName);
    }

    void tabOrder() {
        const char* const expected[] = {"LoadFile",  "LoadDir",   "OptFile",  "OptDir",
                                        "SaveFile",  "SaveAll",   "DoIt",     "Button1",
                                        "Memo2",     "Edit1",     "Memo3",    "Edit2",
                                        "CheckBox2", "CheckBox1", "ListBox1", "RichEdit1"};
        QStringList names;
        for (const char* name : expected)
            names << QString::fromUtf8(name);
        QStringList seen;
        QWidget* w = W("LoadFile");
        for (int guard = 0; guard < 200 && seen.size() < names.size(); ++guard) {
            if (names.contains(w->objectName()) && !seen.contains(w->objectName()))
                seen << w->objectName();
            w = w->nextInFocusChain();
        }
        QCOMPARE(seen, names);
    }

    // --- keyboard --------------------------------------------------------------

    void ctrlTabLeavesChangeBoxes_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("to");
        const int ctrl = Qt::ControlModifier;
        const int back = Qt::ControlModifier | Qt::ShiftModifier;
        QTest::newRow("Memo2 forward") << "Memo2" << ctrl << "Memo3";
        QTest::newRow("Memo3 forward") << "Memo3" << ctrl << "CheckBox2";
        QTest::newRow("Memo3 back") << "Memo3" << back << "Memo2";
    }

    void ctrlTabLeavesChangeBoxes() {
        QFETCH(QString, from);
        QFETCH(int, modifiers);
        QFETCH(QString, to);
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        auto* memo = W<QPlainTextEdit>(from.toUtf8().constData());
        memo->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), memo);
        QTest::keyClick(memo, Qt::Key_Tab, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(QApplication::focusWidget(), W(to.toUtf8().constData()));
        QCOMPARE(memo->toPlainText(), QString()); // no Tab typed into it
    }

    void f10OpensMenu() {
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form.get(), Qt::Key_F10);
        auto* file = W<QMenu>("File1");
        QTRY_COMPARE(QApplication::activePopupWidget(), file);
        // The keys go to the menu: the arrows move through its items.
        QTest::keyClick(file, Qt::Key_Down);
        QCOMPARE(file->activeAction(), A("LoadFile1"));
        QTest::keyClick(file, Qt::Key_Escape);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        // While a command runs the menu is off, and F10 does not open it either.
        form->DisableCommands();
        QTest::keyClick(form.get(), Qt::Key_F10);
        QTest::qWait(50);
        QVERIFY(QApplication::activePopupWidget() == nullptr);
    }

    // --- DisableCommands / EnableCommands ----------------------------------

    void disableCommands() {
        form->DisableCommands();
        QCOMPARE(State(), Row("............."));
        QVERIFY(!W("CheckBox2")->isEnabledTo(form.get()));
        QVERIFY(!W<QMenu>("File1")->menuAction()->isEnabled());
        QVERIFY(!A("About1")->isEnabled());
        QVERIFY(W("Label4")->isHidden());
        QVERIFY(W("Memo2")->isEnabledTo(form.get()));
        QVERIFY(W("Memo3")->isEnabledTo(form.get()));
    }

    void enableCommands_data() {
        QTest::addColumn<Flags>("flags");
        //                                           LLOOSSDBCvlps
        QTest::newRow("file loaded") << Row("xxx...x.xx...");
        QTest::newRow("file optimized") << Row("xx..x.x.xx..x");
        QTest::newRow("file changed") << Row("xxx.x.x.xx...");
        QTest::newRow("scan found none") << Row("xx......xx.x.");
        QTest::newRow("scan found files") << Row("xx.x...xxx.x.");
        QTest::newRow("files optimized") << Row("xx...x.xxxxxx");
        QTest::newRow("files changed") << Row("xx.x.x.xxxxx.");
    }

    void enableCommands() {
        QFETCH(Flags, flags);
        form->DisableCommands();
        form->EnableCommands(OffersOf(flags));
        QCOMPARE(State(), flags);
        QCOMPARE(W("Label4")->isHidden(), !flags[12]);
        QVERIFY(W("CheckBox2")->isEnabledTo(form.get()));
        QVERIFY(MenuEnabled());
    }

    void enableNeverDisables() {
        form->EnableCommands(OffersOf(Row("xxxxxxxxxxxxx")));
        const Flags all = Row("xxxxxxxxxxxxx");
        QCOMPARE(State(), all);
        form->EnableCommands(OffersOf(Row(".............")));
        QCOMPARE(State(), all);
    }

    // --- Load File -----------------------------------------------------------

    void loadFile() {
        WriteFile(Path("a.htm"), "<p>  a </p>\nb\rc");
        Load(Path("a.htm"));
        QCOMPARE(State(), Row("xxx...x.xx..."));
        QVERIFY(MenuEnabled());
        QCOMPARE(DocumentBytes(), QByteArray("<p>  a </p>\r\nb\r\nc"));
        QCOMPARE(Shown(), QStringLiteral("<p>  a </p>\nb\nc"));
        QCOMPARE(QString::fromStdString(form->CurrentFileName), Path("a.htm"));
    }

    void loadShowsUndecodableBytes() {
        const QByteArray bytes("caf\xc3\xa9 \xe9t\xe9\r\n");
        WriteFile(Path("latin.htm"), bytes);
        Load(Path("latin.htm"));
        QCOMPARE(DocumentBytes(), bytes); // shown, never altered
        QVERIFY(Shown().startsWith(QStringLiteral("caf\u00e9 ")));
        QVERIFY(Shown().contains(QChar::ReplacementCharacter));
    }

    void loadOffersLastPath() {
        WriteFile(Path("one.htm"), "1");
        WriteFile(Path("two.htm"), "2");
        Load(Path("one.htm"));
        ModalDriver driver;
        auto dialog = driver.File(Path("two.htm"));
        W<QPushButton>("LoadFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(dialog->objectName, QStringLiteral("OpenDialog1"));
        QCOMPARE(dialog->acceptMode, int(QFileDialog::AcceptOpen));
        QCOMPARE(dialog->proposed, Path("one.htm"));
        QCOMPARE(DocumentBytes(), QByteArray("2"));
    }

    void loadHidesTheFileList() {
        form->DisableCommands();
        form->EnableCommands(OffersOf(Row("xx.x.x.xxxxxx")));
        WriteFile(Path("a.htm"), "a");
        Load(Path("a.htm"));
        QCOMPARE(State(), Row("xxx...x.xx..."));
    }

    void loadCancelled() {
        WriteFile(Path("a.htm"), "kept\r\n");
        Load(Path("a.htm"));
        W<QPlainTextEdit>("Memo2")->setPlainText(QStringLiteral("kept"));
        W<QPlainTextEdit>("Memo3")->setPlainText(QStringLiteral("new"));
        QCOMPARE(PressForMessage("DoIt"), kChangedMessage);
        const Flags before = State();
        ModalDriver driver;
        driver.CancelFile();
        W<QPushButton>("LoadFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(State(), before);
        QCOMPARE(DocumentBytes(), QByteArray("new\r\n"));
        QCOMPARE(QString::fromStdString(form->CurrentFileName), Path("a.htm"));
    }

    void loadMissingFile() {
        WriteFile(Path("a.htm"), "a b\r\n");
        Load(Path("a.htm"));
        QCOMPARE(PressForMessage("OptFile"), kOptimizedMessage);
        const Flags before = State();
        const QString missing = Path("missing.htm");
        ModalDriver driver;
        driver.File(missing);
        auto error = driver.Message();
        W<QPushButton>("LoadFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(
            error->text,
            QStringLiteral("Cannot open file \"%1\". No such file or directory.").arg(missing));
        QCOMPARE(error->icon, int(QMessageBox::Critical));
        QCOMPARE(error->title, kTitle);
        QCOMPARE(State(), before);
        QVERIFY(MenuEnabled());
        QCOMPARE(DocumentBytes(), QByteArray("a b\r\n"));
        QCOMPARE(QString::fromStdString(form->CurrentFileName), Path("a.htm"));
    }

    // --- Optimize File ---------------------------------------------------------

    void optimizeFile() {
        const QByteArray text("  <p>  a\t\tb </p>  \r\n\r\n \t \r\n<br>");
        WriteFile(Path("a.htm"), text);
        Load(Path("a.htm"));
        QCOMPARE(PressForMessage("OptFile"), kOptimizedMessage);
        QCOMPARE(DocumentBytes(), QByteArray("<p> a\tb </p>\r\n<br>\r\n"));
        QCOMPARE(Shown(), QStringLiteral("<p> a\tb </p>\n<br>\n"));
        QCOMPARE(State(), Row("xx..x.x.xx..x"));
        // Before: the joined text (a CR LF is added to the last line) is 35 bytes.
        const auto before = text.size() + 2;
        const auto after = DocumentBytes().size();
        QCOMPARE(W<QLabel>("Label4")->text(), QStringLiteral("%1 bytes").arg(before - after));
        QCOMPARE(W<QLabel>("Label3")->text(), QStringLiteral("Space saved:"));
    }

    void optimizeEmptyFile() {
        WriteFile(Path("empty.htm"), "");
        Load(Path("empty.htm"));
        QCOMPARE(State(), Row("xxx...x.xx..."));
        QCOMPARE(PressForMessage("OptFile"), kEmptyMessage);
        QCOMPARE(State(), Row("xxx...x.xx..."));
        QVERIFY(W("Label4")->isHidden() || W<QLabel>("Label4")->text().isEmpty());
    }

    void optimizeWhiteSpaceOnly() {
        const QByteArray text("  \r\n\t\r\n\r\n \t \t");
        WriteFile(Path("blank.htm"), text);
        Load(Path("blank.htm"));
        QCOMPARE(PressForMessage("OptFile"), kOptimizedMessage);
        QCOMPARE(DocumentBytes(), QByteArray());
        QCOMPARE(Shown(), QString());
        QCOMPARE(W<QLabel>("Label4")->text(), QStringLiteral("%1 bytes").arg(text.size() + 2));
        // Save writes the empty text.
        ModalDriver driver;
        driver.File(Path("blank-out.htm"));
        W<QPushButton>("SaveFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QVERIFY(QFile::exists(Path("blank-out.htm")));
        QCOMPARE(ReadFile(Path("blank-out.htm")), QByteArray());
    }

    void preTag_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("warned");
        QTest::newRow("lower case") << QByteArray("<pre>  a  </pre>\n") << true;
        QTest::newRow("capitals") << QByteArray("<PRE>  a  </PRE>\n") << false;
        QTest::newRow("mixed") << QByteArray("<Pre>a</Pre>\n") << false;
        QTest::newRow("split over lines") << QByteArray("<pr\ne>\n") << false;
        QTest::newRow("after blanks") << QByteArray("   <pre>\n") << true;
    }

    void preTag() {
        QFETCH(QByteArray, text);
        QFETCH(bool, warned);
        WriteFile(Path("pre.htm"), text);
        Load(Path("pre.htm"));
        QCOMPARE(PressForMessage("OptFile"), warned ? kPreMessage : kOptimizedMessage);
        QCOMPARE(State(), Row("xx..x.x.xx..x"));
    }

    void optimizeTwice() {
        WriteFile(Path("a.htm"), "a  b\r\n  c\r\n");
        Load(Path("a.htm"));
        QCOMPARE(PressForMessage("OptFile"), kOptimizedMessage);
        QVERIFY(!W("OptFile")->isEnabledTo(form.get()));
        QCOMPARE(W<QLabel>("Label4")->text(), QStringLiteral("3 bytes"));
        QCOMPARE(PressForMessage("DoIt"), kChangedMessage); // empty pattern: no change
        QVERIFY(W("OptFile")->isEnabledTo(form.get()));
        QVERIFY(W("Label3")->isHidden());
        QVERIFY(W("Label4")->isHidden());
        QCOMPARE(PressForMessage("OptFile"), kOptimizedMessage);
        QCOMPARE(W<QLabel>("Label4")->text(), QStringLiteral("0 bytes"));
    }

    // --- Change File -------------------------------------------------------------

    void change_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<bool>("sensitive");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("absent") << QByteArray("abc\r\n") << QStringLiteral("x")
                                << QStringLiteral("y") << false << QByteArray("abc\r\n");
        QTest::newRow("ignoring case") << QByteArray("Abc aBC\r\n") << QStringLiteral("abc")
                                       << QStringLiteral("x") << false << QByteArray("x x\r\n");
        QTest::newRow("exact case") << QByteArray("Abc abc\r\n") << QStringLiteral("abc")
                                    << QStringLiteral("x") << true << QByteArray("Abc x\r\n");
        QTest::newRow("delete") << QByteArray("a<b>c\r\n") << QStringLiteral("<b>") << QString()
                                << true << QByteArray("ac\r\n");
        QTest::newRow("replacement with line break")
            << QByteArray("a;b") << QStringLiteral(";") << QStringLiteral("\n") << true
            << QByteArray("a\r\nb");
        QTest::newRow("tab") << QByteArray("a\tb") << QStringLiteral("\t") << QStringLiteral(" ")
                             << true << QByteArray("a b");
        QTest::newRow("empty pattern")
            << QByteArray("abc") << QString() << QStringLiteral("x") << false << QByteArray("abc");
        QTest::newRow("accented capitals")
            << QByteArray("\xc3\x89t\xc3\xa9") << QStringLiteral("\u00e9T\u00c9")
            << QStringLiteral("ok") << false << QByteArray("ok");
    }

    void change() {
        QFETCH(QByteArray, text);
        QFETCH(QString, find);
        QFETCH(QString, replacement);
        QFETCH(bool, sensitive);
        QFETCH(QByteArray, expected);
        WriteFile(Path("c.htm"), text);
        Load(Path("c.htm"));
        W<QPlainTextEdit>("Memo2")->setPlainText(find);
        W<QPlainTextEdit>("Memo3")->setPlainText(replacement);
        W<QCheckBox>("CheckBox2")->setChecked(sensitive);
        QCOMPARE(PressForMessage("DoIt"), kChangedMessage);
        QCOMPARE(DocumentBytes(), expected);
        QCOMPARE(State(), Row("xxx.x.x.xx..."));
    }

    void changeTwoLinePatternTyped() {
        WriteFile(Path("c.htm"), "a\nb\nc\nd\n");
        Load(Path("c.htm"));
        auto* memo2 = W<QPlainTextEdit>("Memo2");
        memo2->setFocus();
        QTest::keyClicks(memo2, QStringLiteral("B"));
        QTest::keyClick(memo2, Qt::Key_Return);
        QTest::keyClicks(memo2, QStringLiteral("c"));
        auto* memo3 = W<QPlainTextEdit>("Memo3");
        QTest::keyClicks(memo3, QStringLiteral("x"));
        QTest::keyClick(memo3, Qt::Key_Tab);
        QTest::keyClicks(memo3, QStringLiteral("y"));
        QCOMPARE(memo2->toPlainText(), QStringLiteral("B\nc"));
        QCOMPARE(memo3->toPlainText(), QStringLiteral("x\ty"));
        W<QCheckBox>("CheckBox2")->setChecked(false);
        QCOMPARE(PressForMessage("DoIt"), kChangedMessage);
        QCOMPARE(DocumentBytes(), QByteArray("a\r\nx\ty\r\nd\r\n"));
    }

    // The File menu's switches: preformatted text kept, the line breaks written
    // (the file's first break is an LF). Writing LF the figure is exactly what the
    // file loses on disk.
    void menuSwitchesShapeOptimizeAndSave_data() {
        QTest::addColumn<bool>("keepPre");
        QTest::addColumn<QString>("breaks"); // the line breaks' action
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QString>("message");
        const QString crlf = QStringLiteral("CrLfBreaks1");
        const QString lf = QStringLiteral("UnixBreaks1");
        QTest::newRow("neither") << false << crlf
                                 << QByteArray("a\r\n<pre>\r\nx\r\n</pre>\r\nb\r\n") << kPreMessage;
        QTest::newRow("LF") << false << lf << QByteArray("a\n<pre>\nx\n</pre>\nb\n") << kPreMessage;
        QTest::newRow("keep <pre>")
            << true << crlf << QByteArray("a\r\n<pre>\r\n  x  \r\n</pre>\r\nb\r\n")
            << kOptimizedMessage;
        QTest::newRow("both") << true << lf << QByteArray("a\n<pre>\n  x  \n</pre>\nb\n")
                              << kOptimizedMessage;
        QTest::newRow("as in each file") << false << QStringLiteral("KeepBreaks1")
                                         << QByteArray("a\n<pre>\nx\n</pre>\nb\n") << kPreMessage;
    }
    void menuSwitchesShapeOptimizeAndSave() {
        QFETCH(bool, keepPre);
        QFETCH(QString, breaks);
        QFETCH(QByteArray, saved);
        QFETCH(QString, message);
        const QByteArray text("  a  \n<pre>\n  x  \n</pre>\n  b\n");
        WriteFile(Path("a.htm"), text);
        A("KeepPre1")->setChecked(keepPre);
        form->findChild<QAction*>(breaks)->setChecked(true);
        // Back to the defaults before the window stores them for the next test.
        const auto switchesOff = qScopeGuard([this] {
            A("KeepPre1")->setChecked(false);
            A("CrLfBreaks1")->setChecked(true);
        });
        Load(Path("a.htm"));
        QCOMPARE(PressForMessage("OptFile"), message);
        ModalDriver driver;
        driver.File(Path("out.htm"));
        W<QPushButton>("SaveFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(ReadFile(Path("out.htm")), saved);
        if (saved.count('\r') == 0)
            QCOMPARE(W<QLabel>("Label4")->text(),
                     QStringLiteral("%1 bytes").arg(text.size() - saved.size()));
    }

    // --- Save File -----------------------------------------------------------------

    void saveProposesLoadedFile() {
        WriteFile(Path("a.htm"), "a   b\n");
        Load(Path("a.htm"));
        QVERIFY(!W("SaveFile")->isEnabledTo(form.get()));
        QCOMPARE(PressForMessage("OptFile"), kOptimizedMessage);
        const Flags optimized = State();
        ModalDriver driver;
        auto dialog = driver.File(Path("a.htm"));
        W<QPushButton>("SaveFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(dialog->objectName, QStringLiteral("SaveDialog1"));
        QCOMPARE(dialog->acceptMode, int(QFileDialog::AcceptSave));
        QCOMPARE(dialog->proposed, Path("a.htm"));
        QCOMPARE(ReadFile(Path("a.htm")), QByteArray("a b\r\n"));
        Flags saved = optimized;
        saved[4] = false;
        QCOMPARE(State(), saved);
    }

    void saveUnderAnotherNameThenAgain() {
        WriteFile(Path("a.htm"), "a  b\n");
        Load(Path("a.htm"));
        QCOMPARE(PressForMessage("OptFile"), kOptimizedMessage);
        {
            ModalDriver driver;
            driver.File(Path("other.htm"));
            W<QPushButton>("SaveFile")->click();
            QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        }
        QCOMPARE(ReadFile(Path("other.htm")), QByteArray("a b\r\n"));
        QCOMPARE(ReadFile(Path("a.htm")), QByteArray("a  b\n"));
        QCOMPARE(QString::fromStdString(form->CurrentFileName), Path("a.htm"));
        W<QPlainTextEdit>("Memo2")->setPlainText(QStringLiteral("b"));
        W<QPlainTextEdit>("Memo3")->setPlainText(QStringLiteral("c"));
        QCOMPARE(PressForMessage("DoIt"), kChangedMessage);
        ModalDriver driver;
        auto dialog = driver.File(Path("third.htm"));
        W<QPushButton>("SaveFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(dialog->proposed, Path("a.htm"));
        QCOMPARE(ReadFile(Path("third.htm")), QByteArray("a c\r\n"));
    }

    void saveCancelled() {
        WriteFile(Path("a.htm"), "a  b\n");
        Load(Path("a.htm"));
        QCOMPARE(PressForMessage("OptFile"), kOptimizedMessage);
        const Flags before = State();
        ModalDriver driver;
        driver.CancelFile();
        W<QPushButton>("SaveFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(State(), before);
        QCOMPARE(ReadFile(Path("a.htm")), QByteArray("a  b\n"));
    }

    void saveUnwritableTarget() {
        WriteFile(Path("a.htm"), "a  b\n");
        Load(Path("a.htm"));
        QCOMPARE(PressForMessage("OptFile"), kOptimizedMessage);
        const Flags before = State();
        // The parent of the target is a regular file: no one can create it.
        const QString target = Path("a.htm") + QStringLiteral("/out.htm");
        ModalDriver driver;
        driver.File(target);
        auto error = driver.Message();
        W<QPushButton>("SaveFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(error->icon, int(QMessageBox::Critical));
        QCOMPARE(error->title, kTitle);
        QCOMPARE(error->text,
                 QStringLiteral("Cannot create file \"%1\". Not a directory.").arg(target));
        QCOMPARE(State(), before);
        QVERIFY(W("SaveFile")->isEnabledTo(form.get()));
        QCOMPARE(ReadFile(Path("a.htm")), QByteArray("a  b\n"));
    }

    // --- a command that fails part-way -------------------------------------------

    // A failed Load File leaves the capacity set for the next fill; a change that
    // then makes the text longer than it lets Optimize File fail while it refills
    // the view. The window goes back to what it offered before, with its text.
    void failedCommandRestoresTheWindow() {
        WriteFile(Path("a.htm"), "a\n");
        Load(Path("a.htm"));
        {
            ModalDriver driver;
            driver.File(Path("missing.htm"));
            driver.Message();
            W<QPushButton>("LoadFile")->click();
            QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        }
        QString longText;
        const QString line(99, QLatin1Char('x'));
        for (int i = 0; i < 11000; ++i)
            longText += line + QLatin1Char('\n');
        W<QPlainTextEdit>("Memo2")->setPlainText(QStringLiteral("a"));
        W<QPlainTextEdit>("Memo3")->setPlainText(longText);
        W<QCheckBox>("CheckBox2")->setChecked(true);
        QCOMPARE(PressForMessage("DoIt"), kChangedMessage);
        const Flags changed = State();
        QCOMPARE(changed, Row("xxx.x.x.xx..."));
        const QByteArray textBefore = DocumentBytes();
        QVERIFY(textBefore.size() > 0xFFFFF);

        ModalDriver driver;
        auto error = driver.Message();
        W<QPushButton>("OptFile")->click();
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(error->icon, int(QMessageBox::Critical));
        QCOMPARE(error->text, QStringLiteral("RichEdit line insertion error."));
        QCOMPARE(State(), changed);
        QVERIFY(MenuEnabled());
        QVERIFY(W("CheckBox2")->isEnabledTo(form.get()));
        QCOMPARE(DocumentBytes(), textBefore);
        QCOMPARE(Shown().size(), QString::fromUtf8(textBefore).size() - 11001);
    }

    // --- menu and secondary windows ----------------------------------------------

    void menuShowsHelpAndAbout() {
        TForm2 help;
        TForm3 about;
        Form2 = &help;
        Form3 = &about;
        form->show();
        A("Quit1")->trigger();
        A("Quit1")->trigger();
        QVERIFY(help.isVisible());
        help.PageControl1->setCurrentIndex(1);
        help.close();
        QVERIFY(!help.isVisible());
        A("Quit1")->trigger();
        QVERIFY(help.isVisible());
        QCOMPARE(help.PageControl1->currentIndex(), 1);
        A("About1")->trigger();
        QVERIFY(about.isVisible());
        int helpWindows = 0;
        int aboutWindows = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            helpWindows += qobject_cast<TForm2*>(w) != nullptr;
            aboutWindows += qobject_cast<TForm3*>(w) != nullptr;
        }
        QCOMPARE(helpWindows, 1);
        QCOMPARE(aboutWindows, 1);

        // Closing the main window ends the program although both are open.
        QVERIFY(!help.testAttribute(Qt::WA_QuitOnClose));
        QVERIFY(!about.testAttribute(Qt::WA_QuitOnClose));
        QVERIFY(help.isVisible());
        QVERIFY(about.isVisible());
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QTimer::singleShot(0, this, [this] { A("Quit2")->trigger(); });
        QTimer hangGuard;
        hangGuard.setSingleShot(true);
        connect(&hangGuard, &QTimer::timeout, this, [] { QCoreApplication::exit(2); });
        hangGuard.start(30000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!form->isVisible());
        QCOMPARE(lastClosed.count(), 1);
        Form2 = nullptr;
        Form3 = nullptr;
    }

    // --- creation and destruction -------------------------------------------------

    void optionsSurviveARestart_data() {
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<bool>("sensitive");
        QTest::newRow("neither") << false << false;
        QTest::newRow("recursive") << true << false;
        QTest::newRow("sensitive") << false << true;
        QTest::newRow("both") << true << true;
    }

    void optionsSurviveARestart() {
        QFETCH(bool, recursive);
        QFETCH(bool, sensitive);
        W<QCheckBox>("CheckBox1")->setChecked(recursive);
        W<QCheckBox>("CheckBox2")->setChecked(sensitive);
        form->resize(640, 480);
        form.reset(); // FormDestroy stores the placement and the options
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        QCOMPARE(W<QCheckBox>("CheckBox1")->isChecked(), recursive);
        QCOMPARE(W<QCheckBox>("CheckBox2")->isChecked(), sensitive);
        QCOMPARE(form->size(), QSize(640, 480));
    }

    // Where the file dialogs start after a restart: the folder last confirmed.
    void lastFolderSurvivesARestart_data() {
        QTest::addColumn<QString>("confirmed");
        QTest::newRow("Load File") << QStringLiteral("LoadFile");
        QTest::newRow("Load Dir") << QStringLiteral("LoadDir");
        QTest::newRow("Save File") << QStringLiteral("SaveFile");
    }

    void lastFolderSurvivesARestart() {
        QFETCH(QString, confirmed);
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sub")));
        const QString sub = Path("sub");
        WriteFile(Path("sub/a.htm"), "a");
        if (confirmed == QLatin1String("SaveFile")) {
            WriteFile(Path("b.htm"), "b");
            Load(Path("b.htm"));
            QCOMPARE(PressForMessage("OptFile"), kOptimizedMessage);
        }
        {
            ModalDriver driver;
            driver.File(confirmed == QLatin1String("LoadDir") ? sub + QStringLiteral("/Directory")
                                                              : sub + QStringLiteral("/a.htm"));
            W<QPushButton>(qPrintable(confirmed))->click();
            QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        }
        QVERIFY(QTest::qWaitFor([&] { return !form->BaseScanner1->IsScanning(); }, 30000));
        form.reset();
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        for (const char* button : {"LoadFile", "LoadDir"}) {
            ModalDriver driver;
            driver.CancelFile();
            W<QPushButton>(button)->click();
            QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        }
        QCOMPARE(W<QFileDialog>("OpenDialog1")->directory().absolutePath(), sub);
        QCOMPARE(W<QFileDialog>("OpenDialog2")->directory().absolutePath(), sub);
    }

    // A file or folder named on the command line, or dropped on the window.
    void openFromTheDesktop_data() {
        QTest::addColumn<bool>("drop");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("listed"); // -1: a file to load
        QTest::addColumn<QString>("error");
        const QString missing =
            QStringLiteral("Cannot open file \"%1\". No such file or directory.");
        for (const bool drop : {false, true}) {
            const char* how = drop ? "drop: " : "argument: ";
            QTest::addRow("%sfile", how) << drop << QStringLiteral("a.htm") << -1 << QString();
            QTest::addRow("%sfolder", how) << drop << QStringLiteral("site") << 2 << QString();
            QTest::addRow("%sfolder/", how) << drop << QStringLiteral("site/") << 2 << QString();
            QTest::addRow("%smissing", how) << drop << QStringLiteral("gone.htm") << -1 << missing;
        }
    }

    void openFromTheDesktop() {
        QFETCH(bool, drop);
        QFETCH(QString, name);
        QFETCH(int, listed);
        QFETCH(QString, error);
        WriteFile(Path("a.htm"), "<p>a</p>\n");
        QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("site/sub")));
        WriteFile(Path("site/x.htm"), "x");
        WriteFile(Path("site/sub/y.html"), "y");
        WriteFile(Path("site/z.txt"), "z");
        W<QCheckBox>("CheckBox1")->setChecked(true);
        const QString path = Path(qPrintable(name));
        ModalDriver driver;
        auto message = error.isEmpty() ? nullptr : driver.Message();
        if (drop) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &data, Qt::LeftButton,
                                  Qt::NoModifier);
            QCoreApplication::sendEvent(form.get(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(QPointF(300, 200), Qt::CopyAction, &data, Qt::LeftButton,
                               Qt::NoModifier);
            QCoreApplication::sendEvent(form.get(), &dropped);
        } else {
            form->OpenPaths({path.toStdString()});
        }
        QTRY_VERIFY2(driver.Done(), qPrintable(driver.Failures()));
        if (message) {
            QCOMPARE(message->text, error.arg(path));
            QCOMPARE(message->icon, int(QMessageBox::Critical));
        } else if (listed < 0) {
            QTRY_COMPARE(DocumentBytes(), QByteArray("<p>a</p>\r\n"));
            QCOMPARE(QString::fromStdString(form->CurrentFileName), path);
        } else {
            QTRY_VERIFY(!form->BaseScanner1->IsScanning());
            QTRY_COMPARE(form->FileList().Count(), std::size_t(listed));
            QCOMPARE(QString::fromStdString(form->FileList().Entry(0)), Path("site/sub/y.html"));
            QCOMPARE(QString::fromStdString(form->Batch().ListedFolder()), Path("site/"));
        }
    }

    // --- the scanner and its events ---------------------------------------------

    void scannerDesignValues() {
        auto* scanner = form->findChild<TBaseScanner*>(QStringLiteral("BaseScanner1"));
        QVERIFY(scanner != nullptr);
        QCOMPARE(scanner, form->BaseScanner1);
        QCOMPARE(scanner->Directory(), std::string("C:\\"));
        QCOMPARE(scanner->Files(), std::string("*"));
        QCOMPARE(scanner->ScanStrategy(), ssSpecifiedDir);
        QVERIFY(scanner->ScanDrives() == (TScanDrives{sdHard, sdCDROM, sdRAM, sdNetwork}));
        QVERIFY(scanner->Attributes().empty());
        QVERIFY(!scanner->Recursive());
        QCOMPARE(scanner->Priority(), tpTimeCritical);
        QVERIFY(bool(scanner->OnFileFound));
        QVERIFY(bool(scanner->OnProcessDone));
    }

    void filesFoundAreListedInOrder() {
        form->DisableCommands();
        const QString caption = QStringLiteral(
            "] Files that are going to be modified: (Click panel to hide, file to view)");
        form->BaseScanner1FileFound("b.htm", "/site/", 0, 0, 0.0);
        QVERIFY(!W("ListBox1")->isHidden());
        QVERIFY(!W("Panel1")->isHidden());
        QCOMPARE(W<QLabel>("Panel1")->text(), QStringLiteral("[1") + caption);
        form->BaseScanner1FileFound("A.htm", "/site/sub", 0, 0, 0.0);
        form->BaseScanner1FileFound("c.htm", "/site", 0, 0, 0.0);
        QCOMPARE(W<QLabel>("Panel1")->text(), QStringLiteral("[3") + caption);
        const TFileListModel& list = form->FileList();
        QCOMPARE(list.Count(), std::size_t(3));
        QCOMPARE(list.Entry(0), std::string("/site/b.htm"));
        QCOMPARE(list.Entry(1), std::string("/site/c.htm"));
        QCOMPARE(list.Entry(2), std::string("/site/sub/A.htm"));
        auto* view = W<QListView>("ListBox1");
        QCOMPARE(view->model()->rowCount(), 3);
        QCOMPARE(view->model()->index(2, 0).data().toString(), QStringLiteral("/site/sub/A.htm"));
        form->BaseScanner1ProcessDone(3, 0);
        QCOMPARE(State(), Row("xx.x...xxxxx."));
        QVERIFY(MenuEnabled());
    }

    void scanWithoutFiles() {
        form->DisableCommands();
        form->BaseScanner1ProcessDone(0, 0);
        QCOMPARE(State(), Row("xx......xx.x."));
    }

    void listSortIgnoresCase_data() {
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("case") << QStringList{QStringLiteral("b"), QStringLiteral("A"),
                                             QStringLiteral("a"), QStringLiteral("B")}
                              << QStringList{QStringLiteral("/A"), QStringLiteral("/a"),
                                             QStringLiteral("/b"), QStringLiteral("/B")};
        QTest::newRow("digits and letters")
            << QStringList{QStringLiteral("z1"), QStringLiteral("Z0"), QStringLiteral("10")}
            << QStringList{QStringLiteral("/10"), QStringLiteral("/Z0"), QStringLiteral("/z1")};
    }

    void listSortIgnoresCase() {
        QFETCH(QStringList, found);
        QFETCH(QStringList, listed);
        for (const QString& name : found)
            form->BaseScanner1FileFound(name.toStdString(), "/", 0, 0, 0.0);
        QStringList entries;
        for (std::size_t i = 0; i < form->FileList().Count(); ++i)
            entries << QString::fromStdString(form->FileList().Entry(i));
        QCOMPARE(entries, listed);
    }

    void clickOnListEntryShowsTheFile() {
        WriteFile(Path("a.htm"), "first\n");
        WriteFile(Path("b.htm"), "second\r\n");
        form->DisableCommands();
        form->BaseScanner1FileFound("b.htm", dir->path().toStdString(), 0, 0, 0.0);
        form->BaseScanner1FileFound("a.htm", dir->path().toStdString(), 0, 0, 0.0);
        form->BaseScanner1FileFound("gone.htm", dir->path().toStdString(), 0, 0, 0.0);
        form->BaseScanner1ProcessDone(3, 0);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto* list = W<QListView>("ListBox1");
        auto click = [&](int row) {
            const QRect place = list->visualRect(list->model()->index(row, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
        };
        click(1);
        QCOMPARE(DocumentBytes(), QByteArray("second\r\n"));
        QCOMPARE(Shown(), QStringLiteral("second\n"));
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(DocumentBytes(), QByteArray("first\r\n"));
        const Flags before = State();
        ModalDriver driver;
        auto error = driver.Message();
        click(2);
        QVERIFY2(driver.Done(), qPrintable(driver.Failures()));
        QCOMPARE(error->text, QStringLiteral("Cannot open file \"%1\". No such file or directory.")
                                  .arg(Path("gone.htm")));
        QCOMPARE(DocumentBytes(), QByteArray("first\r\n"));
        QCOMPARE(State(), before);
    }

    void panelClickTogglesTheList() {
        form->BaseScanner1FileFound("a.htm", "/site", 0, 0, 0.0);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto* panel = W<QLabel>("Panel1");
        QVERIFY(!W("ListBox1")->isHidden());
        QTest::mouseClick(panel, Qt::LeftButton, {}, panel->rect().center());
        QVERIFY(W("ListBox1")->isHidden());
        QTest::mouseClick(panel, Qt::LeftButton, {}, panel->rect().center());
        QVERIFY(!W("ListBox1")->isHidden());
    }

    void menuDisabledWhileBusy() {
        form->DisableCommands();
        QVERIFY(!W<QMenu>("File1")->menuAction()->isEnabled());
        QVERIFY(!A("About1")->isEnabled());
        form->EnableCommands(OffersOf(Row("xx......xx.x.")));
        QVERIFY(MenuEnabled());
    }
};

QTEST_MAIN(TestUnit1)
#include "tst_unit1.moc"
