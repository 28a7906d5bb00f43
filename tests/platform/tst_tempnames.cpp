// The names of safe writes' temporaries: which names are taken for one, and
// how one is built from its target's name.

#include "platform/TempNames.h"

#include <QtTest>

class tst_TempNames : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void isTemporary_data();
    void isTemporary();
    void build_data();
    void build();
};

void tst_TempNames::isTemporary_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("temporary");
    QTest::newRow("typical") << QByteArray(".a.htm.vx-Ab12Cd.tmp") << true;
    QTest::newRow("digits") << QByteArray(".page.html.vx-012345.tmp") << true;
    QTest::newRow("one-byte name") << QByteArray(".x.vx-zzzzzz.tmp") << true;
    QTest::newRow("no name") << QByteArray(".vx-AAAAAA.tmp") << false;
    QTest::newRow("no leading dot") << QByteArray("a.htm.vx-Ab12Cd.tmp") << false;
    QTest::newRow("five characters") << QByteArray(".a.htm.vx-Ab12C.tmp") << false;
    QTest::newRow("seven characters") << QByteArray(".a.htm.vx-Ab12Cde.tmp") << false;
    QTest::newRow("underscore") << QByteArray(".a.htm.vx-Ab_2Cd.tmp") << false;
    QTest::newRow("non-ASCII letter") << QByteArray(".a.htm.vx-A\xc3\xa9"
                                                    "2C.tmp")
                                      << false;
    QTest::newRow("upper-case end") << QByteArray(".a.htm.vx-Ab12Cd.TMP") << false;
    QTest::newRow("other mark") << QByteArray(".a.htm.vy-Ab12Cd.tmp") << false;
    QTest::newRow("something after") << QByteArray(".a.htm.vx-Ab12Cd.tmp~") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void tst_TempNames::isTemporary() {
    QFETCH(QByteArray, name);
    QFETCH(bool, temporary);
    QCOMPARE(IsWriteTemporaryName(std::string_view(name.constData(), name.size())), temporary);
}

void tst_TempNames::build_data() {
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("short") << QByteArray("a.htm") << QByteArray(".a.htm.vx-Ab12Cd.tmp");
    QTest::newRow("cut to 200 bytes")
        << QByteArray(250, 'x') << "." + QByteArray(200, 'x') + ".vx-Ab12Cd.tmp";
}

void tst_TempNames::build() {
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, expected);
    const std::string name = WriteTemporaryName(target.toStdString(), "Ab12Cd");
    QCOMPARE(QByteArray::fromStdString(name), expected);
    QVERIFY(IsWriteTemporaryName(name));
}

QTEST_GUILESS_MAIN(tst_TempNames)
#include "tst_tempnames.moc"
