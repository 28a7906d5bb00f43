// The main window's directory commands: "Load Dir" with the scanner's two events,
// "Optimize Dir", "Change Dir", "Save All", and the file list and its caption.

#include "app/ClickLabel.h"
#include "app/FileListModel.h"
#include "app/MessageBoxes.h"
#include "app/Unit1.h"
#include "app/Unit1Commands.h"
#include "platform/SafeWrite.h"
#include "scanner/FScanner.h"
#include "settings/FileTypeLists.h"
#include "text/Optimizer.h"
#include "text/ReplaceText.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QListView>
#include <QPushButton>

#include <string>
#include <string_view>

namespace {

const char kPreWarningStart[] = "<pre> tags have been detected in the following file(s):";
const char kPreWarningEnd[] =
    "The Velocitrix Website Optimizer could damage text within the <pre></pre> tags, only save "
    "if you are sure about the consequences.";

// "Save All" makes its writes durable together, one flush of the file system per
// chunk: fewer, larger chunks cost fewer flushes; each pending file holds a
// descriptor, so a chunk stays well below the usual limit of 1024 open files.
constexpr std::size_t kSaveChunkFiles = 768;
constexpr std::size_t kSaveChunkBytes = std::size_t{128} << 20;

// The folder part of a chosen name: everything up to and including its last "/".
std::string FolderOf(const std::string& chosen) {
    const std::size_t slash = chosen.rfind('/');
    return slash == std::string::npos ? std::string() : chosen.substr(0, slash + 1);
}

} // namespace

void TForm1::LoadDirClick(QObject*) {
    RunCommand([this] {
        BaseScanner1->SetRecursive(CheckBox1->isChecked());
        BaseScanner1->SetFiles(FileTypes);
        if (!lastDirPath_.isEmpty())
            OpenDialog2->selectFile(lastDirPath_);
        if (OpenDialog2->exec() != QDialog::Accepted)
            return;
        const std::string chosen = ChosenPath(*OpenDialog2);
        if (chosen.empty())
            return;
        lastDirPath_ = FromProgramText(chosen);
        Panel1->setText(QStringLiteral("No Files to modify found in the specified directory!"));
        document_.ClearDocument();
        // Emptying the list is the program's doing, not the user's selection.
        selectingFromProgram_ = true;
        fileList_->Clear();
        selectingFromProgram_ = false;
        FileTextsReady = false;
        BaseScanner1->SetDirectory(FolderOf(chosen));
        BaseScanner1->StartScan();
        DisableCommands();
    });
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
        // Exactly one path delimiter between the directory and the name.
        std::string path;
        path.reserve(APath.size() + 1 + AName.size());
        path = APath;
        if (path.empty() || path.back() != '/')
            path += '/';
        path += AName;
        fileList_->Add(path);
    });
}

void TForm1::BaseScanner1ProcessDone(std::uint32_t, std::uint32_t) {
    RunCommand(
        [this] {
            if (fileList_->Count() == 0)
                EnableCommands(true, true, false, false, false, false, false, false, true, true,
                               false, true, false);
            else
                EnableCommands(true, true, false, true, false, false, false, true, true, true,
                               false, true, false);
        },
        TextUse::Keeps);
}

void TForm1::FillFromListEntry(std::size_t i) {
    document_.SetCharLimit(TextDocument::FileCharLimit);
    document_.SetPlainText(true);
    if (FileTextsReady)
        // A copy: the kept text stays as it was should this file fail.
        document_.SetWholeText(FileTexts[i]);
    else
        document_.ReadFromFile(fileList_->Entry(i), &FileStamps[i]);
}

void TForm1::OptDirClick(QObject*) {
    RunCommand([this] {
        DisableCommands();
        std::size_t before = 0;
        std::size_t after = 0;
        std::string preList;
        const std::size_t count = fileList_->Count();
        FileTexts.resize(count);
        FileStamps.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            FillFromListEntry(i);
            // An empty text is not optimized and adds nothing to either sum.
            const OptimizeRun run = OptimizeDocument(document_);
            before += run.lengthBefore;
            after += run.lengthAfter;
            FileTexts[i] = document_.WholeText();
            if (run.hasPre) {
                preList += fileList_->Entry(i);
                preList += ", ";
            }
        }
        FileTextsReady = true;
        EnableCommands(true, true, false, false, false, true, false, true, true, true, true, true,
                       true);
        if (count > 0)
            SelectListEntry(static_cast<int>(count - 1));
        SetSpaceSaved(before - after);
        Panel1->setText(QStringLiteral("All Files have been optimized, you can save them now. "
                                       "(Click panel to hide, file to view)"));
        RefreshView();
        if (!preList.empty())
            ShowMessage(FromProgramText(kPreWarningStart + preList + kPreWarningEnd));
        else
            ShowMessage(QStringLiteral("All Files have been optimized, you can save them now."));
    });
}

void TForm1::Button1Click(QObject*) {
    RunCommand([this] {
        DisableCommands();
        const std::string pattern = MemoText(*Memo2);
        const std::string replacement = MemoText(*Memo3);
        const bool caseSensitive = CheckBox2->isChecked();
        const std::size_t count = fileList_->Count();
        FileTexts.resize(count);
        FileStamps.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            FillFromListEntry(i);
            if (!pattern.empty()) // an empty pattern matches nowhere
                document_.SetWholeText(
                    ReplaceText(document_.WholeText(), pattern, replacement, caseSensitive));
            FileTexts[i] = document_.WholeText();
        }
        FileTextsReady = true;
        if (count > 0)
            SelectListEntry(static_cast<int>(count - 1));
        EnableCommands(true, true, false, true, false, true, false, true, true, true, true, true,
                       false);
        Panel1->setText(QStringLiteral("All files have been modified, you can save them now. "
                                       "(Click panel to hide, file to view)"));
        RefreshView();
        ShowMessage(QStringLiteral("All files have been modified, you can save them now."));
    });
}

void TForm1::SaveAllClick(QObject*) {
    RunCommand([this] {
        const std::size_t count = fileList_->Count();
        // Each file's bytes are the view's text after AssignLines, built in the
        // view's own buffer just before the file is written. The writes go out in
        // list order, a chunk at a time made durable together; when one fails, the
        // files before it are written and the rest are left as they are.
        WriteFilesInOrder(
            count, [this](std::size_t i) { return fileList_->Entry(i); },
            [this](std::size_t i) -> std::string_view {
                document_.SetPlainText(true);
                document_.AssignLines(i < FileTexts.size() ? std::string_view(FileTexts[i])
                                                           : std::string_view());
                return document_.WholeText();
            },
            kSaveChunkFiles, kSaveChunkBytes,
            [this](std::size_t i) {
                // Only inside the folder that was listed, and only the file as read.
                WriteOptions options;
                options.beneath = BaseScanner1->Directory();
                if (i < FileStamps.size())
                    options.readAs = FileStamps[i];
                return options;
            });
        Panel1->setText(
            QStringLiteral("All Files have been saved. (Click panel to hide, file to view)"));
        FileTextsReady = false;
        SaveAll->setEnabled(false);
        RefreshView();
        ShowMessage(QStringLiteral("All Files have been saved."));
    });
}

void TForm1::ListBox1Click(QObject*) {
    RunCommand([this] {
        const QModelIndex current = ListBox1->currentIndex();
        if (fileList_->Count() == 0 || !current.isValid())
            return;
        const auto row = static_cast<std::size_t>(current.row());
        document_.SetCharLimit(TextDocument::FileCharLimit);
        document_.SetPlainText(true);
        if (FileTextsReady && row < FileTexts.size())
            document_.AssignLines(FileTexts[row]);
        else
            document_.ReadFromFile(fileList_->Entry(row));
    });
}

void TForm1::Panel1Click(QObject*) {
    RunCommand([this] { ListBox1->setVisible(ListBox1->isHidden()); }, TextUse::Keeps);
}
