// The file list's rows: sorted with letter case ignored, bytes kept.

#include "app/FileListModel.h"

#include <QSignalSpy>
#include <QTest>

class TestFileListModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sortedInsert_data() {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QList<int>>("places"); // the row each Add returned
        QTest::newRow("empty") << QStringList{} << QStringList{} << QList<int>{};
        QTest::newRow("in order") << QStringList{QStringLiteral("a"), QStringLiteral("b")}
                                  << QStringList{QStringLiteral("a"), QStringLiteral("b")}
                                  << QList<int>{0, 1};
        QTest::newRow("reversed") << QStringList{QStringLiteral("b"), QStringLiteral("a")}
                                  << QStringList{QStringLiteral("a"), QStringLiteral("b")}
                                  << QList<int>{0, 0};
        QTest::newRow("case ignored")
            << QStringList{QStringLiteral("b.htm"), QStringLiteral("A.htm"),
                           QStringLiteral("c.htm")}
            << QStringList{QStringLiteral("A.htm"), QStringLiteral("b.htm"),
                           QStringLiteral("c.htm")}
            << QList<int>{0, 0, 2};
        QTest::newRow("equal names keep their order")
            << QStringList{QStringLiteral("X"), QStringLiteral("x"), QStringLiteral("X")}
            << QStringList{QStringLiteral("X"), QStringLiteral("x"), QStringLiteral("X")}
            << QList<int>{0, 1, 2};
        QTest::newRow("paths") << QStringList{QStringLiteral("/s/sub/a"), QStringLiteral("/s/b")}
                               << QStringList{QStringLiteral("/s/b"), QStringLiteral("/s/sub/a")}
                               << QList<int>{0, 0};
    }

    void sortedInsert() {
        QFETCH(QStringList, added);
        QFETCH(QStringList, rows);
        QFETCH(QList<int>, places);
        TFileListModel model;
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QList<int> got;
        for (const QString& path : added)
            got << model.Add(path.toStdString());
        QCOMPARE(got, places);
        QCOMPARE(inserted.count(), added.size());
        QCOMPARE(model.rowCount(), rows.size());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(model.index(i, 0).data().toString(), rows[i]);
            QCOMPARE(QString::fromStdString(model.Entry(std::size_t(i))), rows[i]);
        }
    }

    void bytesKept() {
        TFileListModel model;
        const std::string latin1("/s/caf\xe9.htm");
        model.Add(latin1);
        QCOMPARE(model.Entry(0), latin1);
        QVERIFY(model.index(0, 0).data().toString().contains(QChar::ReplacementCharacter));
    }

    void clear() {
        TFileListModel model;
        model.Add("a");
        model.Add("b");
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.Clear();
        QCOMPARE(model.Count(), std::size_t(0));
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(reset.count(), 1);
        QVERIFY(!model.index(0, 0).data().isValid());
    }
};

QTEST_MAIN(TestFileListModel)
#include "tst_filelistmodel.moc"
