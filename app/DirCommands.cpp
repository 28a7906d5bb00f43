// The main window's directory commands: "Load Dir" with the scanner's two events,
// "Optimize Dir", "Change Dir", "Save All", and the file list and its caption.

#include "app/ClickLabel.h"
#include "app/FileListModel.h"
#include "app/MessageBoxes.h"
#include "app/Unit1.h"
#include "app/Unit1Commands.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "scanner/FScanner.h"
#include "settings/FileTypeLists.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QListView>
#include <QPushButton>

#include <string>
#include <string_view>
#include <vector>

namespace {

const char kPreWarningStart[] = "<pre> tags have been detected in the following file(s):";
const char kPreWarningEnd[] =
    "The Velocitrix Website Optimizer could damage text within the <pre></pre> tags, only save "
    "if you are sure about the consequences.";

// What a walk could not list: the folders it could not read, and the temporaries
// of an interrupted save it left out. Empty when it listed everything.
std::string WalkGapsText(const std::vector<UnreadFolder>& unread, std::size_t leftovers) {
    std::string text;
    if (!unread.empty()) {
        text = "These folders could not be read; their files are not in the list:";
        for (const UnreadFolder& folder : unread)
            text += "\n" + folder.path + " (" + SystemErrorText(folder.error) + ")";
    }
    if (leftovers > 0) {
        if (!text.empty())
            text += "\n\n";
        text += std::to_string(leftovers) +
                " temporary file(s) of an interrupted save were found and left out of the list.";
    }
    return text;
}

} // namespace

void TForm1::LoadDirClick(QObject*) {
    RunCommand([this] {
        if (!lastDirPath_.isEmpty())
            OpenDialog2->selectFile(lastDirPath_);
        else
            StartInLastFolder(*OpenDialog2);
        if (OpenDialog2->exec() != QDialog::Accepted)
            return;
        const std::string chosen = ChosenPath(*OpenDialog2);
        if (chosen.empty())
            return;
        lastDirPath_ = FromProgramText(chosen);
        RememberFolderOf(chosen);
        ListFolder(FolderOf(chosen));
    });
}

void TForm1::ListFolder(const std::string& folder) {
    BaseScanner1->SetRecursive(CheckBox1->isChecked());
    BaseScanner1->SetFiles(FileTypes);
    Panel1->setText(QStringLiteral("No Files to modify found in the specified directory!"));
    document_.ClearDocument();
    // Emptying the list is the program's doing, not the user's selection.
    selectingFromProgram_ = true;
    fileList_->Clear();
    selectingFromProgram_ = false;
    batch_.Forget();
    const std::string prefix = FolderPrefixOf(JoinPath(folder, "x"));
    batch_.SetListedFolder(prefix);
    BaseScanner1->SetDirectory(prefix);
    BaseScanner1->StartScan();
    DisableCommands();
}

void TForm1::BaseScanner1FileFound(const std::string& AName, const std::string& APath, std::int32_t,
                                   std::int32_t, double) {
    // Runs once per file found: guarded, but without the snapshot of the window
    // that other commands take, since it switches nothing off and leaves the text.
    RunGuarded([&] {
        ListBox1->show();
        Panel1->show();
        Panel1->setText(QStringLiteral("[") +
                        QString::number(static_cast<qulonglong>(fileList_->Count() + 1)) +
                        QStringLiteral("] Files that are going to be modified: (Click panel to "
                                       "hide, file to view)"));
        fileList_->Add(FoundPath(APath, AName));
    });
}

void TForm1::BaseScanner1ProcessDone(std::uint32_t, std::uint32_t) {
    RunCommand(
        [this] {
            EnableCommands(fileList_->Count() == 0 ? Offers::NothingListed : Offers::Listed);
            // Nothing the walk left out is left out without a word.
            const std::string missed =
                WalkGapsText(BaseScanner1->UnreadFolders(), BaseScanner1->LeftoverCount());
            if (!missed.empty())
                ShowMessage(FromProgramText(missed));
        },
        TextUse::Keeps);
}

OptimizeDirOutcome TForm1::ApplyOnWorker(BatchProgress& progress, const FileStep& step) {
    // Beside the window, as Save All: the window paints and answers meanwhile,
    // and touches neither the list, the kept texts nor the document (the
    // commands are off).
    return progress.RunOnWorker([&](const BatchControl& control) {
        return batch_.Apply(document_, *fileList_, step, control);
    });
}

void TForm1::OptDirClick(QObject*) {
    RunBatchCommand(QStringLiteral("Optimizing the files..."), [this](BatchProgress& progress) {
        DisableCommands();
        const OptimizeDirOutcome run = ApplyOnWorker(progress, ChosenStep(true));
        if (run.stopped)
            return false;
        EnableCommands(Offers::DirOptimized);
        if (fileList_->Count() > 0)
            SelectListEntry(static_cast<int>(fileList_->Count() - 1));
        SetSpaceSaved(run.Saved());
        Panel1->setText(QStringLiteral("All Files have been optimized, you can save them now. "
                                       "(Click panel to hide, file to view)"));
        RefreshView();
        if (!run.preList.empty())
            ShowMessage(FromProgramText(kPreWarningStart + run.preList + kPreWarningEnd));
        else
            ShowMessage(QStringLiteral("All Files have been optimized, you can save them now."));
        return true;
    });
}

void TForm1::Button1Click(QObject*) {
    RunBatchCommand(QStringLiteral("Changing the files..."), [this](BatchProgress& progress) {
        DisableCommands();
        if (ApplyOnWorker(progress, ChosenStep(false)).stopped)
            return false;
        if (fileList_->Count() > 0)
            SelectListEntry(static_cast<int>(fileList_->Count() - 1));
        EnableCommands(Offers::DirChanged);
        Panel1->setText(QStringLiteral("All files have been modified, you can save them now. "
                                       "(Click panel to hide, file to view)"));
        RefreshView();
        ShowMessage(QStringLiteral("All files have been modified, you can save them now."));
        return true;
    });
}

void TForm1::SaveAllClick(QObject*) {
    RunBatchCommand(QStringLiteral("Saving the files..."), [this](BatchProgress& progress) {
        // The window stays as it was; only nothing can be started meanwhile.
        const Availability before = CaptureAvailability();
        DisableCommands();
        // In list order, a chunk at a time made durable together; when one fails,
        // the files before it are written and the rest are left as they are. The
        // writes wait for the disk, so they run beside the window, not on its thread.
        const LineBreakStyle breaks = ChosenLineBreaks();
        const SaveAllOutcome run = progress.RunOnWorker([&](const BatchControl& control) {
            return batch_.SaveAll(document_, *fileList_, control, breaks);
        });
        RestoreAvailability(before);
        if (run.stopped) {
            // What is written stays written; the rest can still be saved.
            Panel1->setText(QStringLiteral("Saving was stopped: %1 of %2 files have been saved. "
                                           "(Click panel to hide, file to view)")
                                .arg(run.written)
                                .arg(fileList_->Count()));
            RefreshView();
            return true;
        }
        Panel1->setText(
            QStringLiteral("All Files have been saved. (Click panel to hide, file to view)"));
        SaveAll->setEnabled(false);
        RefreshView();
        ShowMessage(QStringLiteral("All Files have been saved."));
        return true;
    });
}

void TForm1::ListBox1Click(QObject*) {
    RunCommand([this] {
        const QModelIndex current = ListBox1->currentIndex();
        if (fileList_->Count() == 0 || !current.isValid())
            return;
        batch_.Show(document_, *fileList_, static_cast<std::size_t>(current.row()));
    });
}

void TForm1::Panel1Click(QObject*) {
    RunCommand([this] { ListBox1->setVisible(ListBox1->isHidden()); }, TextUse::Keeps);
}
