// The settings through the real main window: TForm1's creation reads the
// placement, the two options and the file-type lists from the hive file of the
// test's own XDG_CONFIG_HOME; its destruction writes the placement and the options.

#include "app/Unit1.h"
#include "app/windows/Unit4.h"
#include "settings/FileTypeLists.h"
#include "settings/HiveFixture.h"

#include <QCheckBox>
#include <QtTest>

#include <memory>

using namespace hive_fixture;

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QJsonValue StoredData(const QString& key, const QString& name) {
    return StoredValue(key, name).value(QStringLiteral("data"));
}

void PutOption(const QString& name, const QString& text) {
    PutValue(kProgramKey, name, QStringLiteral("REG_SZ"), text);
}

void PutPlacement(int left, int top, int width, int height, int state) {
    const QString dword = QStringLiteral("REG_DWORD");
    PutValue(kWinposKey, QStringLiteral("Form1Left"), dword, left);
    PutValue(kWinposKey, QStringLiteral("Form1Top"), dword, top);
    PutValue(kWinposKey, QStringLiteral("Form1Width"), dword, width);
    PutValue(kWinposKey, QStringLiteral("Form1Height"), dword, height);
    PutValue(kWinposKey, QStringLiteral("Form1State"), dword, state);
}

// Creates the main window, answering (and recording) the boxes its creation shows.
std::unique_ptr<TForm1> CreateMainWindow(QList<ShownBox>& boxes) {
    std::unique_ptr<TForm1> window;
    boxes = AnswerBoxes([&] { window = std::make_unique<TForm1>(); });
    return window;
}

} // namespace

class TestMainWindowSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        ResetHive();
        FileTypes.clear();
        UncheckedTypes.clear();
    }
    void cleanupTestCase() { ResetHive(); }

    void firstRun();
    void storedSettingsAndShutdown();
    void fileTypesWindowShowsWhatWasRead();
    void mistypedOptionReported();
    void unopenableStore();
};

void TestMainWindowSettings::firstRun() {
    QList<ShownBox> boxes;
    auto window = CreateMainWindow(boxes);
    QCOMPARE(boxes.size(), 0);
    // The stored defaults, never smaller than the layout the window holds.
    QCOMPARE(window->frameGeometry(),
             QRect(QPoint(10, 10), QSize(600, 440).expandedTo(window->minimumSize())));
    QVERIFY(!window->isMaximized());
    QVERIFY(!window->CheckBox1->isChecked());
    QVERIFY(!window->CheckBox2->isChecked());
    QCOMPARE(FileTypes, DefaultTypeList);
    QCOMPARE(UncheckedTypes, std::string());
    const int width = std::max(600, window->minimumWidth());
    boxes = AnswerBoxes([&] { window.reset(); });
    QCOMPARE(boxes.size(), 0);
    const QJsonObject winpos = ReadHiveKeys().value(kWinposKey).toObject();
    QCOMPARE(winpos.size(), 5);
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("Form1Left")), QJsonValue(10));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("Form1Top")), QJsonValue(10));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("Form1Width")), QJsonValue(width));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("Form1Height")), QJsonValue(440));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("Form1State")), QJsonValue(0));
    const QJsonObject options = ReadHiveKeys().value(kProgramKey).toObject();
    QCOMPARE(options.keys(),
             (QStringList{QStringLiteral("keeppre"), QStringLiteral("linebreaks"),
                          QStringLiteral("recursive"), QStringLiteral("sensitive")}));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("recursive")),
             QJsonValue(QStringLiteral("no")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("sensitive")),
             QJsonValue(QStringLiteral("no")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("keeppre")), QJsonValue(QStringLiteral("no")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("linebreaks")),
             QJsonValue(QStringLiteral("crlf")));
}

void TestMainWindowSettings::storedSettingsAndShutdown() {
    PutPlacement(50, 40, 700, 500, 0);
    PutOption(QStringLiteral("recursive"), QStringLiteral("yes"));
    PutOption(QStringLiteral("sensitive"), QStringLiteral("Yes"));
    PutOption(QStringLiteral("filetypes"), QStringLiteral("*.a;;*.b"));
    PutOption(QStringLiteral("unchecked"), QStringLiteral("*.c"));
    PutOption(QStringLiteral("keeppre"), QStringLiteral("yes"));
    PutOption(QStringLiteral("linebreaks"), QStringLiteral("lf"));
    QList<ShownBox> boxes;
    auto window = CreateMainWindow(boxes);
    QCOMPARE(boxes.size(), 0);
    QCOMPARE(window->frameGeometry(), QRect(50, 40, 700, 500));
    QVERIFY(window->CheckBox1->isChecked());
    QVERIFY(!window->CheckBox2->isChecked());
    QVERIFY(window->KeepPre1->isChecked());
    QVERIFY(window->UnixBreaks1->isChecked());
    window->UnixBreaks1->setChecked(false);
    QCOMPARE(Q(FileTypes), QStringLiteral("*.a;;*.b"));
    QCOMPARE(Q(UncheckedTypes), QStringLiteral("*.c"));

    window->CheckBox1->setChecked(false);
    window->CheckBox2->setChecked(true);
    window->move(0, 2000);
    window->resize(800, 650);
    FileTypes = "*.changed"; // the lists are not written at shut-down
    boxes = AnswerBoxes([&] { window.reset(); });
    QCOMPARE(boxes.size(), 0);
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("Form1Left")), QJsonValue(15));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("Form1Top")), QJsonValue(15));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("Form1Width")), QJsonValue(800));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("Form1Height")), QJsonValue(650));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("recursive")),
             QJsonValue(QStringLiteral("no")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("sensitive")),
             QJsonValue(QStringLiteral("yes")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("filetypes")),
             QJsonValue(QStringLiteral("*.a;;*.b")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("keeppre")), QJsonValue(QStringLiteral("yes")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("linebreaks")),
             QJsonValue(QStringLiteral("crlf")));
}

void TestMainWindowSettings::fileTypesWindowShowsWhatWasRead() {
    PutOption(QStringLiteral("filetypes"), QStringLiteral("*.htm;*.css"));
    PutOption(QStringLiteral("unchecked"), QStringLiteral("*.pl"));
    QList<ShownBox> boxes;
    auto window = CreateMainWindow(boxes);
    TForm4 types; // created after the main window, as at start-up
    QCOMPARE(types.CheckListBox1->count(), 3);
    QCOMPARE(types.CheckListBox1->item(0)->text(), QStringLiteral("*.htm"));
    QCOMPARE(types.CheckListBox1->item(1)->text(), QStringLiteral("*.css"));
    QCOMPARE(types.CheckListBox1->item(2)->text(), QStringLiteral("*.pl"));
    QCOMPARE(types.CheckListBox1->item(1)->checkState(), Qt::Checked);
    QCOMPARE(types.CheckListBox1->item(2)->checkState(), Qt::Unchecked);
}

void TestMainWindowSettings::mistypedOptionReported() {
    PutPlacement(30, 40, 700, 500, 0);
    PutValue(kProgramKey, QStringLiteral("recursive"), QStringLiteral("REG_DWORD"), 1);
    PutOption(QStringLiteral("sensitive"), QStringLiteral("yes"));
    PutOption(QStringLiteral("filetypes"), QStringLiteral("*.a"));
    QList<ShownBox> boxes;
    auto window = CreateMainWindow(boxes);
    QVERIFY(window);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).objectName, QStringLiteral("ErrorMessageBox"));
    QCOMPARE(boxes.at(0).text, QStringLiteral("Invalid data type for 'recursive'"));
    // The placement came first and was applied; the rest was skipped.
    QCOMPARE(window->frameGeometry(), QRect(30, 40, 700, 500));
    QVERIFY(!window->CheckBox1->isChecked());
    QVERIFY(!window->CheckBox2->isChecked());
    QCOMPARE(FileTypes, std::string());
    QCOMPARE(UncheckedTypes, std::string());
}

void TestMainWindowSettings::unopenableStore() {
    MakeStoreUnopenable();
    QList<ShownBox> boxes;
    auto window = CreateMainWindow(boxes);
    QCOMPARE(boxes.size(), 0);
    // The stored defaults, never smaller than the layout the window holds.
    QCOMPARE(window->frameGeometry(),
             QRect(QPoint(10, 10), QSize(600, 440).expandedTo(window->minimumSize())));
    QCOMPARE(FileTypes, DefaultTypeList);
    // The first placement value fails and stops the shut-down write.
    boxes = AnswerBoxes([&] { window.reset(); });
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).objectName, QStringLiteral("ErrorMessageBox"));
    QCOMPARE(boxes.at(0).text, QStringLiteral("Failed to set data for 'Form1Left'"));
}

QTEST_MAIN(TestMainWindowSettings)
#include "tst_mainwindowsettings.moc"
