// The file types window "Files to modify": its frame, controls and layout, the
// list filled from FileTypes and UncheckedTypes, "Add" with its messages,
// "Default", "Save" (to the two strings and the hive file of the test's own
// XDG_CONFIG_HOME) and "Cancel".

#include "app/windows/Unit4.h"
#include "settings/FileTypeLists.h"
#include "settings/HiveFixture.h"
#include "settings/Settings.h"

#include <QCheckBox>

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

using namespace hive_fixture;

namespace {

// The list as "text+" for a checked entry and "text-" for an unchecked one.
QStringList Entries(const TForm4& form) {
    QStringList entries;
    for (int row = 0; row < form.CheckListBox1->count(); ++row) {
        const QListWidgetItem* item = form.CheckListBox1->item(row);
        entries.append(item->text() +
                       (item->checkState() == Qt::Checked ? QLatin1Char('+') : QLatin1Char('-')));
    }
    return entries;
}

// The same through the list's model: the text and check mark roles.
QStringList ModelEntries(const TForm4& form) {
    QStringList entries;
    const QAbstractItemModel* model = form.CheckListBox1->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        const bool checked = model->data(index, Qt::CheckStateRole).toInt() == Qt::Checked;
        entries.append(model->data(index, Qt::DisplayRole).toString() +
                       (checked ? QLatin1Char('+') : QLatin1Char('-')));
    }
    return entries;
}

void SetLists(const char* fileTypes, const char* uncheckedTypes) {
    // Moved in from a new string: GCC 12 warns (-Wrestrict, wrongly) about the
    // assignment of a literal.
    FileTypes = std::string(fileTypes);
    UncheckedTypes = std::string(uncheckedTypes);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QRect InWindow(const QWidget* widget) {
    return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

void ShowAndActivate(QWidget& form) {
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

const QStringList kDefaultEntries{
    QStringLiteral("*.htm+"),   QStringLiteral("*.html+"),  QStringLiteral("*.php+"),
    QStringLiteral("*.php3+"),  QStringLiteral("*.php4+"),  QStringLiteral("*.asp+"),
    QStringLiteral("*.jsp+"),   QStringLiteral("*.phtm+"),  QStringLiteral("*.phtml+"),
    QStringLiteral("*.shtm+"),  QStringLiteral("*.shtml+"), QStringLiteral("*.xhtm+"),
    QStringLiteral("*.xhtml+"), QStringLiteral("*.css+"),   QStringLiteral("*.cgi+"),
    QStringLiteral("*.pl+")};

} // namespace

class TestUnit4 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        ResetHive();
        SetLists("", "");
    }
    void cleanupTestCase() { ResetHive(); }

    void windowFrame();
    void controls_data();
    void controls();
    void layoutAtDesignSize();
    void layoutFollowsResize();
    void focusOrder();
    void listLooksAndSearch();
    void memoDoesNotTakeEnter();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
    void windowSystemCloseCancels();
    void messagesAreChildren_data();
    void messagesAreChildren();

    void fillList_data();
    void fillList();
    void checkMarkToggles();

    void add_data();
    void add();
    void addKeepsStringsAndStore();
    void defaultThenCancel();
    void saveSplitsCheckedAndUnchecked();
    void saveAllUnchecked();
    void saveWithUnopenableStore();
    void saveWithRefusedWrite();
};

void TestUnit4::windowFrame() {
    TForm4 form;
    QCOMPARE(form.objectName(), QStringLiteral("Form4"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Files to modify"));
    QVERIFY(!form.parentWidget());
    QVERIFY(!form.isVisible()); // created hidden
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags.testFlag(Qt::Window));
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(!flags.testFlag(Qt::FramelessWindowHint));
    QCOMPARE(form.minimumSize(), QSize(306, 141));
    QCOMPARE(form.geometry(), QRect(324, 191, 306, 336));
    QCOMPARE(form.font().pointSize(), 8);
    QCOMPARE(form.font().styleHint(), QFont::SansSerif);
    QCOMPARE(form.Memo1->font().pointSize(), 8);
    QVERIFY(!form.windowIcon().isNull());
}

void TestUnit4::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Label2")
        << QStringLiteral("Label2") << QStringLiteral("QLabel")
        << QStringLiteral("Select the files you want the program to modify when using the \"Load "
                          "Dir\" function. You can also add new file types below.");
    QTest::newRow("Label1") << QStringLiteral("Label1") << QStringLiteral("QLabel")
                            << QStringLiteral("Add new file type");
    QTest::newRow("Button3") << QStringLiteral("Button3") << QStringLiteral("QPushButton")
                             << QStringLiteral("Add");
    QTest::newRow("Button4") << QStringLiteral("Button4") << QStringLiteral("QPushButton")
                             << QStringLiteral("Default");
    QTest::newRow("Button2") << QStringLiteral("Button2") << QStringLiteral("QPushButton")
                             << QStringLiteral("Save");
    QTest::newRow("Button1") << QStringLiteral("Button1") << QStringLiteral("QPushButton")
                             << QStringLiteral("Cancel");
    QTest::newRow("CheckListBox1")
        << QStringLiteral("CheckListBox1") << QStringLiteral("QListWidget") << QString();
    QTest::newRow("Memo1") << QStringLiteral("Memo1") << QStringLiteral("QPlainTextEdit")
                           << QString();
}

void TestUnit4::controls() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, caption);
    TForm4 form;
    QWidget* control = form.findChild<QWidget*>(name);
    QVERIFY(control);
    QVERIFY(control->inherits(className.toLatin1().constData()));
    if (auto* label = qobject_cast<QLabel*>(control)) {
        QCOMPARE(label->text(), caption);
    } else if (auto* button = qobject_cast<QPushButton*>(control)) {
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->size(), QSize(name == QLatin1String("Button3") ? 33 : 75,
                                       name == QLatin1String("Button3") ? 20 : 25));
        QVERIFY(button->autoDefault()); // Enter on the focused button presses it
        QVERIFY(!button->isDefault());
    }
    QVERIFY(control->isEnabled());
    QVERIFY(form.Label2->wordWrap());
    QVERIFY(form.Memo1->toPlainText().isEmpty());
}

void TestUnit4::layoutAtDesignSize() {
    TForm4 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.size(), QSize(306, 336));
    // The instruction takes the lines the font needs (at least two); the label
    // band is as wide as its caption needs (at least 97).
    const int top = std::max(26, form.Label2->heightForWidth(306));
    const int band = std::max(97, form.Panel4->sizeHint().width());
    QCOMPARE(InWindow(form.Label2), QRect(0, 0, 306, top));
    QCOMPARE(InWindow(form.CheckListBox1), QRect(0, top, 306, 336 - top - 69));
    QCOMPARE(InWindow(form.Panel1), QRect(0, 336 - 69, 306, 69));
    QCOMPARE(InWindow(form.Panel2), QRect(0, 267, 306, 9));
    QCOMPARE(InWindow(form.Panel3), QRect(0, 276, 306, 19));
    QCOMPARE(InWindow(form.Panel6), QRect(0, 295, 306, 41));
    QCOMPARE(InWindow(form.Panel4), QRect(0, 276, band, 19));
    QCOMPARE(InWindow(form.Memo1), QRect(band, 276, 306 - band - 33, 19));
    QCOMPARE(InWindow(form.Panel5), QRect(306 - 33, 276, 33, 19));
    QCOMPARE(form.Button3->geometry(), QRect(0, 0, 33, 20));
    QCOMPARE(form.Button1->geometry(), QRect(6, 8, 75, 25));
    QCOMPARE(form.Button4->geometry(), QRect(113, 8, 75, 25));
    QCOMPARE(form.Button2->geometry(), QRect(217, 7, 75, 25));
    QCOMPARE(form.Panel2->frameShadow(), QFrame::Raised);
    QCOMPARE(form.Panel4->frameShadow(), QFrame::Raised);
    QCOMPARE(form.Panel6->frameShadow(), QFrame::Raised);
}

void TestUnit4::layoutFollowsResize() {
    TForm4 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(406, 436);
    QTRY_COMPARE(form.size(), QSize(406, 436));
    const int top = std::max(26, form.Label2->heightForWidth(406));
    const int band = std::max(97, form.Panel4->sizeHint().width());
    QCOMPARE(InWindow(form.CheckListBox1), QRect(0, top, 406, 436 - top - 69));
    QCOMPARE(InWindow(form.Panel1), QRect(0, 436 - 69, 406, 69));
    QCOMPARE(InWindow(form.Memo1).width(), 406 - band - 33);
    QCOMPARE(InWindow(form.Panel5).x(), 406 - 33);
    QCOMPARE(form.Button1->geometry(), QRect(6, 8, 75, 25));
    QCOMPARE(form.Button4->geometry(), QRect(163, 8, 75, 25)); // kept to the centre
    QCOMPARE(form.Button2->geometry(), QRect(317, 7, 75, 25)); // kept to the right edge
    form.resize(100, 50);
    QTRY_COMPARE(form.size(), QSize(306, 141)); // the minimum size
}

void TestUnit4::focusOrder() {
    TForm4 form;
    ShowAndActivate(form);
    form.CheckListBox1->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), form.CheckListBox1);
    const QList<QWidget*> expected{form.Memo1,   form.Button4, form.Button1,
                                   form.Button2, form.Button3, form.CheckListBox1};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
    QCOMPARE(form.Label2->focusPolicy(), Qt::NoFocus);
}

void TestUnit4::listLooksAndSearch() {
    SetLists("*.htm;*.css;*.cgi", "");
    TForm4 form;
    ShowAndActivate(form);
    QCOMPARE(form.CheckListBox1->palette().color(QPalette::Base),
             form.CheckListBox1->palette().color(QPalette::Button));
    QCOMPARE(form.CheckListBox1->visualItemRect(form.CheckListBox1->item(0)).height(), 13);
    QCOMPARE(form.CheckListBox1->visualItemRect(form.CheckListBox1->item(2)).top(), 26);
    // Typing does not search the list.
    form.CheckListBox1->setFocus();
    form.CheckListBox1->setCurrentRow(0);
    QTest::keyClicks(form.CheckListBox1, QStringLiteral("*.c"));
    QCOMPARE(form.CheckListBox1->currentRow(), 0);
    QCOMPARE(Entries(form), (QStringList{QStringLiteral("*.htm+"), QStringLiteral("*.css+"),
                                         QStringLiteral("*.cgi+")}));
}

void TestUnit4::memoDoesNotTakeEnter() {
    TForm4 form;
    ShowAndActivate(form);
    form.Memo1->setFocus();
    QTest::keyClicks(form.Memo1, QStringLiteral("*.a b"));
    // Enter adds the new type instead of breaking its line.
    const int entries = form.CheckListBox1->count();
    QTest::keyClick(form.Memo1, Qt::Key_Return);
    QCOMPARE(form.CheckListBox1->count(), entries + 1);
    QCOMPARE(form.CheckListBox1->item(entries)->text(), QStringLiteral("*.a b"));
    QCOMPARE(form.Memo1->toPlainText(), QStringLiteral("*.a b"));
    QCOMPARE(Q(form.MemoText()), QStringLiteral("*.a b"));
    QTest::keyClick(form.Memo1, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(form.Memo1, QStringLiteral("c"));
    QCOMPARE(Q(form.MemoText()), QStringLiteral("*.a b\r\nc"));
    // No-break spaces stay what they are.
    form.Memo1->setPlainText(QStringLiteral("a") + QChar(0x00A0) + QStringLiteral("b"));
    QCOMPARE(form.MemoText(), std::string("a\xC2\xA0"
                                          "b"));
}

void TestUnit4::enterPressesTheFocusedButton_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("entries"); // afterwards; empty: the window is closed
    QTest::addColumn<QString>("saved");       // FileTypes afterwards
    QTest::newRow("Add, Return") << "Button3" << int(Qt::Key_Return)
                                 << QStringList{QStringLiteral("*.a+"), QStringLiteral("*.b+")}
                                 << "*.a";
    QTest::newRow("Default, Enter") << "Button4" << int(Qt::Key_Enter) << kDefaultEntries << "*.a";
    QTest::newRow("Cancel, Return") << "Button1" << int(Qt::Key_Return) << QStringList() << "*.a";
    QTest::newRow("Save, Return") << "Button2" << int(Qt::Key_Return) << QStringList() << "*.a;*.b";
}

// Enter on the focused button presses it (Escape is the window's Cancel).
void TestUnit4::enterPressesTheFocusedButton() {
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(QStringList, entries);
    QFETCH(QString, saved);
    SetLists("*.a", "");
    TForm4 form;
    ShowAndActivate(form);
    form.Memo1->setPlainText(QStringLiteral("*.b"));
    if (button == QLatin1String("Button2"))
        form.Button3->click(); // "*.b" listed, to be saved
    auto* pressed = form.findChild<QPushButton*>(button);
    pressed->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), pressed);
    const QList<ShownBox> boxes = AnswerBoxes([&] { QTest::keyClick(pressed, Qt::Key(key)); });
    QCOMPARE(boxes.size(), 0);
    QCOMPARE(form.isVisible(), !entries.isEmpty());
    if (!entries.isEmpty())
        QCOMPARE(Entries(form), entries);
    QCOMPARE(Q(FileTypes), saved);
}

void TestUnit4::windowSystemCloseCancels() {
    SetLists("*.htm", "*.css");
    TForm4 form;
    ShowAndActivate(form);
    form.CheckListBox1->item(0)->setCheckState(Qt::Unchecked);
    // A close request of the window system (its close box, Alt+F4) acts as
    // "Cancel". (sendEvent would clear the spontaneous mark, so the handler is
    // called directly, as the window's event() calls it.)
    struct Access : TForm4 {
        using TForm4::closeEvent;
    };
    void (TForm4::*const closeHandler)(QCloseEvent*) = &Access::closeEvent;
    QCloseEvent request;
    QSpontaneKeyEvent::setSpontaneous(&request);
    (form.*closeHandler)(&request);
    QVERIFY(request.isAccepted());
    QCOMPARE(Entries(form), (QStringList{QStringLiteral("*.htm+"), QStringLiteral("*.css-")}));
    QCOMPARE(Q(FileTypes), QStringLiteral("*.htm"));
    QVERIFY(!QFile::exists(HivePath()));
    // The program itself closes it too (at its end).
    ShowAndActivate(form);
    QVERIFY(form.close());
    QVERIFY(!form.isVisible());
}

void TestUnit4::messagesAreChildren_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("exists") << QStringLiteral("*.htm");
    QTest::newRow("invalid") << QStringLiteral("a;b");
}

void TestUnit4::messagesAreChildren() {
    // The window is kept on top; its messages are its children, so they stay
    // above it.
    QFETCH(QString, text);
    SetLists("*.htm", "");
    TForm4 form;
    ShowAndActivate(form);
    form.Memo1->setPlainText(text);
    QList<QWidget*> parents;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            parents.append(box->parentWidget());
            box->accept();
        }
    });
    poll.start(5);
    form.Button3->click();
    QCOMPARE(parents, QList<QWidget*>{&form});
}

void TestUnit4::fillList_data() {
    QTest::addColumn<QString>("fileTypes");
    QTest::addColumn<QString>("uncheckedTypes");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("both empty") << QString() << QString() << QStringList();
    QTest::newRow("defaults") << Q(DefaultTypeList) << QString() << kDefaultEntries;
    QTest::newRow("empty middle entry")
        << QStringLiteral("*.htm;;*.css") << QString()
        << QStringList{QStringLiteral("*.htm+"), QStringLiteral("+"), QStringLiteral("*.css+")};
    QTest::newRow("trailing separator")
        << QStringLiteral("*.htm;") << QString() << QStringList{QStringLiteral("*.htm+")};
    QTest::newRow("leading separator")
        << QStringLiteral(";*.htm") << QString()
        << QStringList{QStringLiteral("+"), QStringLiteral("*.htm+")};
    QTest::newRow("lone separator")
        << QStringLiteral(";") << QString() << QStringList{QStringLiteral("+")};
    QTest::newRow("checked first")
        << QStringLiteral("a;c") << QStringLiteral("b")
        << QStringList{QStringLiteral("a+"), QStringLiteral("c+"), QStringLiteral("b-")};
    QTest::newRow("only unchecked")
        << QString() << QStringLiteral("x;;y;")
        << QStringList{QStringLiteral("x-"), QStringLiteral("-"), QStringLiteral("y-")};
    QTest::newRow("duplicates kept")
        << QStringLiteral("*.a;*.a") << QStringLiteral("*.a")
        << QStringList{QStringLiteral("*.a+"), QStringLiteral("*.a+"), QStringLiteral("*.a-")};
    QTest::newRow("blanks and colon kept")
        << QStringLiteral(" *.a ;c:x") << QString()
        << QStringList{QStringLiteral(" *.a +"), QStringLiteral("c:x+")};
    QTest::newRow("utf-8") << QStringLiteral("*.\u00e4") << QString()
                           << QStringList{QStringLiteral("*.\u00e4+")};
}

void TestUnit4::fillList() {
    QFETCH(QString, fileTypes);
    QFETCH(QString, uncheckedTypes);
    QFETCH(QStringList, entries);
    FileTypes = fileTypes.toStdString();
    UncheckedTypes = uncheckedTypes.toStdString();
    TForm4 form; // fills the list when it is created
    QCOMPARE(Entries(form), entries);
    QCOMPARE(ModelEntries(form), entries);
    // Cancel fills it again the same way.
    form.CheckListBox1->clear();
    form.Button1->click();
    QCOMPARE(Entries(form), entries);
}

void TestUnit4::checkMarkToggles() {
    SetLists("a;b", "");
    TForm4 form;
    ShowAndActivate(form);
    QListWidget* list = form.CheckListBox1;
    list->setFocus();
    list->setCurrentRow(1);
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(Entries(form), (QStringList{QStringLiteral("a+"), QStringLiteral("b-")}));
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(Entries(form), (QStringList{QStringLiteral("a+"), QStringLiteral("b+")}));
    // A click in the first entry's check box.
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.rect = list->visualItemRect(list->item(0));
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = list->item(0)->text();
    option.font = list->font();
    const QRect box =
        list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    QCOMPARE(Entries(form), (QStringList{QStringLiteral("a-"), QStringLiteral("b+")}));
    // A click on the text selects without toggling.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center() + QPoint(40, 0));
    QCOMPARE(Entries(form), (QStringList{QStringLiteral("a-"), QStringLiteral("b+")}));
    // The strings change only with Save.
    QCOMPARE(Q(FileTypes), QStringLiteral("a;b"));
}

void TestUnit4::add_data() {
    QTest::addColumn<QString>("fileTypes");
    QTest::addColumn<QString>("uncheckedTypes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("appended"); // "" when nothing is appended
    const QString exists = QStringLiteral("That file type already exists.");
    const QString invalid = QStringLiteral("That file type is not valid.");
    const QString empty = QStringLiteral("Please fill in a file type.");
    const QString htm = QStringLiteral("*.htm");
    QTest::newRow("new type") << htm << QString() << QStringLiteral("*.inc") << QStringList()
                              << QStringLiteral("*.inc");
    QTest::newRow("other letter case")
        << htm << QString() << QStringLiteral("*.HTM") << QStringList() << QStringLiteral("*.HTM");
    QTest::newRow("trailing blank") << htm << QString() << QStringLiteral("*.htm ") << QStringList()
                                    << QStringLiteral("*.htm ");
    QTest::newRow("star") << htm << QString() << QStringLiteral("*") << QStringList()
                          << QStringLiteral("*");
    QTest::newRow("star dot star")
        << htm << QString() << QStringLiteral("*.*") << QStringList() << QStringLiteral("*.*");
    QTest::newRow("bracket") << htm << QString() << QStringLiteral("[abc") << QStringList()
                             << QStringLiteral("[abc");
    QTest::newRow("blank only") << htm << QString() << QStringLiteral(" ") << QStringList()
                                << QStringLiteral(" ");
    QTest::newRow("exists checked") << htm << QString() << htm << QStringList{exists} << QString();
    QTest::newRow("exists unchecked")
        << QString() << htm << htm << QStringList{exists} << QString();
    QTest::newRow("empty") << htm << QString() << QString() << QStringList{empty} << QString();
    QTest::newRow("semicolon") << htm << QString() << QStringLiteral("a;b") << QStringList{invalid}
                               << QString();
    QTest::newRow("exists and invalid") << htm << QStringLiteral("c:x") << QStringLiteral("c:x")
                                        << QStringList{exists, invalid} << QString();
    const char* const refused[] = {"/", "\\", ":", "?", "\"", "<", ">", "|"};
    for (const char* character : refused) {
        const QString text = QStringLiteral("*.a") + QLatin1String(character);
        QTest::newRow(qPrintable(QStringLiteral("refused ") + QLatin1String(character)))
            << htm << QString() << text << QStringList{invalid} << QString();
    }
}

void TestUnit4::add() {
    QFETCH(QString, fileTypes);
    QFETCH(QString, uncheckedTypes);
    QFETCH(QString, text);
    QFETCH(QStringList, messages);
    QFETCH(QString, appended);
    FileTypes = fileTypes.toStdString();
    UncheckedTypes = uncheckedTypes.toStdString();
    TForm4 form;
    const QStringList before = Entries(form);
    form.Memo1->setPlainText(text);
    const QList<ShownBox> boxes = AnswerBoxes([&] { form.Button3->click(); });
    QCOMPARE(Texts(boxes), messages);
    for (const ShownBox& box : boxes)
        QCOMPARE(box.objectName, QStringLiteral("MessageBox")); // the plain message box
    QStringList expected = before;
    if (!appended.isEmpty())
        expected.append(appended + QLatin1Char('+'));
    QCOMPARE(Entries(form), expected);
    QCOMPARE(form.Memo1->toPlainText(), text); // Memo1 keeps its text
}

void TestUnit4::addKeepsStringsAndStore() {
    SetLists("*.htm", "*.css");
    TForm4 form;
    form.Memo1->setPlainText(QStringLiteral("*.x"));
    form.Button3->click();
    form.Memo1->setPlainText(QStringLiteral("*.y\nz"));
    form.Button3->click();
    QCOMPARE(Entries(form), (QStringList{QStringLiteral("*.htm+"), QStringLiteral("*.css-"),
                                         QStringLiteral("*.x+"), QStringLiteral("*.y\r\nz+")}));
    QCOMPARE(Q(FileTypes), QStringLiteral("*.htm"));
    QCOMPARE(Q(UncheckedTypes), QStringLiteral("*.css"));
    QVERIFY(!QFile::exists(HivePath()));
}

void TestUnit4::defaultThenCancel() {
    SetLists("*.a;*.b", "*.c");
    TForm4 form;
    ShowAndActivate(form);
    form.Memo1->setPlainText(QStringLiteral("*.new"));
    form.Button3->click();
    form.Button4->click();
    QCOMPARE(Entries(form), kDefaultEntries);
    QVERIFY(form.isVisible()); // Default leaves the window open
    QCOMPARE(Q(FileTypes), QStringLiteral("*.a;*.b"));
    form.Button1->click();
    QVERIFY(!form.isVisible());
    QCOMPARE(Entries(form),
             (QStringList{QStringLiteral("*.a+"), QStringLiteral("*.b+"), QStringLiteral("*.c-")}));
    QCOMPARE(Q(FileTypes), QStringLiteral("*.a;*.b"));
    QCOMPARE(Q(UncheckedTypes), QStringLiteral("*.c"));
    QVERIFY(!QFile::exists(HivePath())); // the store is not touched
}

void TestUnit4::saveSplitsCheckedAndUnchecked() {
    SetLists("a;b;c:x", "");
    TForm4 form;
    ShowAndActivate(form);
    form.CheckListBox1->item(1)->setCheckState(Qt::Unchecked);
    const QList<ShownBox> boxes = AnswerBoxes([&] { form.Button2->click(); });
    QCOMPARE(boxes.size(), 0);
    QVERIFY(!form.isVisible());
    QCOMPARE(Q(FileTypes), QStringLiteral("a;c:x"));
    QCOMPARE(Q(UncheckedTypes), QStringLiteral("b"));
    const QJsonObject filetypes = StoredValue(kProgramKey, QStringLiteral("filetypes"));
    QCOMPARE(filetypes.value(QStringLiteral("type")).toString(), QStringLiteral("REG_SZ"));
    QCOMPARE(filetypes.value(QStringLiteral("data")).toString(), QStringLiteral("a;c:x"));
    QCOMPARE(StoredValue(kProgramKey, QStringLiteral("unchecked"))
                 .value(QStringLiteral("data"))
                 .toString(),
             QStringLiteral("b"));
    // The list keeps its order until it is filled again.
    QCOMPARE(Entries(form),
             (QStringList{QStringLiteral("a+"), QStringLiteral("b-"), QStringLiteral("c:x+")}));
    ShowAndActivate(form);
    form.Button1->click();
    QCOMPARE(Entries(form),
             (QStringList{QStringLiteral("a+"), QStringLiteral("c:x+"), QStringLiteral("b-")}));
    // What was saved is what the next start reads.
    FileTypes.clear();
    UncheckedTypes.clear();
    QCheckBox recursive;
    QCheckBox sensitive;
    QCheckBox keepPre;
    QCheckBox lfBreaks;
    ReadStartupOptions(recursive, sensitive, keepPre, lfBreaks);
    QCOMPARE(Q(FileTypes), QStringLiteral("a;c:x"));
    QCOMPARE(Q(UncheckedTypes), QStringLiteral("b"));
}

void TestUnit4::saveAllUnchecked() {
    SetLists("a;;b", "");
    TForm4 form;
    for (int row = 0; row < form.CheckListBox1->count(); ++row)
        form.CheckListBox1->item(row)->setCheckState(Qt::Unchecked);
    form.Button2->click();
    QCOMPARE(Q(FileTypes), QString());
    QCOMPARE(Q(UncheckedTypes), QStringLiteral("a;;b"));
    QCOMPARE(StoredValue(kProgramKey, QStringLiteral("filetypes")).value(QStringLiteral("data")),
             QJsonValue(QString()));
    // The next start does not fall back to the defaults.
    QCheckBox recursive;
    QCheckBox sensitive;
    QCheckBox keepPre;
    QCheckBox lfBreaks;
    ReadStartupOptions(recursive, sensitive, keepPre, lfBreaks);
    QCOMPARE(Q(FileTypes), QString());
    QCOMPARE(Q(UncheckedTypes), QStringLiteral("a;;b"));
    // An empty list saves two empty strings.
    form.CheckListBox1->clear();
    form.Button2->click();
    QCOMPARE(Q(UncheckedTypes), QString());
    QCOMPARE(StoredValue(kProgramKey, QStringLiteral("unchecked")).value(QStringLiteral("data")),
             QJsonValue(QString()));
}

void TestUnit4::saveWithUnopenableStore() {
    SetLists("a", "b");
    TForm4 form;
    ShowAndActivate(form);
    form.CheckListBox1->item(1)->setCheckState(Qt::Checked);
    MakeStoreUnopenable();
    const QList<ShownBox> boxes = AnswerBoxes([&] { form.Button2->click(); });
    QCOMPARE(boxes.size(), 0);
    QVERIFY(!form.isVisible());
    QCOMPARE(Q(FileTypes), QStringLiteral("a;b"));
    QCOMPARE(Q(UncheckedTypes), QString());
    QVERIFY(QFileInfo(HiveDir()).isFile());
}

void TestUnit4::saveWithRefusedWrite() {
    SetLists("a", "b");
    WriteSetting("", "recursive", "no", 0); // the key exists and opens
    TForm4 form;
    ShowAndActivate(form);
    form.CheckListBox1->item(0)->setCheckState(Qt::Unchecked);
    MakeWritesRefused();
    const QList<ShownBox> boxes = AnswerBoxes([&] { form.Button2->click(); });
    AllowWrites();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).objectName, QStringLiteral("ErrorMessageBox"));
    QCOMPARE(boxes.at(0).text, QStringLiteral("Failed to set data for 'filetypes'"));
    QVERIFY(form.isVisible()); // the window stays open
    QCOMPARE(Q(FileTypes), QString());
    QCOMPARE(Q(UncheckedTypes), QStringLiteral("a;b"));
    QVERIFY(!HasValue(kProgramKey, QStringLiteral("filetypes")));
    QVERIFY(!HasValue(kProgramKey, QStringLiteral("unchecked")));
}

QTEST_MAIN(TestUnit4)
#include "tst_unit4.moc"
