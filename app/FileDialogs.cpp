#include "app/FileDialogs.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {

QLineEdit* NameField(const QFileDialog& dialog) {
    return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// The completion list is a window of its own. When it hands Enter on to the name
// field and the dialog closes, the list stays on screen over the main window and
// eats the next click; Qt also reopens it when the file system model finishes
// reading a folder typed into, closed dialog or not. So the list is hidden with
// the dialog, and the completer is detached from the name field while the dialog
// is closed, leaving it nowhere to show the list.
class CompleterGuard : public QObject {
public:
    CompleterGuard(QFileDialog& dialog, QLineEdit& field)
        : QObject(&dialog), dialog_(&dialog), field_(&field) {
        dialog.installEventFilter(this);
        Detach();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == dialog_ && field_ != nullptr) {
            if (event->type() == QEvent::Show)
                Attach();
            else if (event->type() == QEvent::Hide)
                Detach();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Attach() {
        if (QCompleter* completer = field_->completer())
            completer->setWidget(field_);
    }
    void Detach() {
        QCompleter* completer = field_->completer();
        if (completer == nullptr)
            return;
        if (completer->popup() != nullptr)
            completer->popup()->hide();
        completer->setWidget(nullptr);
    }

    // Only compared with: the dialog sends events (a Hide) from its destructor, when
    // it is no longer a QFileDialog that a QPointer<QFileDialog> may be cast to.
    const QObject* dialog_;
    QPointer<QLineEdit> field_;
};

// The program's dialog: Enter and Open do what the name field says.
// - Open a file (Load File): Enter while the completion list offers names takes
//   the one highlighted (the first when none is), as the desktop's own dialogs do;
//   a folder taken or typed is gone into.
// - A folder chooser (Load Dir): the preset name or an empty field chooses the
//   folder shown; a folder's path (with or without a trailing "/") goes into it,
//   or chooses it when it is the folder shown.
// Moving into another folder while the dialog shows leaves the name field empty
// (holding the preset name, for a folder chooser), so that typing starts afresh.
class ProgramFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void MakeFolderChooser(const QString& presetName) {
        folderPreset_ = presetName;
        if (QPushButton* open = OpenButton())
            open->installEventFilter(this);
        if (QLineEdit* field = NameField(*this))
            connect(field, &QLineEdit::textChanged, this, [this] { KeepOpenEnabled(); });
    }

    void accept() override {
        QLineEdit* field = NameField(*this);
        if (field == nullptr) {
            QFileDialog::accept();
            return;
        }
        if (!folderPreset_.isNull()) {
            const QString typed = field->text();
            if (typed.isEmpty()) {
                field->setText(folderPreset_); // the folder shown is chosen
            } else if (typed != folderPreset_) {
                const QFileInfo info(directory().absoluteFilePath(typed));
                if (info.isDir()) {
                    if (QDir(info.absoluteFilePath()) != directory()) {
                        setDirectory(info.absoluteFilePath());
                        return;
                    }
                    field->setText(folderPreset_);
                }
            }
        } else if (acceptMode() == AcceptOpen) {
            TakeOfferedName(*field);
        }
        QFileDialog::accept();
    }

    // After Qt has moved into another folder, puts back the name field's start.
    void ResetNameLater() {
        if (!isVisible() || (acceptMode() != AcceptOpen && folderPreset_.isNull()))
            return;
        QPointer<ProgramFileDialog> self(this);
        QTimer::singleShot(0, this, [self] {
            QLineEdit* field = self ? NameField(*self) : nullptr;
            if (field == nullptr)
                return;
            field->setText(self->folderPreset_);
            field->selectAll();
            if (field->completer() != nullptr && field->completer()->popup() != nullptr)
                field->completer()->popup()->hide();
        });
    }

private:
    // A folder shown earlier that was deleted (and maybe made again) left the
    // list on the drives: it is read afresh, or its nearest folder that still
    // exists is shown.
    void RefreshVanishedFolder() {
        auto* model = findChild<QFileSystemModel*>();
        auto* list = findChild<QAbstractItemView*>(QStringLiteral("listView"));
        const QString shown = directory().absolutePath();
        if (model == nullptr || list == nullptr ||
            (QFileInfo(shown).isDir() && list->rootIndex() == model->index(shown)))
            return;
        QString existing = shown;
        while (!QFileInfo(existing).isDir() && !QDir(existing).isRoot())
            existing = QFileInfo(existing).absolutePath();
        // Qt skips a move to the folder it believes it shows.
        setDirectory(QDir::rootPath());
        setDirectory(existing);
    }

protected:
    void showEvent(QShowEvent* event) override {
        RefreshVanishedFolder();
        QFileDialog::showEvent(event);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == OpenButton() && event->type() == QEvent::EnabledChange)
            KeepOpenEnabled();
        return QFileDialog::eventFilter(watched, event);
    }

private:
    QPushButton* OpenButton() const {
        auto* buttons = findChild<QDialogButtonBox*>();
        return buttons != nullptr ? buttons->button(QDialogButtonBox::Open) : nullptr;
    }

    // Qt disables Open for an empty name and for a folder's path; a folder
    // chooser takes both (see accept).
    void KeepOpenEnabled() {
        QPushButton* open = OpenButton();
        QLineEdit* field = NameField(*this);
        if (open == nullptr || field == nullptr || open->isEnabled())
            return;
        const QString typed = field->text();
        if (typed.isEmpty() || typed == folderPreset_ ||
            QFileInfo(directory().absoluteFilePath(typed)).isDir())
            open->setEnabled(true);
    }

    // The name the completion list offers for what was typed, if it shows.
    static void TakeOfferedName(QLineEdit& field) {
        QCompleter* completer = field.completer();
        if (completer == nullptr || completer->popup() == nullptr ||
            !completer->popup()->isVisible() || completer->completionCount() == 0)
            return;
        const QModelIndex highlighted = completer->popup()->currentIndex();
        completer->setCurrentRow(highlighted.isValid() ? highlighted.row() : 0);
        const QString offered = completer->currentCompletion();
        completer->popup()->hide();
        if (!offered.isEmpty())
            field.setText(offered);
    }

    QString folderPreset_; // null: not a folder chooser
};

} // namespace

QFileDialog* MakeFileDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode) {
    auto* dialog = new ProgramFileDialog(parent);
    dialog->setObjectName(QString::fromUtf8(name));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(mode);
    dialog->setFileMode(QFileDialog::AnyFile); // the chosen name need not exist
    dialog->setModal(true);
    if (QLineEdit* field = NameField(*dialog))
        new CompleterGuard(*dialog, *field);
    // Typing a folder's path and Enter, a double click on a folder, the path list
    // and a folder taken from the completion list all end in a new root folder.
    // A move made by the program before the dialog shows keeps the name it chose.
    if (auto* model = dialog->findChild<QFileSystemModel*>())
        QObject::connect(model, &QFileSystemModel::rootPathChanged, dialog,
                         [dialog] { dialog->ResetNameLater(); });
    return dialog;
}

void MakeFolderChooser(QFileDialog& dialog, const QString& presetName, const QString& title) {
    dialog.setWindowTitle(title);
    dialog.selectFile(presetName);
    if (auto* own = dynamic_cast<ProgramFileDialog*>(&dialog))
        own->MakeFolderChooser(presetName);
}
