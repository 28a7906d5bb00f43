#include "app/MessageBoxes.h"

#include <QApplication>
#include <QCursor>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSpacerItem>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>

namespace {

// Past this length a message is long without measuring: measuring it would cost
// more than showing it in a text area.
constexpr qsizetype kLongLength = 4000;

// The screen the box opens on: its owner's, else as QDialog places a box
// without a parent.
QScreen* BoxScreen(const QWidget* owner) {
    if (owner != nullptr)
        return owner->screen();
    if (QWidget* window = QApplication::activeWindow())
        return window->screen();
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen;
    return QGuiApplication::primaryScreen();
}

// Whether the box's own label can show the text on this screen: QMessageBox wraps
// it at about half the screen's width (500 px at most) and grows as tall as the
// text. A word wider than that line (a long path) goes to the text area instead,
// which breaks it anywhere rather than cut it at the box's edge.
bool FitsInLabel(const QString& text, const QFontMetrics& metrics, const QRect& area) {
    if (text.size() > kLongLength)
        return false;
    const int wrapWidth = std::max(1, std::min(area.width() / 2, 500));
    qint64 lines = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        for (const QString& word : line.split(QLatin1Char(' ')))
            if (metrics.horizontalAdvance(word) > wrapWidth)
                return false;
        lines += 1 + metrics.horizontalAdvance(line) / wrapWidth;
    }
    return lines * metrics.lineSpacing() <= area.height() / 2;
}

// Puts the text in a read-only, selectable text area in place of the box's label,
// sized to leave the box inside the screen. The label keeps the text, hidden, so
// QMessageBox::text() still answers it; hidden, it costs no layout.
void ShowInTextArea(QMessageBox& box, const QString& text, const QRect& area) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (label == nullptr || grid == nullptr)
        return;
    int row = 0, column = 0, rows = 1, columns = 1;
    grid->getItemPosition(grid->indexOf(label), &row, &column, &rows, &columns);
    label->hide();
    auto* view = new QPlainTextEdit(&box);
    view->setObjectName(QStringLiteral("MessageText"));
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Paths have no spaces; break them anywhere rather than scroll sideways.
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // A scroll bar coming later would narrow the area and lay the text out again.
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // One path list is one paragraph of megabytes, laid out whole: Latin text
    // needs no shaping, and the kept shapes spare the later relayouts.
    QFont font = view->font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    view->setFont(font);
    view->document()->firstBlock().layout()->setCacheEnabled(true);
    // Filled once the box shows, at the area's final width: filled before, the
    // paragraph would be laid out again when the box first sizes the area.
    QTimer::singleShot(0, view, [view, text] { QTextCursor(view->document()).insertText(text); });
    // Narrower than the width where QMessageBox would lay out the hidden label;
    // short enough to leave room for the caption, the margins and OK.
    const int width = std::min(area.width() / 2, 600);
    view->setFixedSize(width, area.height() * 3 / 5);
    // Without an icon the label's indent would only widen the left margin.
    const int first = box.icon() == QMessageBox::NoIcon ? 0 : column;
    grid->addWidget(view, row, first, rows, column + columns - first);
}

// Wide enough that a window manager's title bar shows the caption whole, beside
// its icon and buttons, instead of eliding a short message's caption.
int TitleBarWidth(const QWidget& box, const QRect& area) {
    QFont bold = box.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    // The window manager's title font is often larger than the program's.
    const int buttons = 6 * metrics.height(); // the icon and three buttons, with room
    return std::min(metrics.horizontalAdvance(box.windowTitle()) * 3 / 2 + buttons,
                    area.width() * 9 / 10);
}

// Without the two buttons' hints the window manager offers neither; the parent
// makes the box transient for its window, which it opens centred over.
void SetOwnedBoxFlags(QWidget& box) {
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

// QMessageBox fixes its own size: the title's room is a spacer in its grid.
void KeepCaptionWhole(QMessageBox& box, const QRect& area) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr)
        return;
    const int width = TitleBarWidth(box, area);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

void ShowBox(QMessageBox::Icon icon, const QString& text) {
    QWidget* owner = BoxOwner();
    QMessageBox box(icon, QGuiApplication::applicationDisplayName(), QString(), QMessageBox::Ok,
                    owner);
    box.setObjectName(icon == QMessageBox::NoIcon ? QStringLiteral("MessageBox")
                                                  : QStringLiteral("ErrorMessageBox"));
    box.setTextFormat(Qt::PlainText);
    SetOwnedBoxFlags(box);
    QScreen* screen = BoxScreen(owner);
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const bool fits = FitsInLabel(text, box.fontMetrics(), area);
    if (!fits) {
        if (screen != nullptr)
            box.setScreen(screen);
        ShowInTextArea(box, text, area);
    }
    box.setText(text);
    KeepCaptionWhole(box, area);
    box.exec();
}

} // namespace

QWidget* BoxOwner() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (qobject_cast<QMainWindow*>(window) != nullptr && window->isVisible())
            return window;
    return nullptr;
}

void MakeOwnedBox(QDialog& box) {
    SetOwnedBoxFlags(box);
    const QScreen* screen = box.parentWidget() != nullptr ? box.parentWidget()->screen()
                                                          : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    box.setMinimumWidth(std::max(box.minimumWidth(), TitleBarWidth(box, area)));
}

QString FromProgramText(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void ShowMessage(const QString& text) {
    ShowBox(QMessageBox::NoIcon, text);
}

void ShowErrorMessage(const QString& text) {
    QString shown = text;
    if (!shown.isEmpty() && shown.back() > QLatin1Char('.'))
        shown += QLatin1Char('.');
    ShowBox(QMessageBox::Critical, shown);
}
