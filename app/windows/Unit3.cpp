#include "app/windows/Unit3.h"

#include "app/AppIcon.h"
#include "app/ClickLabel.h"
#include "app/HandlerGuard.h"
#include "app/ProgramFont.h"
#include "app/WindowPlacement.h"

#include <QFont>
#include <QKeySequence>
#include <QMouseEvent>
#include <QShortcut>

TForm3* Form3 = nullptr;

namespace {

TClickLabel* MakeLine(QWidget* parent, const char* name, int x, int y, const char* text, bool bold,
                      bool underlined) {
    auto* label = new TClickLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setText(QString::fromUtf8(text));
    QFont font = label->font();
    font.setBold(bold);
    font.setUnderline(underlined);
    label->setFont(font);
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

TForm3::TForm3()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(VelocitrixIcon());
    setAttribute(Qt::WA_QuitOnClose, false);

    setFont(ProgramFont());

    Label1 = MakeLine(this, "Label1", 24, 8, "Velocitrix Website Optimizer v1.2.1", true, true);
    Label6 = MakeLine(this, "Label6", 40, 24, "for Windows 9x/ME (English)", true, true);
    Label2 = MakeLine(this, "Label2", 64, 48, "by the Velocitrix developers", true, true);
    Label8 =
        MakeLine(this, "Label8", 48, 72, "Free software, MIT License - released 2026", false, true);
    Label3 = MakeLine(this, "Label3", 8, 112, "Official Website: https://velocitrix.example", false,
                      false);
    Label4 = MakeLine(this, "Label4", 8, 144, "Please report bugs, ideas for future versions etc.",
                      false, false);
    Label5 = MakeLine(this, "Label5", 8, 160, "to: bugs@velocitrix.example", false, false);

    // The platform and e-mail lines take their clicks without acting on them.
    for (TClickLabel* line : {Label1, Label2, Label8, Label3, Label4})
        connect(line, &TClickLabel::clicked, this, [this, line] { FormClick(line); });

    setFixedSize(258, 193);
    move(347, 281);
    KeepInsideScreen(*this);

    // Escape closes it, as a click does.
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this,
            [this] { FormClick(this); });
}

void TForm3::FormClick(QObject*) {
    RunGuarded([this] { hide(); });
}

void TForm3::mousePressEvent(QMouseEvent* event) {
    RunGuarded([&] { click_.Press(event); });
}

void TForm3::mouseReleaseEvent(QMouseEvent* event) {
    RunGuarded([&] {
        if (click_.Release(event, rect()))
            FormClick(this);
    });
}
