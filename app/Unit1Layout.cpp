// The main window's layout: the toolbox, the change panel, the file list over
// the view, the menu and its keys, the file dialogs, the scanner component and
// the tab order, built once by the constructor.

#include "app/ChangeBoxes.h"
#include "app/ClickLabel.h"
#include "app/FileDialogs.h"
#include "app/FileListModel.h"
#include "app/HandlerGuard.h"
#include "app/Unit1.h"
#include "scanner/FScanner.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFont>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

// The toolbox's inner area, where the change panel is aligned: one pixel of
// frame on each side twice over, and the caption's height at the top.
constexpr int kGroupBoxInnerTop = 15;
constexpr int kGroupBoxInnerSide = 2;
constexpr int kPanel7Width = 271;
// Room between the space-saved figure and the change panel.
constexpr int kPanel7Gap = 6;
// The file list lies over the view from just below its caption.
constexpr int kListTop = 18;
constexpr int kListHeight = 273;
// The figure the space-saved label leaves room for (files up to 10 GB).
constexpr const char* kWidestFigure = "9999999999 bytes";

QFont Serif8() {
    QFont font(QStringLiteral("Serif"), 8);
    font.setStyleHint(QFont::Serif);
    return font;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int x, int y, int w,
                        int h, bool enabled) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setGeometry(x, y, w, h);
    button->setAutoDefault(true); // Enter on the focused button presses it
    button->setEnabled(enabled);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int x, int y) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromUtf8(caption));
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name, int x, int y) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromUtf8(name));
    memo->setTabChangesFocus(false); // Tab and Enter are typed into it
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->document()->setDocumentMargin(1);
    memo->setGeometry(x, y, 121, 25);
    KeepChangeBoxReadable(*memo);
    return memo;
}

QLineEdit* MakeHiddenEdit(QWidget* parent, const char* name, int x, int y) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setGeometry(x, y, 121, 21);
    edit->hide();
    return edit;
}

} // namespace

void TForm1::BuildControls() {
    // The content scrolls when the window is smaller than it needs (a small screen
    // at a large scale), rather than the controls being pushed over each other.
    auto* scroller = new QScrollArea(this);
    scroller->setObjectName(QStringLiteral("ClientScroller"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    setCentralWidget(scroller);
    auto* client = new QWidget;
    client->setObjectName(QStringLiteral("ClientArea"));
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    GroupBox1 = new QGroupBox(QStringLiteral("Optimization Toolbox"), client);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setFixedHeight(92);

    LoadFile = MakeButton(GroupBox1, "LoadFile", "Load File", 8, 16, 65, 25, true);
    LoadDir = MakeButton(GroupBox1, "LoadDir", "Load Dir", 8, 41, 65, 25, true);
    OptFile = MakeButton(GroupBox1, "OptFile", "Optimize File", 80, 16, 81, 25, false);
    OptDir = MakeButton(GroupBox1, "OptDir", "Optimize Dir", 80, 41, 81, 25, false);
    SaveFile = MakeButton(GroupBox1, "SaveFile", "Save File", 168, 16, 57, 25, false);
    SaveAll = MakeButton(GroupBox1, "SaveAll", "Save All", 168, 41, 57, 25, false);
    Label3 = MakeLabel(GroupBox1, "Label3", "Space saved:", 232, 24);
    Label3->hide();
    Label4 = MakeLabel(GroupBox1, "Label4", "", 232, 40);

    CheckBox1 =
        new QCheckBox(QStringLiteral("Include subdirectories (option for Load Dir)"), GroupBox1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(8, 70, 225, 17);

    Panel7 = new QWidget(GroupBox1);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    Label1 = MakeLabel(Panel7, "Label1", "Change", 10, 8);
    Label2 = MakeLabel(Panel7, "Label2", "to", 38, 33);
    DoIt = MakeButton(Panel7, "DoIt", "Change File", 198, 0, 65, 25, false);
    Button1 = MakeButton(Panel7, "Button1", "Change Dir", 198, 25, 65, 25, false);
    Memo2 = MakeMemo(Panel7, "Memo2", 54, 0);
    Edit1 = MakeHiddenEdit(Panel7, "Edit1", 54, 0);
    Memo3 = MakeMemo(Panel7, "Memo3", 54, 25);
    // The captions end before their boxes whatever the font's width.
    for (QLabel* caption : {Label1, Label2})
        caption->move(std::min(caption->x(), Memo2->x() - 2 - caption->width()), caption->y());
    Edit2 = MakeHiddenEdit(Panel7, "Edit2", 54, 27);
    // They take Tab; Ctrl+Tab and Ctrl+Shift+Tab leave them (see eventFilter).
    Memo2->installEventFilter(this);
    Memo3->installEventFilter(this);
    CheckBox2 =
        new QCheckBox(QStringLiteral("Case sensitive (option for Change File / Dir)"), Panel7);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(8, 56, 233, 17);
    GroupBox1->installEventFilter(this);

    Panel2 = new QWidget(client);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(17);
    Panel1 = new TClickLabel(Panel2);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setText(
        QStringLiteral("Files that are going to be modified: (Click panel to hide, file to view)"));
    Panel1->setFont(Serif8());
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setGeometry(0, 0, 400, 17);
    Panel1->hide();
    connect(Panel1, &TClickLabel::clicked, this, [this] { Panel1Click(Panel1); });

    RichEdit1 = new QPlainTextEdit(client);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setUndoRedoEnabled(false);
    RichEdit1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    RichEdit1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Hidden while a command runs, the view keeps its room: the toolbox stays at
    // the bottom, below the file list.
    QSizePolicy keepRoom = RichEdit1->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    RichEdit1->setSizePolicy(keepRoom);

    layout->addWidget(Panel2);
    layout->addWidget(RichEdit1, 1);
    layout->addWidget(GroupBox1);

    // Not in the layout: it lies over the upper-left part of the view.
    ListBox1 = new QListView(client);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setModel(fileList_);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setLayoutDirection(Qt::LeftToRight);
    ListBox1->setGeometry(0, kListTop, 401, kListHeight);
    ListBox1->hide();
    ListBox1->raise();
    connect(ListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!selectingFromProgram_)
            ListBox1Click(ListBox1);
    });

    // The smallest size that holds every control apart: the toolbox's left part
    // (its widest figure included) beside the change panel, and the file list
    // above the toolbox.
    const int figureRight =
        Label4->x() + Label4->fontMetrics().horizontalAdvance(QString::fromLatin1(kWidestFigure));
    const int leftPart = std::max(
        {CheckBox1->geometry().right() + 1, Label3->x() + Label3->sizeHint().width(), figureRight});
    client->setMinimumSize(leftPart + kPanel7Gap + kPanel7Width + kGroupBoxInnerSide,
                           kListTop + kListHeight + GroupBox1->height());
    scroller->setWidget(client);

    connect(LoadFile, &QPushButton::clicked, this, [this] { LoadFileClick(LoadFile); });
    connect(LoadDir, &QPushButton::clicked, this, [this] { LoadDirClick(LoadDir); });
    connect(OptFile, &QPushButton::clicked, this, [this] { OptFileClick(OptFile); });
    connect(OptDir, &QPushButton::clicked, this, [this] { OptDirClick(OptDir); });
    connect(SaveFile, &QPushButton::clicked, this, [this] { SaveFileClick(SaveFile); });
    connect(SaveAll, &QPushButton::clicked, this, [this] { SaveAllClick(SaveAll); });
    connect(DoIt, &QPushButton::clicked, this, [this] { DoItClick(DoIt); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
}

void TForm1::BuildMenu() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false);
    setMenuBar(MainMenu1);

    File1 = new QMenu(QStringLiteral("&File"), MainMenu1);
    File1->setObjectName(QStringLiteral("File1"));
    ypestomodify1 = new QAction(QStringLiteral("&Types to modify"), this);
    ypestomodify1->setObjectName(QStringLiteral("ypestomodify1"));
    Quit1 = new QAction(QStringLiteral("&Help"), this);
    Quit1->setObjectName(QStringLiteral("Quit1"));
    Quit1->setShortcut(QKeySequence::HelpContents);
    Quit2 = new QAction(QStringLiteral("&Quit"), this);
    Quit2->setObjectName(QStringLiteral("Quit2"));
    Quit2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q)); // not every platform theme has one
    About1 = new QAction(QStringLiteral("&About"), this);
    About1->setObjectName(QStringLiteral("About1"));
    KeepPre1 = new QAction(QStringLiteral("&Keep preformatted text intact"), this);
    KeepPre1->setObjectName(QStringLiteral("KeepPre1"));
    KeepPre1->setCheckable(true);
    LineBreaks1 = new QMenu(QStringLiteral("&Line breaks"), File1);
    LineBreaks1->setObjectName(QStringLiteral("LineBreaks1"));
    auto* breaks = new QActionGroup(LineBreaks1);
    breaks->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    CrLfBreaks1 = new QAction(QStringLiteral("CR LF"), breaks);
    CrLfBreaks1->setObjectName(QStringLiteral("CrLfBreaks1"));
    UnixBreaks1 = new QAction(QStringLiteral("LF"), breaks);
    UnixBreaks1->setObjectName(QStringLiteral("UnixBreaks1"));
    KeepBreaks1 = new QAction(QStringLiteral("As in each file"), breaks);
    KeepBreaks1->setObjectName(QStringLiteral("KeepBreaks1"));
    for (QAction* action : {CrLfBreaks1, UnixBreaks1, KeepBreaks1}) {
        action->setCheckable(true);
        LineBreaks1->addAction(action);
    }
    CrLfBreaks1->setChecked(true);
    // The two buttons with the platform's standard keys, offered while the button is.
    LoadFile1 = new QAction(QStringLiteral("&Load File"), this);
    LoadFile1->setObjectName(QStringLiteral("LoadFile1"));
    LoadFile1->setShortcut(QKeySequence::Open);
    SaveFile1 = new QAction(QStringLiteral("&Save File"), this);
    SaveFile1->setObjectName(QStringLiteral("SaveFile1"));
    SaveFile1->setShortcut(QKeySequence::Save);
    for (QAction* action : {LoadFile1, SaveFile1, ypestomodify1, KeepPre1, CrLfBreaks1, UnixBreaks1,
                            KeepBreaks1, Quit1, Quit2, About1})
        action->setMenuRole(QAction::NoRole);

    File1->addAction(LoadFile1);
    File1->addAction(SaveFile1);
    File1->addSeparator();
    File1->addAction(ypestomodify1);
    File1->addSeparator();
    File1->addAction(KeepPre1);
    File1->addMenu(LineBreaks1);
    File1->addSeparator();
    File1->addAction(Quit1);
    File1->addAction(Quit2);
    MainMenu1->addMenu(File1);
    MainMenu1->addAction(About1);
    // F10 opens the menu bar's first menu, from where the arrow keys go on. It is
    // popped up itself: opened through the menu bar (setActiveAction) it shows on
    // X11 but leaves the keyboard with the window.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] {
        RunGuarded([this] {
            if (!File1->menuAction()->isEnabled())
                return; // a command is running: the menu is off, as DisableCommands says
            const QRect title = MainMenu1->actionGeometry(File1->menuAction());
            menuFromKey_ = true;
            File1->popup(MainMenu1->mapToGlobal(title.bottomLeft()));
        });
    });
    // Popped up by itself, the menu does not hand Left and Right on to the menu
    // bar; it is done here, so that F10 and the arrows reach About as Alt+F does.
    File1->installEventFilter(this);
    connect(File1, &QMenu::aboutToHide, this, [this] { menuFromKey_ = false; });

    connect(ypestomodify1, &QAction::triggered, this,
            [this] { ypestomodify1Click(ypestomodify1); });
    connect(Quit1, &QAction::triggered, this, [this] { Quit1Click(Quit1); });
    connect(Quit2, &QAction::triggered, this, [this] { Quit2Click(Quit2); });
    connect(About1, &QAction::triggered, this, [this] { About1Click(About1); });
    for (auto [action, button] : {std::pair{LoadFile1, LoadFile}, std::pair{SaveFile1, SaveFile}}) {
        action->setEnabled(button->isEnabled());
        button->installEventFilter(this); // follows the button's availability
        connect(action, &QAction::triggered, button, [button] {
            if (button->isEnabled())
                button->click();
        });
    }
}

void TForm1::BuildDialogs() {
    OpenDialog1 = MakeFileDialog(this, "OpenDialog1", QFileDialog::AcceptOpen);
    OpenDialog2 = MakeFileDialog(this, "OpenDialog2", QFileDialog::AcceptOpen);
    MakeFolderChooser(*OpenDialog2, QStringLiteral("Directory"),
                      QStringLiteral("Choose a folder - Load Dir"));
    SaveDialog1 = MakeFileDialog(this, "SaveDialog1", QFileDialog::AcceptSave);
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite, true);
}

void TForm1::BuildScanner() {
    BaseScanner1 = new TBaseScanner(this);
    BaseScanner1->setObjectName(QStringLiteral("BaseScanner1"));
    BaseScanner1->SetDirectory("C:\\");
    BaseScanner1->SetFiles("*");
    BaseScanner1->SetScanStrategy(ssSpecifiedDir);
    BaseScanner1->SetScanDrives(TScanDrives{sdHard, sdCDROM, sdRAM, sdNetwork});
    BaseScanner1->SetAttributes(TFileAttributes{});
    BaseScanner1->SetRecursive(false);
    BaseScanner1->SetPriority(tpTimeCritical);
    BaseScanner1->OnProcessDoneError = ShowReportedError;
    BaseScanner1->OnFileFound = [this](const std::string& AName, const std::string& APath,
                                       std::int32_t AAttr, std::int32_t ASize, double ADateTime) {
        BaseScanner1FileFound(AName, APath, AAttr, ASize, ADateTime);
    };
    BaseScanner1->OnProcessDone = [this](std::uint32_t ACount, std::uint32_t ASize) {
        BaseScanner1ProcessDone(ACount, ASize);
    };
}

void TForm1::SetTabOrder() {
    const QWidget* order[] = {LoadFile,  LoadDir,   OptFile,  OptDir,   SaveFile, SaveAll,
                              DoIt,      Button1,   Memo2,    Edit1,    Memo3,    Edit2,
                              CheckBox2, CheckBox1, ListBox1, RichEdit1};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
}

void TForm1::PlaceChangePanel() {
    const int height = GroupBox1->height() - kGroupBoxInnerTop - kGroupBoxInnerSide;
    Panel7->setGeometry(GroupBox1->width() - kGroupBoxInnerSide - kPanel7Width, kGroupBoxInnerTop,
                        kPanel7Width, height);
}
