// The main window: its construction and destruction, the start-up and shut-down
// handlers, the menu's windows, a close while a command runs, what the desktop
// hands it (arguments, drops) and its keys; and the view and helpers the command
// files share. The layout is in Unit1Layout.cpp, the availability table in
// Unit1Availability.cpp, the commands in SingleFileCommands.cpp and DirCommands.cpp.

#include "app/Unit1.h"

#include "app/AppIcon.h"
#include "app/BatchProgress.h"
#include "app/FileListModel.h"
#include "app/HandlerGuard.h"
#include "app/MessageBoxes.h"
#include "app/PathBytes.h"
#include "app/ProgramFont.h"
#include "app/Unit1Commands.h"
#include "app/WindowPlacement.h"
#include "app/windows/Unit2.h"
#include "app/windows/Unit3.h"
#include "app/windows/Unit4.h"
#include "platform/PathLookup.h"
#include "platform/Paths.h"
#include "scanner/FScanner.h"
#include "settings/FileTypeLists.h"
#include "settings/LastFolder.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <optional>

TForm1* Form1 = nullptr;

namespace {

// The first local file or folder a drag carries, as the program's bytes.
std::optional<std::string> DroppedPath(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls())
        return std::nullopt;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            return PathBytesOf(url.toLocalFile());
    }
    return std::nullopt;
}

} // namespace

TForm1::TForm1() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velocitrix Website Optimizer v1.2.1"));
    setWindowIcon(VelocitrixIcon());
    setFont(ProgramFont());
    setAcceptDrops(true);
    resize(600, 525);
    move(191, 114);

    fileList_ = new TFileListModel(this);
    BuildControls();
    BuildMenu();
    // At least the design's size, and as large as the controls need side by side;
    // on a smaller screen the window is made smaller and its content scrolls.
    setMinimumSize(QSize(600, 440).expandedTo(
        centralWidget()->findChild<QWidget*>(QStringLiteral("ClientArea"))->minimumSize() +
        QSize(0, MainMenu1->sizeHint().height())));
    BuildDialogs();
    SetTabOrder();
    BuildScanner();

    RunGuarded([this] { FormCreate(this); });
}

TForm1::~TForm1() {
    // A scan still running ends here, before any control it reports to is gone.
    delete BaseScanner1;
    BaseScanner1 = nullptr;
    RunGuarded([this] { FormDestroy(this); });
    if (Form1 == this)
        Form1 = nullptr;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Memo2 || watched == Memo3) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && (key->modifiers() & Qt::ControlModifier)) {
            const bool back =
                key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
            RunGuarded([&] { focusNextPrevChild(!back); });
            return true;
        }
    }
    if (event->type() == QEvent::EnabledChange && (watched == LoadFile || watched == SaveFile)) {
        QAction* action = watched == LoadFile ? LoadFile1 : SaveFile1;
        action->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
    }
    if (watched == File1 && menuFromKey_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const QAction* item = File1->activeAction();
        if ((key == Qt::Key_Right || key == Qt::Key_Left) && (item == nullptr || !item->menu())) {
            RunGuarded([this] {
                File1->hide();
                // The bar takes the keys with About highlighted: Enter opens it, Escape
                // leaves the bar.
                MainMenu1->setFocus(Qt::MenuBarFocusReason);
                MainMenu1->setActiveAction(About1);
            });
            return true;
        }
    }
    if (watched == GroupBox1 && event->type() == QEvent::Resize)
        RunGuarded([this] { PlaceChangePanel(); });
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::RefreshView() {
    if (document_.Revision() == shownRevision_)
        return;
    QString text = FromProgramText(document_.WholeText());
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    RichEdit1->setPlainText(text);
    shownRevision_ = document_.Revision();
}

void TForm1::SetSpaceSaved(std::size_t bytes) {
    Label4->setText(QString::number(static_cast<qulonglong>(bytes)) + QStringLiteral(" bytes"));
    Label4->adjustSize();
}

void TForm1::SelectListEntry(int row) {
    selectingFromProgram_ = true;
    ListBox1->setCurrentIndex(fileList_->index(row, 0));
    selectingFromProgram_ = false;
}

void TForm1::ShowWindow(QWidget* window) {
    if (window == nullptr)
        return;
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

OptimizeOptions TForm1::ChosenOptimizeOptions() const {
    OptimizeOptions options;
    options.keepPre = KeepPre1->isChecked();
    return options;
}

LineBreakStyle TForm1::ChosenLineBreaks() const {
    return KeepBreaks1->isChecked()   ? LineBreakStyle::Keep
           : UnixBreaks1->isChecked() ? LineBreakStyle::Lf
                                      : LineBreakStyle::CrLf;
}

FileStep TForm1::ChosenStep(bool optimize) const {
    FileStep step;
    step.optimize = optimize;
    step.optimizeOptions = ChosenOptimizeOptions();
    step.breaks = ChosenLineBreaks();
    if (!optimize)
        step.change = {MemoText(*Memo2), MemoText(*Memo3), CheckBox2->isChecked()};
    return step;
}

// ---------------------------------------------------------------------------
// Creation and destruction

void TForm1::FormCreate(QObject*) {
    batch_.Forget();
    LoadWindowPlacement(*this, ShowReportedError);
    ReadStartupOptions(*CheckBox1, *CheckBox2, *KeepPre1, *UnixBreaks1, CrLfBreaks1, KeepBreaks1);
    lastFolder_ = ReadLastFolder();
}

void TForm1::FormDestroy(QObject*) {
    SaveWindowPlacement(*this);
    WriteShutdownOptions(*CheckBox1, *CheckBox2, *KeepPre1, *UnixBreaks1, KeepBreaks1);
    WriteLastFolder(lastFolder_);
}

void TForm1::StartInLastFolder(QFileDialog& dialog) const {
    if (!lastFolder_.empty() && IsFolder(lastFolder_))
        dialog.setDirectory(
            QString::fromUtf8(lastFolder_.data(), static_cast<qsizetype>(lastFolder_.size())));
}

void TForm1::RememberFolderOf(const std::string& path) {
    lastFolder_ = FolderOf(path);
}

// ---------------------------------------------------------------------------
// Opening from the desktop

void TForm1::OpenPaths(const std::vector<std::string>& paths) {
    if (paths.empty())
        return;
    const std::string path = AbsolutePath(paths.front());
    if (IsFolder(path)) {
        if (LoadDir->isEnabled())
            RunCommand([&] {
                // Load Dir's dialog opens there next, with the name it offers.
                lastDirPath_ = FromProgramText(JoinPath(path, "Directory"));
                ListFolder(TrimTrailingSlashes(path));
            });
    } else if (LoadFile->isEnabled()) {
        RunCommand([&] { LoadPath(path); });
    }
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedPath(event->mimeData()) && (LoadFile->isEnabled() || LoadDir->isEnabled()))
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const std::optional<std::string> path = DroppedPath(event->mimeData());
    if (!path)
        return;
    event->acceptProposedAction();
    // Opened once the drop has ended: a message box must not hold up the program
    // the file was dragged from.
    QTimer::singleShot(0, this,
                       [this, paths = std::vector<std::string>{*path}] { OpenPaths(paths); });
}

// ---------------------------------------------------------------------------
// Menu

void TForm1::closeEvent(QCloseEvent* event) {
    if (progress_ == nullptr) {
        QMainWindow::closeEvent(event);
        return;
    }
    // The command is still on the stack below this event: it has to end first.
    event->ignore();
    RunGuarded([this] {
        const auto answer = QMessageBox::question(
            this, QGuiApplication::applicationDisplayName(),
            QStringLiteral("A command is running. Stop it and close the window?"));
        if (answer == QMessageBox::Yes && progress_ != nullptr) {
            progress_->RequestStop();
            closeWhenEnded_ = true;
        }
    });
}

void TForm1::Quit2Click(QObject*) {
    RunGuarded([this] { close(); });
}

void TForm1::Quit1Click(QObject*) {
    RunGuarded([] { ShowWindow(Form2); });
}

void TForm1::About1Click(QObject*) {
    RunGuarded([] { ShowWindow(Form3); });
}

void TForm1::ypestomodify1Click(QObject*) {
    RunGuarded([] { ShowWindow(Form4); });
}
