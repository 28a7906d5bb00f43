// A window's placement in the settings store: its name, the first run's
// defaults, the edge rule on saving, a stored placement applied and kept inside
// the screen, a broken one falling back, and the maximized state, all against
// the hive file of the test's own XDG_CONFIG_HOME.

#include "app/WindowPlacement.h"
#include "settings/HiveFixture.h"

#include <QScreen>
#include <QtTest>

#include <string>

using namespace hive_fixture;

// A window whose placement values are named "FormX...".
class TFormX : public QWidget {
    Q_OBJECT
public:
    TFormX() { setMinimumSize(600, 440); }
};

// A window without a minimum size, named "Small...".
class TSmall : public QWidget {
    Q_OBJECT
};

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

const QString kTypeColumn = QStringLiteral("type");

void PutPlacement(int left, int top, int width, int height, int state) {
    const QString dword = QStringLiteral("REG_DWORD");
    PutValue(kWinposKey, QStringLiteral("FormXLeft"), dword, left);
    PutValue(kWinposKey, QStringLiteral("FormXTop"), dword, top);
    PutValue(kWinposKey, QStringLiteral("FormXWidth"), dword, width);
    PutValue(kWinposKey, QStringLiteral("FormXHeight"), dword, height);
    PutValue(kWinposKey, QStringLiteral("FormXState"), dword, state);
}

QJsonValue StoredData(const QString& key, const QString& name) {
    return StoredValue(key, name).value(QStringLiteral("data"));
}

} // namespace

class TestWindowPlacement : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ResetHive(); }
    void cleanupTestCase() { ResetHive(); }

    void windowName();
    void firstRunPlacement();
    void edgeRuleOnSaving_data();
    void edgeRuleOnSaving();
    void storedPlacementApplied();
    void storedPlacementKeptInsideScreen_data();
    void storedPlacementKeptInsideScreen();
    void brokenPlacementFallsBack_data();
    void brokenPlacementFallsBack();
    void stateOnLoading_data();
    void stateOnLoading();
    void maximizedStateSaved();
    void minimumSizeStillApplies();
};

void TestWindowPlacement::windowName() {
    TFormX formX;
    TSmall small;
    QWidget plain;
    QCOMPARE(Q(WindowPlacementName(formX)), QStringLiteral("FormX"));
    QCOMPARE(Q(WindowPlacementName(small)), QStringLiteral("Small"));
    QCOMPARE(Q(WindowPlacementName(plain)), QStringLiteral("Widget"));
}

void TestWindowPlacement::firstRunPlacement() {
    TFormX window;
    window.move(300, 300);
    window.resize(900, 700);
    LoadWindowPlacement(window);
    QCOMPARE(window.frameGeometry(), QRect(10, 10, 600, 440));
    QVERIFY(!window.isMaximized());
    // The program's key with an empty Winpos key below it.
    QVERIFY(ReadHiveKeys().contains(kWinposKey));
    QVERIFY(ReadHiveKeys().value(kWinposKey).toObject().isEmpty());
    QVERIFY(ReadHiveKeys().value(kProgramKey).toObject().isEmpty());
}

void TestWindowPlacement::edgeRuleOnSaving_data() {
    QTest::addColumn<int>("edge");
    QTest::addColumn<int>("stored");
    QTest::newRow("0") << 0 << 15;
    QTest::newRow("-4") << -4 << 15;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("1999") << 1999 << 1999;
    QTest::newRow("2000") << 2000 << 15;
    QTest::newRow("5000") << 5000 << 15;
    QTest::newRow("15") << 15 << 15;
}

void TestWindowPlacement::edgeRuleOnSaving() {
    QFETCH(int, edge);
    QFETCH(int, stored);
    TFormX window;
    window.setGeometry(edge, 100, 3000, 2500);
    SaveWindowPlacement(window);
    QCOMPARE(ReadHiveKeys().value(kWinposKey).toObject().size(), 5);
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXLeft")), QJsonValue(stored));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXTop")), QJsonValue(100));
    // Width and height are stored unchanged however large.
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXWidth")), QJsonValue(3000));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXHeight")), QJsonValue(2500));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXState")), QJsonValue(0));
    window.setGeometry(100, edge, 640, 480);
    SaveWindowPlacement(window);
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXLeft")), QJsonValue(100));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXTop")), QJsonValue(stored));
    QCOMPARE(StoredValue(kWinposKey, QStringLiteral("FormXTop")).value(kTypeColumn).toString(),
             QStringLiteral("REG_DWORD"));
}

void TestWindowPlacement::storedPlacementKeptInsideScreen_data() {
    // Offsets from the available area's corners, and the size.
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<QRect>("expected"); // relative to the area; -1 for its size
    QTest::newRow("right of it") << QRect(5000, 30, 700, 500) << QRect(-1, 30, 700, 500);
    QTest::newRow("above and left of it") << QRect(-400, -300, 700, 500) << QRect(0, 0, 700, 500);
    QTest::newRow("below it") << QRect(20, 3000, 700, 500) << QRect(20, -1, 700, 500);
    QTest::newRow("larger than it") << QRect(20, 30, 9000, 7000) << QRect(0, 0, -1, -1);
}

void TestWindowPlacement::storedPlacementKeptInsideScreen() {
    QFETCH(QRect, stored);
    QFETCH(QRect, expected);
    PutPlacement(stored.x(), stored.y(), stored.width(), stored.height(), 0);
    TFormX window;
    const QRect area = window.screen()->availableGeometry();
    LoadWindowPlacement(window);
    const QSize size(expected.width() < 0 ? area.width() : expected.width(),
                     expected.height() < 0 ? area.height() : expected.height());
    const QPoint at(expected.x() < 0 ? area.right() + 1 - size.width() : expected.x(),
                    expected.y() < 0 ? area.bottom() + 1 - size.height() : expected.y());
    QCOMPARE(window.frameGeometry(), QRect(area.topLeft() + at, size));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(area.contains(window.frameGeometry()));
}

void TestWindowPlacement::storedPlacementApplied() {
    PutPlacement(50, 30, 700, 500, 0);
    TFormX window;
    LoadWindowPlacement(window);
    QCOMPARE(window.frameGeometry(), QRect(50, 30, 700, 500));
    QVERIFY(!window.isMaximized());
    // Shown, the frame the platform adds is taken from the client area: the
    // frame keeps the stored place and size.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.frameGeometry(), QRect(50, 30, 700, 500));
    // Saved again, nothing has grown.
    SaveWindowPlacement(window);
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXWidth")), QJsonValue(700));
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXHeight")), QJsonValue(500));
}

void TestWindowPlacement::brokenPlacementFallsBack_data() {
    QTest::addColumn<QString>("broken"); // the value that is changed
    QTest::addColumn<QString>("type");   // "" removes it
    QTest::addColumn<QJsonValue>("data");
    QTest::newRow("height missing") << QStringLiteral("FormXHeight") << QString() << QJsonValue();
    QTest::newRow("left missing") << QStringLiteral("FormXLeft") << QString() << QJsonValue();
    QTest::newRow("state missing") << QStringLiteral("FormXState") << QString() << QJsonValue();
    QTest::newRow("left a string") << QStringLiteral("FormXLeft") << QStringLiteral("REG_SZ")
                                   << QJsonValue(QStringLiteral("100"));
    QTest::newRow("width a long string") << QStringLiteral("FormXWidth") << QStringLiteral("REG_SZ")
                                         << QJsonValue(QStringLiteral("700000"));
    QTest::newRow("state binary") << QStringLiteral("FormXState") << QStringLiteral("REG_BINARY")
                                  << QJsonValue(QStringLiteral("01"));
}

void TestWindowPlacement::brokenPlacementFallsBack() {
    QFETCH(QString, broken);
    QFETCH(QString, type);
    QFETCH(QJsonValue, data);
    PutPlacement(100, 120, 800, 600, 1);
    if (type.isEmpty()) {
        QJsonObject keys = ReadHiveKeys();
        QJsonObject values = keys.value(kWinposKey).toObject();
        values.remove(broken);
        keys.insert(kWinposKey, values);
        WriteHiveKeys(keys);
    } else {
        PutValue(kWinposKey, broken, type, data);
    }
    TFormX window;
    QCOMPARE(Texts(AnswerBoxes([&] { LoadWindowPlacement(window); })), QStringList());
    QCOMPARE(window.frameGeometry(), QRect(10, 10, 600, 440));
    QVERIFY(!window.isMaximized());
}

void TestWindowPlacement::stateOnLoading_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("maximized");
    QTest::newRow("0") << 0 << false;
    QTest::newRow("1") << 1 << true;
    QTest::newRow("2") << 2 << false;
    QTest::newRow("-1") << -1 << false;
}

void TestWindowPlacement::stateOnLoading() {
    QFETCH(int, state);
    QFETCH(bool, maximized);
    PutPlacement(40, 50, 640, 480, state);
    TFormX window;
    LoadWindowPlacement(window);
    QCOMPARE(window.isMaximized(), maximized);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.isMaximized(), maximized);
    if (maximized)
        window.showNormal(); // the platform answers through the event loop
    QTRY_COMPARE(window.frameGeometry(), QRect(40, 50, 640, 480));
}

void TestWindowPlacement::maximizedStateSaved() {
    TFormX window;
    window.setGeometry(40, 50, 640, 480);
    window.setWindowState(Qt::WindowMaximized);
    SaveWindowPlacement(window);
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXState")), QJsonValue(1));
    window.setWindowState(Qt::WindowMinimized);
    SaveWindowPlacement(window);
    QCOMPARE(StoredData(kWinposKey, QStringLiteral("FormXState")), QJsonValue(0));
}

void TestWindowPlacement::minimumSizeStillApplies() {
    const QString dword = QStringLiteral("REG_DWORD");
    PutValue(kWinposKey, QStringLiteral("SmallLeft"), dword, 20);
    PutValue(kWinposKey, QStringLiteral("SmallTop"), dword, 30);
    PutValue(kWinposKey, QStringLiteral("SmallWidth"), dword, 100);
    PutValue(kWinposKey, QStringLiteral("SmallHeight"), dword, 90);
    PutValue(kWinposKey, QStringLiteral("SmallState"), dword, 0);
    TSmall small;
    LoadWindowPlacement(small);
    QCOMPARE(small.frameGeometry(), QRect(20, 30, 100, 90));
    PutPlacement(20, 30, 100, 90, 0);
    TFormX window;
    LoadWindowPlacement(window);
    QCOMPARE(window.frameGeometry(), QRect(20, 30, 600, 440));
}

QTEST_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
