// The file list's rows: sorted with letter case ignored, bytes kept.

#include "app/FileListModel.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

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

    // Many paths in no order, as a walk gives them, some equal but for letter case:
    // every Add returns the row the path has in a sorted copy of the paths added
    // so far (equal ones in the order added), and the rows read the same in order,
    // at random and through the view's interface.
    void largeListing_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("distinct"); // names to pick from: fewer means more equal
        QTest::newRow("one block") << 300 << 1000;
        QTest::newRow("a block split") << 900 << 100000;
        QTest::newRow("many blocks") << 6000 << 100000;
        QTest::newRow("many equal") << 6000 << 40;
    }

    void largeListing() {
        QFETCH(int, count);
        QFETCH(int, distinct);
        std::mt19937 random(7);
        TFileListModel model;
        std::vector<std::string> sorted;
        for (int i = 0; i < count; ++i) {
            const auto n = random() % static_cast<unsigned>(distinct);
            std::string path = "/site/d" + std::to_string(n % 13) + "/" + std::to_string(n);
            if (random() % 2 == 0)
                path[1] = 'S'; // the same place as "/site" once case is ignored
            const auto place = std::upper_bound(
                sorted.begin(), sorted.end(), path,
                [](const std::string& a, const std::string& b) { return FileListBefore(a, b); });
            const auto expected = static_cast<int>(place - sorted.begin());
            sorted.insert(place, path);
            QCOMPARE(model.Add(path), expected);
        }
        QCOMPARE(model.Count(), sorted.size());
        QCOMPARE(model.rowCount(), count);
        for (std::size_t row = 0; row < sorted.size(); ++row)
            QCOMPARE(model.Entry(row), sorted[row]);
        for (int i = 0; i < 2000; ++i) {
            const std::size_t row = random() % sorted.size();
            QCOMPARE(model.Entry(row), sorted[row]);
            QCOMPARE(model.index(static_cast<int>(row), 0).data().toString().toStdString(),
                     sorted[row]);
        }
        for (std::size_t row = sorted.size(); row-- > 0;)
            QCOMPARE(model.Entry(row), sorted[row]);
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
        // Listed afresh after the clearing, from an empty list again.
        QCOMPARE(model.Add("b"), 0);
        QCOMPARE(model.Add("a"), 0);
        QCOMPARE(model.Entry(1), std::string("b"));
    }
};

QTEST_MAIN(TestFileListModel)
#include "tst_filelistmodel.moc"
