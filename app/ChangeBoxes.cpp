#include "app/ChangeBoxes.h"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextDocument>
#include <QTextOption>
#include <QTimer>

#include <algorithm>

namespace {

// Scrolls the caret's line into sight once the box has its size: a text set or a
// caret moved before the box is shown or laid out is not scrolled by Qt.
class CaretKeeper : public QObject {
public:
    explicit CaretKeeper(QPlainTextEdit& box) : QObject(&box), box_(&box) {
        box.installEventFilter(this);
    }

    void Later() {
        QPointer<QPlainTextEdit> box(box_);
        QTimer::singleShot(0, this, [box] {
            if (box != nullptr)
                box->ensureCursorVisible();
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == box_ && (event->type() == QEvent::Show || event->type() == QEvent::Resize))
            Later();
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QPlainTextEdit> box_;
};

} // namespace

QString ChangeBoxToolTip(const QString& text) {
    if (text.isEmpty())
        return {};
    // A text longer than a screen shows its beginning: a tooltip as large as a
    // pasted page would cover the window it explains.
    constexpr qsizetype kMostCharacters = 2000;
    constexpr int kMostLines = 30;
    qsizetype end = std::min(text.size(), kMostCharacters);
    for (int lines = 0, i = 0; i < end; ++i)
        if (text[i] == QLatin1Char('\n') && ++lines == kMostLines)
            end = i;
    QString shown = text.left(end);
    if (end < text.size())
        shown += QStringLiteral("\n\u2026");
    // A tooltip is read as rich text when it looks like it; written as a paragraph
    // that keeps white space, the text can hold anything, "<b>" included.
    QString escaped = shown.toHtmlEscaped();
    escaped.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    return QLatin1String("<p style=\"white-space:pre-wrap\">") + escaped + QLatin1String("</p>");
}

void KeepChangeBoxReadable(QPlainTextEdit& box) {
    // One line high, a box after Enter or a few Tabs would look empty: the tabs,
    // spaces and line breaks it holds are drawn as marks.
    QTextOption option = box.document()->defaultTextOption();
    option.setFlags(option.flags() | QTextOption::ShowTabsAndSpaces |
                    QTextOption::ShowLineAndParagraphSeparators);
    box.document()->setDefaultTextOption(option);
    auto* keeper = new CaretKeeper(box);
    QPlainTextEdit* target = &box;
    // A line of several shows only the caret's; the mark in the corner says which
    // of how many it is, so that an empty line after Enter is not taken for an
    // empty box.
    auto* mark = new QLabel(&box);
    mark->setObjectName(QStringLiteral("LineMark"));
    mark->setAttribute(Qt::WA_TransparentForMouseEvents);
    mark->setAutoFillBackground(true);
    mark->hide();
    const auto placeMark = [target, mark] {
        const int lines = target->document()->blockCount();
        mark->setVisible(lines > 1);
        if (lines <= 1)
            return;
        mark->setText(
            QStringLiteral("%1/%2").arg(target->textCursor().blockNumber() + 1).arg(lines));
        mark->adjustSize();
        mark->move(target->width() - mark->width() - 2, 2);
    };
    QObject::connect(&box, &QPlainTextEdit::textChanged, keeper, [target, keeper, placeMark] {
        target->setToolTip(ChangeBoxToolTip(target->toPlainText()));
        target->ensureCursorVisible();
        keeper->Later();
        placeMark();
    });
    QObject::connect(&box, &QPlainTextEdit::cursorPositionChanged, keeper, [target, placeMark] {
        target->ensureCursorVisible();
        placeMark();
    });
}
