#include "app/windows/Unit4.h"

#include "app/HandlerGuard.h"
#include "app/MessageBoxes.h"
#include "app/WindowPlacement.h"
#include "settings/FileTypeLists.h"

#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

TForm4* Form4 = nullptr;

namespace {

// Design size of the window; the button band's buttons are placed from it.
constexpr int kDesignWidth = 306;
constexpr int kDesignHeight = 336;
constexpr int kItemHeight = 13;

// The characters a file type may not contain.
constexpr std::string_view kInvalidCharacters = ";/\\:?\"<>|";

// The platform's sans-serif face at 8 points.
QFont WindowFont() {
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

class FixedHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kItemHeight);
        return size;
    }
};

QPushButton* MakeButton(const QString& name, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(true); // Enter on the focused button presses it
    button->setDefault(false);
    return button;
}

QFrame* MakeRaisedPanel(const QString& name, QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    return panel;
}

// A message of the window, as ShowMessage shows it but owned by the window: the
// window is kept on top of others, and only its own children stay above it.
void ShowOwnMessage(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

TCheckListBox::TCheckListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new FixedHeightDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Button));
    setPalette(colours);
}

void TCheckListBox::keyboardSearch(const QString&) {}

TOneLineMemo::TOneLineMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(1);
}

void TOneLineMemo::keyPressEvent(QKeyEvent* event) {
    RunGuarded([&] {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && !(event->modifiers() & Qt::ControlModifier)) {
            event->accept();
            Q_EMIT returnPressed();
            return;
        }
        if (enter) {
            insertPlainText(QStringLiteral("\n"));
            event->accept();
            return;
        }
        QPlainTextEdit::keyPressEvent(event);
    });
}

TButtonBand::TButtonBand(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
}

void TButtonBand::SetButtons(QPushButton* left, QPushButton* middle, QPushButton* right) {
    left_ = left;
    middle_ = middle;
    right_ = right;
    PlaceButtons();
}

void TButtonBand::resizeEvent(QResizeEvent* event) {
    RunGuarded([&] {
        QFrame::resizeEvent(event);
        PlaceButtons();
    });
}

void TButtonBand::PlaceButtons() {
    if (!left_ || !middle_ || !right_)
        return;
    constexpr int bandHeight = 41;
    const int extraWidth = width() - kDesignWidth;
    const int extraHeight = height() - bandHeight;
    left_->setGeometry(6, 8, 75, 25);
    middle_->setGeometry(113 + extraWidth / 2, 8, 75, 25);
    right_->setGeometry(217 + extraWidth, 7 + extraHeight, 75, 25);
}

TForm4::TForm4() : QWidget(nullptr) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Files to modify"));
    setWindowIcon(QIcon(QStringLiteral(":/velocitrix/velocitrix.svg")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint);
    setFont(WindowFont());
    setMinimumSize(306, 141);

    Label2 = new QLabel(
        QStringLiteral("Select the files you want the program to modify when using the \"Load "
                       "Dir\" function. You can also add new file types below."),
        this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // As many lines as the platform's font needs at the window's width, at
    // least the two of the design.
    Label2->setMinimumHeight(26);

    CheckListBox1 = new TCheckListBox(this);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(69);

    Panel2 = MakeRaisedPanel(QStringLiteral("Panel2"), Panel1);
    Panel2->setFixedHeight(9);

    Panel3 = new QWidget(Panel1);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedHeight(19);

    Panel4 = MakeRaisedPanel(QStringLiteral("Panel4"), Panel3);
    Label1 = new QLabel(QStringLiteral("Add new file type"), Panel4);
    Label1->setObjectName(QStringLiteral("Label1"));
    auto* labelLayout = new QHBoxLayout(Panel4);
    labelLayout->setContentsMargins(2, 0, 2, 0);
    labelLayout->addWidget(Label1);
    // Wider than designed where the platform's font needs it.
    Panel4->setFixedWidth(std::max(97, Panel4->sizeHint().width()));

    Memo1 = new TOneLineMemo(Panel3);
    Memo1->setObjectName(QStringLiteral("Memo1"));

    Panel5 = new QWidget(Panel3);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFixedWidth(33);
    Button3 = MakeButton(QStringLiteral("Button3"), QStringLiteral("Add"), Panel5);
    Button3->setGeometry(0, 0, 33, 20);

    auto* entryLayout = new QHBoxLayout(Panel3);
    entryLayout->setContentsMargins(0, 0, 0, 0);
    entryLayout->setSpacing(0);
    entryLayout->addWidget(Panel4);
    entryLayout->addWidget(Memo1, 1);
    entryLayout->addWidget(Panel5);

    Panel6 = new TButtonBand(Panel1);
    Panel6->setObjectName(QStringLiteral("Panel6"));
    Panel6->setFixedHeight(41);
    Button1 = MakeButton(QStringLiteral("Button1"), QStringLiteral("Cancel"), Panel6);
    Button4 = MakeButton(QStringLiteral("Button4"), QStringLiteral("Default"), Panel6);
    Button2 = MakeButton(QStringLiteral("Button2"), QStringLiteral("Save"), Panel6);
    Panel6->SetButtons(Button1, Button4, Button2);

    auto* bottomLayout = new QVBoxLayout(Panel1);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->setSpacing(0);
    bottomLayout->addWidget(Panel2);
    bottomLayout->addWidget(Panel3);
    bottomLayout->addWidget(Panel6);

    auto* windowLayout = new QVBoxLayout(this);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->setSpacing(0);
    windowLayout->addWidget(Label2);
    windowLayout->addWidget(CheckListBox1, 1);
    windowLayout->addWidget(Panel1);

    setTabOrder(CheckListBox1, Memo1);
    setTabOrder(Memo1, Button4);
    setTabOrder(Button4, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);

    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    // Enter in the new file type adds it; Escape anywhere in the window cancels.
    connect(Memo1, &TOneLineMemo::returnPressed, Button3, &QPushButton::click);
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, Button1,
            &QPushButton::click);

    move(324, 191);
    resize(kDesignWidth, kDesignHeight);
    KeepInsideScreen(*this);
    FormCreate();
}

void TForm4::FormCreate() {
    RunGuarded([this] { FillList(); });
}

void TForm4::AppendEntry(const std::string& text, bool checked) {
    auto* item = new QListWidgetItem(FromProgramText(text));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    CheckListBox1->addItem(item);
}

void TForm4::AppendEntries(const std::string& list, bool checked) {
    std::string rest = list;
    while (!rest.empty()) {
        const std::size_t separator = rest.find(';');
        if (separator == std::string::npos) {
            AppendEntry(rest, checked);
            rest.clear();
        } else {
            AppendEntry(rest.substr(0, separator), checked);
            rest.erase(0, separator + 1);
        }
    }
}

void TForm4::FillList() {
    CheckListBox1->clear();
    AppendEntries(FileTypes, true);
    AppendEntries(UncheckedTypes, false);
}

std::string TForm4::MemoText() const {
    // The document's own text, without the plain-text conversions (no-break
    // spaces stay); paragraph and line separators become CR LF.
    QString text = Memo1->document()->toRawText();
    text.replace(QChar(QChar::ParagraphSeparator), QStringLiteral("\r\n"));
    text.replace(QChar(QChar::LineSeparator), QStringLiteral("\r\n"));
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void TForm4::Button3Click() {
    RunGuarded([this] {
        const std::string text = MemoText();
        if (text.empty()) {
            ShowOwnMessage(this, QStringLiteral("Please fill in a file type."));
            return;
        }
        const bool invalid = text.find_first_of(kInvalidCharacters) != std::string::npos;
        const QString entry = FromProgramText(text);
        bool exists = false;
        for (int row = 0; row < CheckListBox1->count() && !exists; ++row)
            exists = CheckListBox1->item(row)->text() == entry;
        if (!invalid && !exists) {
            AppendEntry(text, true);
            return;
        }
        if (exists)
            ShowOwnMessage(this, QStringLiteral("That file type already exists."));
        if (invalid)
            ShowOwnMessage(this, QStringLiteral("That file type is not valid."));
    });
}

void TForm4::Button4Click() {
    RunGuarded([this] {
        CheckListBox1->clear();
        AppendEntries(DefaultTypeList, true);
    });
}

void TForm4::Button2Click() {
    RunGuarded([this] {
        FileTypes.clear();
        UncheckedTypes.clear();
        for (int row = 0; row < CheckListBox1->count(); ++row) {
            const QListWidgetItem* item = CheckListBox1->item(row);
            const QByteArray text = item->text().toUtf8();
            std::string& list = item->checkState() == Qt::Checked ? FileTypes : UncheckedTypes;
            list += ';';
            list.append(text.constData(), static_cast<std::size_t>(text.size()));
        }
        if (!FileTypes.empty())
            FileTypes.erase(0, 1);
        if (!UncheckedTypes.empty())
            UncheckedTypes.erase(0, 1);
        WriteFileTypeLists();
        hide();
    });
}

void TForm4::Button1Click() {
    RunGuarded([this] {
        FillList();
        hide();
    });
}

void TForm4::closeEvent(QCloseEvent* event) {
    RunGuarded([&] {
        // The window system's close box and Alt+F4 act as "Cancel".
        if (event->spontaneous())
            FillList();
        QWidget::closeEvent(event);
    });
}
