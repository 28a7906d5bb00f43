// File times: local time to DOS date and time (1980 to 2107 only) and to the
// program's date-time value.

#include "platform/FileTime.h"

#include <QtTest>

Q_DECLARE_METATYPE(TLocalTime)

class tst_FileTime : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dosRange_data();
    void dosRange();
    void dosFields();
    void dateTimeValues_data();
    void dateTimeValues();
    void systemLocalTime();
};

void tst_FileTime::dosRange_data() {
    QTest::addColumn<TLocalTime>("local");
    QTest::addColumn<bool>("ok");
    QTest::newRow("1979-12-31 23:59:59") << TLocalTime{1979, 12, 31, 23, 59, 59} << false;
    QTest::newRow("1980-01-01 00:00:00") << TLocalTime{1980, 1, 1, 0, 0, 0} << true;
    QTest::newRow("2107-12-31 23:59:59") << TLocalTime{2107, 12, 31, 23, 59, 59} << true;
    QTest::newRow("2108-01-01 00:00:00") << TLocalTime{2108, 1, 1, 0, 0, 0} << false;
    QTest::newRow("1601") << TLocalTime{1601, 1, 1, 0, 0, 0} << false;
    QTest::newRow("month 13") << TLocalTime{2000, 13, 1, 0, 0, 0} << false;
}

void tst_FileTime::dosRange() {
    QFETCH(TLocalTime, local);
    QFETCH(bool, ok);
    TDosDateTime dos;
    QCOMPARE(LocalTimeToDosDateTime(local, dos), ok);
}

void tst_FileTime::dosFields() {
    TDosDateTime dos;
    QVERIFY(LocalTimeToDosDateTime({2021, 7, 9, 18, 33, 47}, dos));
    QCOMPARE(int(dos.Date >> 9), 2021 - 1980);
    QCOMPARE(int((dos.Date >> 5) & 0xF), 7);
    QCOMPARE(int(dos.Date & 0x1F), 9);
    QCOMPARE(int(dos.Time >> 11), 18);
    QCOMPARE(int((dos.Time >> 5) & 0x3F), 33);
    QCOMPARE(int(dos.Time & 0x1F), 23); // seconds / 2
}

void tst_FileTime::dateTimeValues_data() {
    QTest::addColumn<TLocalTime>("local");
    QTest::addColumn<double>("value");
    QTest::newRow("epoch") << TLocalTime{1899, 12, 30, 0, 0, 0} << 0.0;
    QTest::newRow("1900-01-01") << TLocalTime{1900, 1, 1, 0, 0, 0} << 2.0;
    QTest::newRow("1980-01-01") << TLocalTime{1980, 1, 1, 0, 0, 0} << 29221.0;
    QTest::newRow("2000-01-01 12:00") << TLocalTime{2000, 1, 1, 12, 0, 0} << 36526.5;
    QTest::newRow("odd second rounds down")
        << TLocalTime{2000, 1, 1, 0, 0, 3} << 36526.0 + 2.0 / 86400.0;
    QTest::newRow("1899-12-29 06:00") << TLocalTime{1899, 12, 29, 6, 0, 0} << -1.25;
    QTest::newRow("1979-06-15") << TLocalTime{1979, 6, 15, 0, 0, 0} << 29021.0;
}

void tst_FileTime::dateTimeValues() {
    QFETCH(TLocalTime, local);
    QFETCH(double, value);
    QCOMPARE(LocalTimeToDateTime(local), value);
    TDosDateTime dos;
    if (LocalTimeToDosDateTime(local, dos)) {
        QCOMPARE(DosDateTimeToDateTime(dos), value);
    }
}

void tst_FileTime::systemLocalTime() {
    std::tm tm{};
    tm.tm_year = 2015 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 4;
    tm.tm_hour = 5;
    tm.tm_min = 6;
    tm.tm_sec = 7;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    TLocalTime local;
    QVERIFY(SystemFileTime().ToLocalTime({static_cast<std::int64_t>(t), 0}, local));
    QCOMPARE(local.Year, 2015);
    QCOMPARE(local.Month, 3);
    QCOMPARE(local.Day, 4);
    QCOMPARE(local.Hour, 5);
    QCOMPARE(local.Minute, 6);
    QCOMPARE(local.Second, 7);
}

QTEST_GUILESS_MAIN(tst_FileTime)
#include "tst_filetime.moc"
