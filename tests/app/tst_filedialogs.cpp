// The program's file dialogs as a user meets them: the name field's completion
// list never outlives its dialog, and the folder chooser keeps a name to open.

#include "app/FileDialogs.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestFileDialogs : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<QFileDialog> dialog;

    QString Path(const char* rel) const { return dir.path() + u'/' + QString::fromUtf8(rel); }
    QLineEdit* Name() const {
        return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    }
    QWidget* List() const { return Name()->completer()->popup(); }
    // Shows the dialog and types into its name field until the completion list shows.
    void OpenAndType(const QString& typed) {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        Name()->setFocus();
        Name()->selectAll();
        QTest::keyClicks(Name(), typed);
        QTRY_VERIFY(List()->isVisible());
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QDir().mkpath(Path("sub/inner")) && QDir().mkpath(Path("known")));
        QFile page(Path("known/page.htm"));
        QVERIFY(page.open(QIODevice::WriteOnly));
    }

    // The keys go to the showing list, which hands Enter on to the name field.
    void listClosesWithTheDialog_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("enter"); // else the dialog is cancelled by the program
        QTest::newRow("open, Enter") << int(QFileDialog::AcceptOpen) << true;
        QTest::newRow("save, Enter") << int(QFileDialog::AcceptSave) << true;
        QTest::newRow("rejected") << int(QFileDialog::AcceptOpen) << false;
    }
    void listClosesWithTheDialog() {
        QFETCH(int, mode);
        QFETCH(bool, enter);
        dialog.reset(MakeFileDialog(nullptr, "dialog", QFileDialog::AcceptMode(mode)));
        dialog->setOption(QFileDialog::DontConfirmOverwrite, true); // as Save File's
        OpenAndType(Path("known/page.ht"));
        if (enter) {
            QTest::keyClick(List(), Qt::Key_M);
            QTest::keyClick(List(), Qt::Key_Return);
            QCOMPARE(dialog->selectedFiles(), QStringList{Path("known/page.htm")});
        } else {
            dialog->reject();
        }
        QVERIFY(!dialog->isVisible());
        QVERIFY(!List()->isVisible());
        OpenAndType(Path("known/pa")); // shown again, it completes as before
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
        MakeFolderChooser(*dialog, QStringLiteral("Directory"), QStringLiteral("Choose - X"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Choose - X"));
        dialog->setDirectory(how == QLatin1String("path list") ? Path("sub/inner") : dir.path());
        // A name typed before moving into another folder gives way to the preset one.
        OpenAndType(how == QLatin1String("typed") ? Path("sub") : Path("kn"));
        if (how == QLatin1String("typed")) {
            QTest::keyClick(List(), Qt::Key_Return);
        } else if (how == QLatin1String("double click")) {
            auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
            auto* model = dialog->findChild<QFileSystemModel*>();
            QTRY_VERIFY(!list->visualRect(model->index(Path("sub"))).isEmpty());
            const QPoint at = list->visualRect(model->index(Path("sub"))).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        } else {
            auto* paths = dialog->findChild<QComboBox*>(QStringLiteral("lookInCombo"));
            QTest::mouseClick(paths, Qt::LeftButton); // lists "inner", then the folders above
            QTRY_VERIFY(paths->view()->isVisible());
            QTest::keyClick(paths->view(), Qt::Key_Down);
            QTest::keyClick(paths->view(), Qt::Key_Return);
        }
        QTRY_COMPARE(Name()->text(), QStringLiteral("Directory"));
        QVERIFY(!List()->isVisible());
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->selectedFiles(), QStringList{Path("sub/Directory")});
    }
};

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"
