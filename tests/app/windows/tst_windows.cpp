// What all four windows share: their title bars show exactly their captions,
// they open inside the screen's available area, no caption of theirs is clipped
// and no control covers another, and Escape closes the secondary ones. Run at
// scale factor 1 (tst_windows) and 2 (tst_windows_scale2) on the default screen,
// and at both on screens of 1024x768 and 1920x1080 (tst_windows_<screen>_<scale>).

#include "app/AppTitle.h"
#include "app/Unit1.h"
#include "app/windows/Unit2.h"
#include "app/windows/Unit3.h"
#include "app/windows/Unit4.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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

// The controls a user sees and works: captions, buttons, fields, lists, frames
// with a title (not the plain panels that hold them, nor a control's own parts).
bool IsControl(const QWidget& widget) {
    if (qobject_cast<const QAbstractScrollArea*>(&widget) != nullptr)
        return widget.objectName() != QLatin1String("ClientScroller");
    return qobject_cast<const QLabel*>(&widget) || qobject_cast<const QAbstractButton*>(&widget) ||
           qobject_cast<const QLineEdit*>(&widget) || qobject_cast<const QGroupBox*>(&widget);
}

// Where the widget shows in the window: its rectangle cut by its parents' (the
// scrolled content is not cut by the part of it in view).
QRect Shown(const QWidget& widget, const QWidget& window) {
    QRect rect(widget.mapTo(&window, QPoint(0, 0)), widget.size());
    for (const QWidget* parent = widget.parentWidget(); parent != nullptr && parent != &window;
         parent = parent->parentWidget()) {
        if (parent->objectName() == QLatin1String("qt_scrollarea_viewport"))
            break;
        rect &= QRect(parent->mapTo(&window, QPoint(0, 0)), parent->size());
    }
    return rect;
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
    void controlsApart_data();
    void controlsApart();
    void escapeCloses_data();
    void escapeCloses();

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

void TestWindows::controlsApart_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("size");
    for (const char* name : {"Form1", "Form1 busy", "Form2", "Form3", "Form4"})
        for (const char* size : {"smallest", "as opened", "whole screen"})
            QTest::addRow("%s %s", name, size) << QString::fromLatin1(name) << size;
}

void TestWindows::controlsApart() {
    QFETCH(QString, name);
    QFETCH(QString, size);
    const std::unique_ptr<QWidget> window = MakeWindow(name.left(5));
    auto* main = qobject_cast<TForm1*>(window.get());
    if (main != nullptr && name.endsWith(QLatin1String("busy"))) {
        main->DisableCommands(); // as Load Dir lists the files
        main->ListBox1->show();
    } else if (main != nullptr) {
        // Everything shown at once: the file list, its caption, the widest figure.
        CommandSet all;
        for (unsigned offer = 0; offer < kOfferCount; ++offer)
            all = all.With(static_cast<Offer>(offer));
        main->EnableCommands(all);
        main->Label4->setText(QStringLiteral("9999999999 bytes"));
        main->Label4->adjustSize();
    }
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QSize area = window->screen()->availableGeometry().size();
    if (size == QLatin1String("smallest"))
        window->resize(window->minimumSize());
    else if (size == QLatin1String("whole screen"))
        window->resize(area.boundedTo(window->maximumSize()));
    QTest::qWait(20); // the layouts take the new size
    QList<QWidget*> controls;
    for (QWidget* widget : window->findChildren<QWidget*>())
        if (IsControl(*widget) && widget->isVisibleTo(window.get()) &&
            !Shown(*widget, *window).isEmpty())
            controls << widget;
    QStringList covered;
    for (qsizetype i = 0; i < controls.size(); ++i)
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            const QWidget* a = controls[i];
            const QWidget* b = controls[j];
            if (a->isAncestorOf(b) || b->isAncestorOf(a))
                continue;
            const QSet<QString> pair{a->objectName(), b->objectName()};
            if (pair == QSet<QString>{QStringLiteral("ListBox1"), QStringLiteral("RichEdit1")})
                continue; // the file list lies over the text view by design
            if (Shown(*a, *window).intersects(Shown(*b, *window)))
                covered << a->objectName() + QLatin1Char('/') + b->objectName();
        }
    QVERIFY2(covered.isEmpty(),
             qPrintable(QStringLiteral("%1x%2: ").arg(window->width()).arg(window->height()) +
                        covered.join(QStringLiteral(", "))));
}

void TestWindows::escapeCloses_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"Form2", "Form3", "Form4"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Escape closes Help and About; in the file types window it is Cancel, which
// also undoes what was ticked.
void TestWindows::escapeCloses() {
    QFETCH(QString, name);
    const std::unique_ptr<QWidget> window = MakeWindow(name);
    auto* types = qobject_cast<TForm4*>(window.get());
    Qt::CheckState ticked = Qt::Unchecked;
    if (types != nullptr) {
        QListWidgetItem* first = types->CheckListBox1->item(0);
        ticked = first->checkState();
        first->setCheckState(ticked == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
    QTest::keyClick(focus, Qt::Key_Escape);
    QTRY_VERIFY(!window->isVisible());
    if (types != nullptr)
        QCOMPARE(types->CheckListBox1->item(0)->checkState(), ticked);
}

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
