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

namespace {

QByteArray Made(const char* target, const char* random8) {
    return QByteArray::fromStdString(WriteTemporaryName(target, random8));
}

// name with the byte at index (from the end where negative) replaced by c.
QByteArray Changed(QByteArray name, qsizetype index, char c) {
    name[index < 0 ? name.size() + index : index] = c;
    return name;
}

} // namespace

void tst_TempNames::isTemporary_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("temporary");
    const QByteArray typical = Made("a.htm", "Ab12Cd34");
    QTest::newRow("typical") << typical << true;
    QTest::newRow("digits") << Made("page.html", "01234567") << true;
    QTest::newRow("one-byte name") << Made("x", "zzzzzzzz") << true;
    QTest::newRow("no name") << typical.mid(6) << false;
    QTest::newRow("no leading dot") << typical.mid(1) << false;
    QTest::newRow("another target") << Changed(typical, 1, 'b') << false;
    QTest::newRow("another random part") << Changed(typical, 11, 'X') << false;
    QTest::newRow("check changed")
        << Changed(typical, -5, typical.at(typical.size() - 5) == 'A' ? 'B' : 'A') << false;
    QTest::newRow("underscore") << Changed(typical, 12, '_') << false;
    QTest::newRow("upper-case end") << typical.chopped(3) + "TMP" << false;
    QTest::newRow("other mark") << Changed(typical, 7, 'y') << false;
    QTest::newRow("something after") << typical + "~" << false;
    QTest::newRow("empty") << QByteArray() << false;
    // Names a person or another program gives, never this program's.
    QTest::newRow("a user's backup") << QByteArray(".index.htm.vx-backup.tmp") << false;
    QTest::newRow("the former six characters") << QByteArray(".a.htm.vx-Ab12Cd.tmp") << false;
    QTest::newRow("twelve characters") << QByteArray(".a.htm.vx-Ab12Cd34Ef56.tmp") << false;
}

void tst_TempNames::isTemporary() {
    QFETCH(QByteArray, name);
    QFETCH(bool, temporary);
    QCOMPARE(IsWriteTemporaryName(std::string_view(name.constData(), name.size())), temporary);
}

void tst_TempNames::build_data() {
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("kept");
    QTest::newRow("short") << QByteArray("a.htm") << QByteArray("a.htm");
    QTest::newRow("cut to 200 bytes") << QByteArray(250, 'x') << QByteArray(200, 'x');
}

void tst_TempNames::build() {
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, kept);
    const QByteArray name = Made(target.constData(), "Ab12Cd34");
    QVERIFY2(name.startsWith("." + kept + ".vx-Ab12Cd34") && name.endsWith(".tmp") &&
                 name.size() == kept.size() + 21,
             name.constData());
    QVERIFY(IsWriteTemporaryName(name.toStdString()));
    // Other random parts give other check characters.
    QVERIFY(name.chopped(4).right(4) != Made(target.constData(), "Ab12Cd35").chopped(4).right(4));
}

QTEST_GUILESS_MAIN(tst_TempNames)
#include "tst_tempnames.moc"
