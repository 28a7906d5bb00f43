// What all four windows share: their title bars show exactly their captions,
// they open inside the screen's available area, and no caption of theirs is
// clipped. Run at scale factor 1 (tst_windows) and 2 (tst_windows_scale2).

#include "app/AppTitle.h"
#include "app/Unit1.h"
#include "app/windows/Unit2.h"
#include "app/windows/Unit3.h"
#include "app/windows/Unit4.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<QWidget> MakeWindow(const QString& name) {
    if (name == QLatin1String("Form1"))
        return std::make_unique<TForm1>();
    if (name == QLatin1String("Form2"))
        return std::make_unique<TForm2>();
    if (name == QLatin1String("Form3"))
        return std::make_unique<TForm3>();
    return std::make_unique<TForm4>();
}

// A caption is clipped when its widget is narrower than its text needs (a push
// button's size hint has a minimum width of the style's, not of its text).
// Wrapped labels may break their text; they must show all of its lines.
bool Clipped(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (label->wordWrap())
            return label->heightForWidth(label->width()) > label->height();
        return label->width() < label->sizeHint().width();
    }
    if (const auto* button = qobject_cast<const QPushButton*>(&widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        const int margins =
            button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
            2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
        const int text = button->fontMetrics().horizontalAdvance(button->text());
        return button->width() < text + margins;
    }
    return widget.width() < widget.sizeHint().width();
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { SetApplicationTitle(); }

    void titles_data();
    void titles();
    void insideScreen_data() { windows_data(); }
    void insideScreen();
    void captionsFit_data() { windows_data(); }
    void captionsFit();

private:
    void windows_data();
};

void TestWindows::windows_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"Form1", "Form2", "Form3", "Form4"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestWindows::titles_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("main") << "Form1"
                          << "Velocitrix Website Optimizer v1.2.1";
    QTest::newRow("help") << "Form2"
                          << "Help";
    QTest::newRow("about") << "Form3"
                           << "About";
    QTest::newRow("file types") << "Form4"
                                << "Files to modify";
}

void TestWindows::titles() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    const QString title = QStringLiteral("Velocitrix Website Optimizer");
    // The message boxes' caption.
    QCOMPARE(QGuiApplication::applicationDisplayName(), title);
    // No display name is set explicitly (it follows the application name), so
    // the platform appends none to the windows' titles.
    QGuiApplication::setApplicationName(QStringLiteral("probe"));
    const QString followed = QGuiApplication::applicationDisplayName();
    SetApplicationTitle();
    QCOMPARE(followed, QStringLiteral("probe"));
    const std::unique_ptr<QWidget> window = MakeWindow(name);
    QCOMPARE(window->windowTitle(), caption);
}

void TestWindows::insideScreen() {
    QFETCH(QString, name);
    const std::unique_ptr<QWidget> window = MakeWindow(name);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QRect area = window->screen()->availableGeometry();
    QVERIFY2(area.contains(window->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                    .arg(window->x())
                                                                    .arg(window->y())
                                                                    .arg(window->width())
                                                                    .arg(window->height())));
}

void TestWindows::captionsFit() {
    QFETCH(QString, name);
    const std::unique_ptr<QWidget> window = MakeWindow(name);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QStringList clipped;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        // Captions of this window (not of Qt's own dialogs it holds).
        const bool caption =
            qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget);
        if (caption && widget->window() == window.get() && !widget->isHidden() && Clipped(*widget))
            clipped.append(QStringLiteral("%1 \"%2\" %3 < %4")
                               .arg(widget->objectName(), widget->property("text").toString())
                               .arg(widget->width())
                               .arg(widget->sizeHint().width()));
    }
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
}

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
