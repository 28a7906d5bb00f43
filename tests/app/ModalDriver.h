#pragma once
// Answers the modal dialogs and message boxes a command opens, in the order the
// test expects them. A timer polls QApplication::activeModalWidget(); each answer
// is given from a zero-time single shot, outside the dialog's own event handling.
// A dialog of another kind than expected, one too many, or none within the step's
// time-out, is recorded as a failure and closed, so a wrong run fails instead of
// hanging.

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <memory>

class ModalDriver : public QObject {
public:
    struct Step {
        enum Kind { FileDialog, MessageBox } kind = MessageBox;
        bool cancel = false;
        QString answer; // the path typed into a file dialog
        // What was seen when the dialog showed.
        bool seen = false;
        QString objectName;
        QString text;     // message text
        QString title;    // message box caption
        int icon = -1;    // QMessageBox::Icon
        QString proposed; // the file dialog's selected file when it showed
        int acceptMode = -1;
    };

    explicit ModalDriver(int stepTimeoutMs = 20000) : timeoutMs_(stepTimeoutMs) {
        timer_.setInterval(10);
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
    }

    // Expects a file dialog; types path into its name field and accepts it.
    std::shared_ptr<Step> File(const QString& path) {
        auto step = std::make_shared<Step>();
        step->kind = Step::FileDialog;
        step->answer = path;
        steps_.push_back(step);
        return step;
    }
    // Expects a file dialog and cancels it.
    std::shared_ptr<Step> CancelFile() {
        auto step = std::make_shared<Step>();
        step->kind = Step::FileDialog;
        step->cancel = true;
        steps_.push_back(step);
        return step;
    }
    // Expects a message box and presses its OK button.
    std::shared_ptr<Step> Message() {
        auto step = std::make_shared<Step>();
        steps_.push_back(step);
        return step;
    }

    // True when every expected dialog came and nothing else did.
    bool Done() const { return steps_.empty() && failures_.isEmpty(); }
    QString Failures() const {
        QString all = failures_;
        if (!steps_.empty())
            all += QStringLiteral("%1 expected dialog(s) did not show; ").arg(steps_.size());
        return all;
    }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (handled_) {
            // Wait until the dialog just answered has gone away.
            if (handled_->isVisible() && modal == handled_)
                return;
            handled_.clear();
        }
        // A batch command's progress is not a question to answer: it shows when the
        // command outlasts half a second, as it may on a loaded machine.
        if (qobject_cast<QProgressDialog*>(modal) != nullptr)
            modal = nullptr;
        if (modal == nullptr || !modal->isVisible()) {
            if (!steps_.empty() && ++idleTicks_ * timer_.interval() > timeoutMs_) {
                failures_ += QStringLiteral("timed out waiting for a dialog; ");
                steps_.clear();
            }
            return;
        }
        idleTicks_ = 0;
        handled_ = modal;
        if (steps_.empty()) {
            failures_ += QStringLiteral("unexpected dialog %1; ").arg(modal->objectName());
            Close(modal);
            return;
        }
        std::shared_ptr<Step> step = steps_.front();
        steps_.pop_front();
        step->seen = true;
        step->objectName = modal->objectName();
        if (step->kind == Step::FileDialog) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (dialog == nullptr) {
                failures_ += QStringLiteral("expected a file dialog, got %1; ")
                                 .arg(QString::fromUtf8(modal->metaObject()->className()));
                Record(*step, modal);
                Close(modal);
                return;
            }
            step->acceptMode = dialog->acceptMode();
            const QStringList selected = dialog->selectedFiles();
            step->proposed = selected.isEmpty() ? QString() : selected.first();
            const QString answer = step->answer;
            const bool cancel = step->cancel;
            QPointer<QFileDialog> target(dialog);
            QTimer::singleShot(0, this, [target, answer, cancel] {
                if (!target)
                    return;
                if (cancel) {
                    target->reject();
                    return;
                }
                auto* name = target->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (name != nullptr)
                    name->setText(answer);
                static_cast<QDialog*>(target.data())->accept(); // runs QFileDialog::accept
            });
        } else {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) {
                failures_ += QStringLiteral("expected a message box, got %1; ")
                                 .arg(QString::fromUtf8(modal->metaObject()->className()));
                Close(modal);
                return;
            }
            Record(*step, modal);
            QPointer<QMessageBox> target(box);
            QTimer::singleShot(0, this, [target] {
                if (!target)
                    return;
                if (QAbstractButton* ok = target->button(QMessageBox::Ok))
                    ok->click();
                else
                    target->reject();
            });
        }
    }

    static void Record(Step& step, QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            step.text = box->text();
            step.title = box->windowTitle();
            step.icon = box->icon();
        }
    }

    void Close(QWidget* modal) {
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, this, [target] {
            if (!target)
                return;
            if (auto* dialog = qobject_cast<QDialog*>(target.data()))
                dialog->reject();
            else
                target->close();
        });
    }

    QTimer timer_;
    std::deque<std::shared_ptr<Step>> steps_;
    QPointer<QWidget> handled_;
    QString failures_;
    int idleTicks_ = 0;
    int timeoutMs_;
};
