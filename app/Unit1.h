#pragma once
// The main window: the text view, the file list and the optimization toolbox,
// the menu, and the rule that decides which commands the user can reach.

#include "commands/CommandSet.h"
#include "commands/DirectoryBatch.h"
#include "text/TextDocument.h"

#include <QMainWindow>

#include <cstdint>
#include <string>
#include <vector>

class BatchProgress;
class QAction;
class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class TBaseScanner;
class TClickLabel;
class TFileListModel;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1();
    ~TForm1() override;

    // Controls, in the order the window declares them.
    QGroupBox* GroupBox1;
    QPushButton* LoadFile;
    QPushButton* LoadDir;
    QPushButton* OptFile;
    QPushButton* OptDir;
    QPushButton* SaveFile;
    QPushButton* SaveAll;
    QFileDialog* OpenDialog1;
    QFileDialog* OpenDialog2;
    QMenuBar* MainMenu1;
    QFileDialog* SaveDialog1;
    QLabel* Label3;
    QLabel* Label4;
    TBaseScanner* BaseScanner1 = nullptr;
    QListView* ListBox1;
    QMenu* File1;
    QAction* Quit1;
    QAction* About1;
    QAction* Quit2;
    QWidget* Panel2;
    QWidget* Panel7;
    QPushButton* DoIt;
    QPushButton* Button1;
    QPlainTextEdit* Memo2;
    QLineEdit* Edit1;
    QPlainTextEdit* Memo3;
    QLineEdit* Edit2;
    QLabel* Label1;
    QLabel* Label2;
    QCheckBox* CheckBox1;
    QAction* ypestomodify1;
    QAction* LoadFile1; // File menu: Load File (Ctrl+O)
    QAction* SaveFile1; // File menu: Save File (Ctrl+S)
    QAction* KeepPre1;  // checkable: preformatted blocks are left as they are
    // The File menu's "Line breaks" submenu: three exclusive checkable actions,
    // the style files are written with.
    QMenu* LineBreaks1;
    QAction* CrLfBreaks1; // CR LF
    QAction* UnixBreaks1; // LF
    QAction* KeepBreaks1; // each file's own, the style of its first line break
    QCheckBox* CheckBox2;
    TClickLabel* Panel1;
    QPlainTextEdit* RichEdit1;

    // The path last loaded by "Load File" (bytes).
    std::string CurrentFileName;
    // The directory commands' kept texts (one per entry of the file list) and
    // whether they are current.
    const DirectoryBatch& Batch() const { return batch_; }
    DirectoryBatch& Batch() { return batch_; }

    // The text the view shows.
    TextDocument& Document() { return document_; }
    const TextDocument& Document() const { return document_; }
    // The entries of the file list, in display order.
    const TFileListModel& FileList() const { return *fileList_; }

    // The busy state: every command, both options and the menu off; the view, the
    // list, its caption and the space-saved figure hidden.
    void DisableCommands();
    // Switches on what the next step offers; never switches anything off.
    // CheckBox2 and the menu are always switched on.
    void EnableCommands(CommandSet offers);

    // Event handlers; each runs guarded: an error is shown in the error box, the
    // command availability and the text that held before it are restored.
    void LoadFileClick(QObject* Sender);
    void OptFileClick(QObject* Sender);
    void DoItClick(QObject* Sender);
    void SaveFileClick(QObject* Sender);
    void LoadDirClick(QObject* Sender);
    void BaseScanner1FileFound(const std::string& AName, const std::string& APath,
                               std::int32_t AAttr, std::int32_t ASize, double ADateTime);
    void OptDirClick(QObject* Sender);
    void SaveAllClick(QObject* Sender);
    void Button1Click(QObject* Sender);
    void Quit2Click(QObject* Sender);
    void Quit1Click(QObject* Sender);
    void About1Click(QObject* Sender);
    void BaseScanner1ProcessDone(std::uint32_t ACount, std::uint32_t ASize);
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void ypestomodify1Click(QObject* Sender);
    void Panel1Click(QObject* Sender);
    void ListBox1Click(QObject* Sender);

    // Opens what the desktop hands the program (its arguments, a drop): the
    // first path only, a folder listed as "Load Dir" lists the folder chosen
    // (with the options as they are), anything else loaded as "Load File" loads
    // the file chosen, with the same messages. Ignored while those commands are
    // not available.
    void OpenPaths(const std::vector<std::string>& paths);

protected:
    // Keeps the change panel right-aligned in the toolbox, the menu's Load and
    // Save items as available as their buttons, and F10's menu on the arrow keys.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // While a directory command runs, asks whether to stop it; the window then
    // closes once the command has ended.
    void closeEvent(QCloseEvent* event) override;
    // A file or folder dropped on the window is opened as OpenPaths opens it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Whether a handler may change the text, so that a failure has to put it back.
    enum class TextUse { Changes, Keeps };
    // Runs one command: on an error, restores what the command had changed of the
    // availability and (for TextUse::Changes) of the text, then shows the error.
    // The view is refreshed once at the end either way. A body that returns false
    // was stopped: the same restoring, without an error.
    template <typename Body> void RunCommand(Body&& body, TextUse use = TextUse::Changes);
    // Runs a directory command with its progress shown; body is handed the
    // BatchProgress to run its work on a worker with, and returns false when the
    // user stopped it.
    template <typename Body> void RunBatchCommand(const QString& doing, Body&& body);

    struct Availability {
        std::vector<bool> enabled;
        std::vector<bool> shown;
    };

    void BuildControls();
    void BuildMenu();
    void BuildDialogs();
    void BuildScanner();
    // The two loads once a path is chosen: they run inside RunCommand.
    void LoadPath(const std::string& path);
    void ListFolder(const std::string& folder);
    // Where a dialog starts when it has no path of its own to show: the folder of
    // the last path confirmed in a file dialog, in this run or a stored one.
    void StartInLastFolder(QFileDialog& dialog) const;
    void RememberFolderOf(const std::string& path);
    void SetTabOrder();
    // Keeps the change panel right-aligned in the toolbox (on its resize).
    void PlaceChangePanel();
    Availability CaptureAvailability() const;
    // What the two File menu switches ask of the commands.
    OptimizeOptions ChosenOptimizeOptions() const;
    LineBreakStyle ChosenLineBreaks() const;
    // What a directory command does to each file: the switches and, for a
    // change, the two fields.
    FileStep ChosenStep(bool optimize) const;
    // "Optimize Dir" or "Change Dir" over the listed files, on progress's worker.
    OptimizeDirOutcome ApplyOnWorker(BatchProgress& progress, const FileStep& step);
    void RestoreAvailability(const Availability& state);
    // Shows the document in RichEdit1 when it changed since it was last shown.
    void RefreshView();
    void SetSpaceSaved(std::size_t bytes);
    // Selects a list entry without running ListBox1Click (only the user's
    // selection loads a file into the view).
    void SelectListEntry(int row);
    // The controls each offer switches on (the enabled ones first, then the shown).
    struct OfferControl {
        Offer offer;
        QWidget* control;
    };
    std::vector<OfferControl> OfferControls() const;
    static void ShowWindow(QWidget* window);

    TextDocument document_;
    DirectoryBatch batch_;
    std::uint64_t shownRevision_ = 0;
    TFileListModel* fileList_ = nullptr;
    QString lastOpenPath_;
    QString lastDirPath_;    // the name chosen last in OpenDialog2
    std::string lastFolder_; // stored as "lastfolder"
    bool selectingFromProgram_ = false;
    BatchProgress* progress_ = nullptr; // the directory command running, if any
    bool closeWhenEnded_ = false;
    bool menuFromKey_ = false; // the File menu was opened by F10
};

extern TForm1* Form1;
