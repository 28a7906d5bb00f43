// The program's file dialogs as a user meets them: the name field's completion
// list never outlives its dialog, and the folder chooser keeps a name to open.

#include "app/FileDialogs.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

bool Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

QLineEdit* NameField(QFileDialog& dialog) {
    return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

QWidget* CompletionList(QFileDialog& dialog) {
    return NameField(dialog)->completer()->popup();
}

} // namespace

class TestFileDialogs : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QFileDialog> dialog;

    QString Path(const QString& rel) const { return dir->path() + u'/' + rel; }
    void Open() {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        NameField(*dialog)->setFocus();
        NameField(*dialog)->selectAll();
    }

private Q_SLOTS:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        for (const char* name :
             {"known/page.htm", "known/pages.htm", "sub/inner/x.htm", "sub/a.htm"})
            QVERIFY(Touch(Path(QString::fromUtf8(name))));
    }
    void cleanup() {
        dialog.reset();
        dir.reset();
    }

    // With the completion list showing, the keys go to the list, which hands
    // Enter to the name field: the dialog closes, the list would stay on screen.
    void listClosesWhenEnterAccepts_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("open") << int(QFileDialog::AcceptOpen);
        QTest::newRow("save") << int(QFileDialog::AcceptSave);
    }
    void listClosesWhenEnterAccepts() {
        QFETCH(int, mode);
        dialog.reset(MakeFileDialog(nullptr, "dialog", QFileDialog::AcceptMode(mode)));
        dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
        Open();
        QTest::keyClicks(NameField(*dialog), Path(QStringLiteral("known/page.ht")));
        QTRY_VERIFY(CompletionList(*dialog)->isVisible());
        QTest::keyClick(CompletionList(*dialog), Qt::Key_M);
        QTest::keyClick(CompletionList(*dialog), Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->selectedFiles(), QStringList{Path(QStringLiteral("known/page.htm"))});
        QVERIFY(!CompletionList(*dialog)->isVisible());
    }

    void listClosesWithTheDialog() {
        dialog.reset(MakeFileDialog(nullptr, "dialog", QFileDialog::AcceptOpen));
        dialog->setDirectory(Path(QStringLiteral("known")));
        Open();
        QTest::keyClicks(NameField(*dialog), Path(QStringLiteral("known/pa")));
        QTRY_VERIFY(CompletionList(*dialog)->isVisible());
        dialog->reject();
        QVERIFY(!CompletionList(*dialog)->isVisible());
        // Shown again, the dialog completes names as before.
        Open();
        QTest::keyClicks(NameField(*dialog), Path(QStringLiteral("known/pa")));
        QTRY_VERIFY(CompletionList(*dialog)->isVisible());
    }

    void folderChooserKeepsItsName_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("typed path and Enter") << QStringLiteral("typed");
        QTest::newRow("double click") << QStringLiteral("double click");
        QTest::newRow("path list") << QStringLiteral("path list");
    }
    void folderChooserKeepsItsName() {
        QFETCH(QString, how);
        dialog.reset(MakeFileDialog(nullptr, "dialog", QFileDialog::AcceptOpen));
        MakeFolderChooser(*dialog, QStringLiteral("Directory"),
                          QStringLiteral("Choose a folder - Load Dir"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Choose a folder - Load Dir"));
        QCOMPARE(NameField(*dialog)->text(), QStringLiteral("Directory"));
        const QString sub = Path(QStringLiteral("sub"));
        dialog->setDirectory(how == QLatin1String("path list") ? sub + QStringLiteral("/inner")
                                                               : dir->path());
        Open();
        if (how != QLatin1String("typed"))
            QTest::keyClicks(NameField(*dialog), QStringLiteral("notes")); // then changes folder
        if (how == QLatin1String("typed")) {
            QTest::keyClicks(NameField(*dialog), sub);
            QTRY_VERIFY(CompletionList(*dialog)->isVisible()); // it offers "sub"
            QTest::keyClick(CompletionList(*dialog), Qt::Key_Return);
        } else if (how == QLatin1String("double click")) {
            auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
            auto* model = dialog->findChild<QFileSystemModel*>();
            QVERIFY(list != nullptr && model != nullptr && list->model() == model);
            QTRY_VERIFY(model->index(sub).isValid() &&
                        !list->visualRect(model->index(sub)).isEmpty());
            const QPoint at = list->visualRect(model->index(sub)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        } else {
            auto* paths = dialog->findChild<QComboBox*>(QStringLiteral("lookInCombo"));
            QVERIFY(paths != nullptr);
            QTest::mouseClick(paths, Qt::LeftButton); // lists the folders above "inner"
            QTRY_VERIFY(paths->view()->isVisible());
            QCOMPARE(paths->currentIndex(), 0); // the folder shown, its parent below it
            QTest::keyClick(paths->view(), Qt::Key_Down);
            QTest::keyClick(paths->view(), Qt::Key_Return);
        }
        QTRY_COMPARE(QDir(dialog->directory()).absolutePath(), sub);
        QTRY_COMPARE(NameField(*dialog)->text(), QStringLiteral("Directory"));
        QVERIFY(!CompletionList(*dialog)->isVisible());
        QPushButton* open = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
        QVERIFY(open->isEnabled());
        open->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->selectedFiles(), QStringList{sub + QStringLiteral("/Directory")});
    }
};

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"
