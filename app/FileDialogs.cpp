#include "app/FileDialogs.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QEvent>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPointer>
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

} // namespace

QFileDialog* MakeFileDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode) {
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(QString::fromUtf8(name));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(mode);
    dialog->setFileMode(QFileDialog::AnyFile); // the chosen name need not exist
    dialog->setModal(true);
    if (QLineEdit* field = NameField(*dialog))
        new CompleterGuard(*dialog, *field);
    return dialog;
}

void MakeFolderChooser(QFileDialog& dialog, const QString& presetName, const QString& title) {
    dialog.setWindowTitle(title);
    dialog.selectFile(presetName);
    auto* model = dialog.findChild<QFileSystemModel*>();
    if (model == nullptr)
        return;
    // Typing a folder's path and Enter, a double click on a folder and the path
    // list all end in a new root folder. Qt leaves the typed path (or nothing) in
    // the name field, and the completion list open on the new folder's files; the
    // preset name is put back, ready to be typed over, once Qt is done with the move.
    // A move made by the program before the dialog shows keeps the name it chose.
    QPointer<QFileDialog> target(&dialog);
    QObject::connect(model, &QFileSystemModel::rootPathChanged, &dialog, [target, presetName] {
        if (target == nullptr || !target->isVisible())
            return;
        QTimer::singleShot(0, target, [target, presetName] {
            QLineEdit* field = target ? NameField(*target) : nullptr;
            if (field == nullptr)
                return;
            field->setText(presetName);
            field->selectAll();
            if (field->completer() != nullptr && field->completer()->popup() != nullptr)
                field->completer()->popup()->hide();
        });
    });
}
