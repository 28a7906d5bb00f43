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
        auto* model = dialog->findChild<QFileSystemModel*>();
        if (QDir::isRelativePath(typed)) // completed once the folder is read
            QTRY_VERIFY(model->rowCount(model->index(dialog->directory().absolutePath())) > 0);
        Name()->setFocus();
        Name()->selectAll();
        QTest::keyClicks(Name(), typed);
        QTRY_VERIFY(List()->isVisible());
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QDir().mkpath(Path("sub/inner")) && QDir().mkpath(Path("known")));
        QVERIFY(QDir().mkpath(Path("offer/site with spaces")));
        for (const char* name : {"known/page.htm", "offer/index page.html"}) {
            QFile page(Path(name));
            QVERIFY(page.open(QIODevice::WriteOnly));
        }
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

    // Load File: Enter while the completion list offers a name takes it, as the
    // desktop's own dialogs do; a folder taken is gone into with the name emptied.
    void openTakesTheOfferedName_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosen"); // empty: still open, in the folder offered
        QTest::newRow("file") << QStringLiteral("ind") << Path("offer/index page.html");
        QTest::newRow("folder") << QStringLiteral("si") << QString();
    }
    void openTakesTheOfferedName() {
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        dialog.reset(MakeFileDialog(nullptr, "dialog", QFileDialog::AcceptOpen));
        dialog->setDirectory(Path("offer"));
        OpenAndType(typed);
        QTest::keyClick(List(), Qt::Key_Return);
        if (!chosen.isEmpty()) {
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
            QCOMPARE(dialog->selectedFiles(), QStringList{chosen});
            return;
        }
        QVERIFY(dialog->isVisible());
        QTRY_COMPARE(dialog->directory().absolutePath(), Path("offer/site with spaces"));
        QTRY_COMPARE(Name()->text(), QString());
        QTest::keyClicks(Name(), QStringLiteral("x"));
        QCOMPARE(Name()->text(), QStringLiteral("x"));
    }

    // Load Dir: Open takes the preset or an empty name (the folder shown), and a
    // folder's path, which Enter goes into, or chooses when it is the folder shown.
    void folderChooserOpens_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown"); // the folder shown afterwards
        QTest::addColumn<bool>("accepted"); // else still open
        QTest::newRow("path with a trailing slash") << Path("sub/") << Path("sub") << false;
        QTest::newRow("name with a trailing slash") << "sub/" << Path("sub") << false;
        QTest::newRow("the folder shown") << dir.path() << dir.path() << true;
        QTest::newRow("empty name") << QString() << dir.path() << true;
    }
    void folderChooserOpens() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(bool, accepted);
        dialog.reset(MakeFileDialog(nullptr, "dialog", QFileDialog::AcceptOpen));
        MakeFolderChooser(*dialog, QStringLiteral("Directory"), QStringLiteral("Choose - X"));
        dialog->setDirectory(dir.path());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        Name()->setFocus();
        Name()->setText(typed);
        QTest::qWait(50); // whatever Qt does on a changed name
        QVERIFY(
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->isEnabled());
        QTest::keyClick(Name(), Qt::Key_Return);
        QCOMPARE(dialog->result() == QDialog::Accepted, accepted);
        QTRY_COMPARE(dialog->directory().absolutePath(), shown);
        if (accepted)
            QCOMPARE(dialog->selectedFiles(), QStringList{shown + QStringLiteral("/Directory")});
        else
            QTRY_COMPARE(Name()->text(), QStringLiteral("Directory"));
    }

    // A folder shown that vanished while the dialog was closed: it opens on the
    // nearest folder that still exists, read afresh, not on a list of drives.
    void vanishedFolderIsReadAgain() {
        dialog.reset(MakeFileDialog(nullptr, "dialog", QFileDialog::AcceptOpen));
        QVERIFY(QDir().mkpath(Path("gone/deeper")));
        dialog->setDirectory(Path("gone/deeper"));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->reject();
        QVERIFY(QDir(Path("gone")).removeRecursively());
        QVERIFY(QDir().mkpath(Path("gone/after")));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        auto* model = dialog->findChild<QFileSystemModel*>();
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        QCOMPARE(dialog->directory().absolutePath(), Path("gone"));
        QCOMPARE(list->rootIndex(), model->index(Path("gone")));
        QTRY_VERIFY(model->index(Path("gone/after")).isValid());
    }
};

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"
