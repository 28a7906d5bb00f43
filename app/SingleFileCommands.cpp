// The main window's single-file commands: "Load File", "Optimize File",
// "Change File" and "Save File".

#include "app/MessageBoxes.h"
#include "app/Unit1.h"
#include "app/Unit1Commands.h"
#include "commands/FileCommands.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include <string>

void TForm1::LoadFileClick(QObject*) {
    RunCommand([this] {
        if (!lastOpenPath_.isEmpty())
            OpenDialog1->selectFile(lastOpenPath_);
        else
            StartInLastFolder(*OpenDialog1);
        if (OpenDialog1->exec() != QDialog::Accepted)
            return;
        const std::string path = ChosenPath(*OpenDialog1);
        if (path.empty())
            return;
        RememberFolderOf(path);
        LoadPath(path);
    });
}

void TForm1::LoadPath(const std::string& path) {
    lastOpenPath_ = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    LoadFileInto(document_, path);
    CurrentFileName = path;
    DisableCommands();
    EnableCommands(Offers::FileLoaded);
}

void TForm1::OptFileClick(QObject*) {
    RunCommand([this] {
        if (document_.JoinedLength() == 0) {
            ShowMessage(QStringLiteral("The file is empty - nothing to optimize."));
            return;
        }
        DisableCommands();
        const OptimizeRun run =
            OptimizeFile(document_, ChosenOptimizeOptions(), ChosenLineBreaks(), CurrentFileName)
                .run;
        EnableCommands(Offers::FileOptimized);
        SetSpaceSaved(run.Saved());
        RefreshView();
        if (run.hasPre)
            ShowMessage(QStringLiteral(
                "A <pre> tag has been detected in the file. The Velocitrix Website Optimizer "
                "could damage text within the <pre></pre> tags, only save if you are sure about "
                "the consequences."));
        else
            ShowMessage(QStringLiteral("The file has been optimized, you can save it now."));
    });
}

void TForm1::DoItClick(QObject*) {
    RunCommand([this] {
        DisableCommands();
        ChangeStep(document_, {MemoText(*Memo2), MemoText(*Memo3), CheckBox2->isChecked()});
        EnableCommands(Offers::FileChanged);
        RefreshView();
        ShowMessage(QStringLiteral("The file has been modified, you can save it now."));
    });
}

void TForm1::SaveFileClick(QObject*) {
    RunCommand(
        [this] {
            if (CurrentFileName.empty()) {
                // selectFile ignores an empty name; clear the field the user types into.
                if (auto* name = SaveDialog1->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->clear();
            } else {
                SaveDialog1->selectFile(FromProgramText(CurrentFileName));
            }
            if (CurrentFileName.empty())
                StartInLastFolder(*SaveDialog1);
            if (SaveDialog1->exec() != QDialog::Accepted)
                return;
            const std::string path = ChosenPath(*SaveDialog1);
            if (path.empty())
                return;
            RememberFolderOf(path);
            SaveFileTo(document_, path, ChosenLineBreaks());
            SaveFile->setEnabled(false);
        },
        TextUse::Keeps);
}
