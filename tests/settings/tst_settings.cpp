// The settings store: WriteSetting/ReadSetting with the registry's edge cases for
// mistyped values, and the start-up and shut-down steps
// with the two file-type lists, all against the hive file of the test's own
// XDG_CONFIG_HOME.

#include "settings/FileTypeLists.h"
#include "settings/HiveFixture.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QtTest>

#include <stdexcept>
#include <string>

using namespace hive_fixture;

namespace {

// The text of the error step() throws, or "" when it throws nothing.
template <typename Step> QString ErrorOf(Step&& step) {
    try {
        step();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

const QString kTypeColumn = QStringLiteral("type");

void PutProgramValue(const QString& name, const QString& type, const QJsonValue& data) {
    PutValue(kProgramKey, name, type, data);
}

QJsonValue StoredData(const QString& key, const QString& name) {
    return StoredValue(key, name).value(QStringLiteral("data"));
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        ResetHive();
        FileTypes.clear();
        UncheckedTypes.clear();
    }
    void cleanupTestCase() { ResetHive(); }

    // WriteSetting / ReadSetting
    void settingsKeyAndDefaults();
    void writeAndReadKinds_data();
    void writeAndReadKinds();
    void otherKindsDoNothing();
    void readingCreatesTheKey();
    void writeSettingRefusesNonNumbers();
    void readString_data();
    void readString();
    void readInteger_data();
    void readInteger();
    void unopenableStore();

    // Start-up read, shut-down write, list write
    void firstRunStartup();
    void optionTexts_data();
    void optionTexts();
    void lineBreakTexts_data();
    void lineBreakTexts();
    void listFallback_data();
    void listFallback();
    void mistypedValueAtStartup_data();
    void mistypedValueAtStartup();
    void savedOptionsReadInOrder_data();
    void savedOptionsReadInOrder();
    void shutdownWrite_data();
    void shutdownWrite();
    void shutdownWithUnopenableStore();
    void shutdownRefusedWrite();
    void listWrite();
};

void TestSettings::settingsKeyAndDefaults() {
    QCOMPARE(SettingsKey, std::string("\\Software\\Velocitrix Website Optimizer"));
    QCOMPARE(DefaultTypeList,
             std::string("*.htm;*.html;*.php;*.php3;*.php4;*.asp;*.jsp;*.phtm;"
                         "*.phtml;*.shtm;*.shtml;*.xhtm;*.xhtml;*.css;*.cgi;*.pl"));
    QCOMPARE(DefaultTypeList.size(), std::size_t(106));
    QCOMPARE(QString::fromStdString(DefaultTypeList).split(QLatin1Char(';')).size(), 16);
}

void TestSettings::writeAndReadKinds_data() {
    QTest::addColumn<QString>("subKey");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("storedKey");
    QTest::addColumn<QString>("storedType");
    QTest::addColumn<QJsonValue>("storedData");
    QTest::newRow("string") << QString() << 0 << QStringLiteral("yes") << kProgramKey
                            << QStringLiteral("REG_SZ") << QJsonValue(QStringLiteral("yes"));
    QTest::newRow("empty string") << QString() << 0 << QString() << kProgramKey
                                  << QStringLiteral("REG_SZ") << QJsonValue(QString());
    QTest::newRow("integer") << QStringLiteral("\\Winpos") << 1 << QStringLiteral("1999")
                             << kWinposKey << QStringLiteral("REG_DWORD") << QJsonValue(1999);
    QTest::newRow("negative integer")
        << QStringLiteral("\\Winpos") << 1 << QStringLiteral("-4") << kWinposKey
        << QStringLiteral("REG_DWORD") << QJsonValue(-4);
    QTest::newRow("largest integer")
        << QStringLiteral("\\Winpos") << 1 << QStringLiteral("2147483647") << kWinposKey
        << QStringLiteral("REG_DWORD") << QJsonValue(2147483647);
}

void TestSettings::writeAndReadKinds() {
    QFETCH(QString, subKey);
    QFETCH(int, kind);
    QFETCH(QString, value);
    QFETCH(QString, storedKey);
    QFETCH(QString, storedType);
    QFETCH(QJsonValue, storedData);
    WriteSetting(subKey.toStdString(), "name", value.toStdString(), kind);
    const QJsonObject entry = StoredValue(storedKey, QStringLiteral("name"));
    QCOMPARE(entry.value(QStringLiteral("type")).toString(), storedType);
    QCOMPARE(entry.value(QStringLiteral("data")), storedData);
    std::string result = "untouched";
    ReadSetting(subKey.toStdString(), "name", kind, result);
    QCOMPARE(Q(result), value);
}

void TestSettings::otherKindsDoNothing() {
    WriteSetting("", "name", "x", 2);
    QVERIFY(!HasValue(kProgramKey, QStringLiteral("name")));
    QVERIFY(ReadHiveKeys().contains(kProgramKey)); // the key is opened with creation all the same
    PutProgramValue(QStringLiteral("name"), QStringLiteral("REG_SZ"), QStringLiteral("stored"));
    std::string result = "untouched";
    ReadSetting("", "name", 2, result);
    QCOMPARE(Q(result), QStringLiteral("untouched"));
    ReadSetting("", "name", -1, result);
    QCOMPARE(Q(result), QStringLiteral("untouched"));
}

void TestSettings::readingCreatesTheKey() {
    std::string result = "x";
    ReadSetting("\\Winpos", "Nothing", 0, result);
    QCOMPARE(result, std::string());
    QVERIFY(ReadHiveKeys().contains(kWinposKey));
    QVERIFY(ReadHiveKeys().value(kWinposKey).toObject().isEmpty());
}

void TestSettings::writeSettingRefusesNonNumbers() {
    const QString error = ErrorOf([] { WriteSetting("\\Winpos", "n", "12a", 1); });
    QCOMPARE(error, QStringLiteral("'12a' is not a valid integer value"));
    QVERIFY(!HasValue(kWinposKey, QStringLiteral("n")));
    QCOMPARE(ErrorOf([] { WriteSetting("\\Winpos", "n", "4294967296", 1); }),
             QStringLiteral("'4294967296' is not a valid integer value"));
}

void TestSettings::readString_data() {
    QTest::addColumn<QString>("type"); // "" = no value at all
    QTest::addColumn<QJsonValue>("data");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("error");
    const QString none;
    QTest::newRow("missing") << QString() << QJsonValue() << QString() << none;
    QTest::newRow("string") << QStringLiteral("REG_SZ") << QJsonValue(QStringLiteral("*.htm"))
                            << QStringLiteral("*.htm") << none;
    QTest::newRow("empty string") << QStringLiteral("REG_SZ") << QJsonValue(QString()) << QString()
                                  << none;
    QTest::newRow("expand string not expanded")
        << QStringLiteral("REG_EXPAND_SZ") << QJsonValue(QStringLiteral("%HOME%"))
        << QStringLiteral("%HOME%") << none;
    QTest::newRow("ends at zero") << QStringLiteral("REG_SZ")
                                  << QJsonValue(QStringLiteral("a") + QChar(0) +
                                                QStringLiteral("b"))
                                  << QStringLiteral("a") << none;
    QTest::newRow("empty binary") << QStringLiteral("REG_BINARY") << QJsonValue(QString())
                                  << QString() << none;
    QTest::newRow("dword") << QStringLiteral("REG_DWORD") << QJsonValue(1) << QString()
                           << QStringLiteral("Invalid data type for 'name'");
    QTest::newRow("binary") << QStringLiteral("REG_BINARY") << QJsonValue(QStringLiteral("7965"))
                            << QString() << QStringLiteral("Invalid data type for 'name'");
}

void TestSettings::readString() {
    QFETCH(QString, type);
    QFETCH(QJsonValue, data);
    QFETCH(QString, result);
    QFETCH(QString, error);
    WriteSetting("", "other", "x", 0);
    if (!type.isEmpty())
        PutProgramValue(QStringLiteral("name"), type, data);
    std::string read = "untouched";
    QCOMPARE(ErrorOf([&] { ReadSetting("", "name", 0, read); }), error);
    if (error.isEmpty())
        QCOMPARE(Q(read), result);
    else
        QCOMPARE(Q(read), QStringLiteral("untouched"));
}

void TestSettings::readInteger_data() {
    QTest::addColumn<QString>("type"); // "" = no value at all
    QTest::addColumn<QJsonValue>("data");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("error");
    const QString invalid = QStringLiteral("Invalid data type for 'name'");
    const QString failed = QStringLiteral("Failed to get data for 'name'");
    QTest::newRow("dword") << QStringLiteral("REG_DWORD") << QJsonValue(-4) << QStringLiteral("-4")
                           << QString();
    QTest::newRow("missing") << QString() << QJsonValue() << QString() << failed;
    // A string's data counts its terminating zero.
    QTest::newRow("string of 3 (4 bytes)")
        << QStringLiteral("REG_SZ") << QJsonValue(QStringLiteral("123")) << QString() << invalid;
    QTest::newRow("string of 4 (5 bytes)")
        << QStringLiteral("REG_SZ") << QJsonValue(QStringLiteral("1234")) << QString() << failed;
    QTest::newRow("empty string (1 byte)")
        << QStringLiteral("REG_SZ") << QJsonValue(QString()) << QString() << invalid;
    QTest::newRow("expand string") << QStringLiteral("REG_EXPAND_SZ")
                                   << QJsonValue(QStringLiteral("1")) << QString() << invalid;
    QTest::newRow("binary of 3") << QStringLiteral("REG_BINARY")
                                 << QJsonValue(QStringLiteral("010203")) << QString() << invalid;
    QTest::newRow("binary of 4") << QStringLiteral("REG_BINARY")
                                 << QJsonValue(QStringLiteral("01020304")) << QString() << invalid;
    QTest::newRow("binary of 5") << QStringLiteral("REG_BINARY")
                                 << QJsonValue(QStringLiteral("0102030405")) << QString() << failed;
    QTest::newRow("misshapen") << QStringLiteral("REG_DWORD") << QJsonValue(QStringLiteral("10"))
                               << QString() << invalid;
}

void TestSettings::readInteger() {
    QFETCH(QString, type);
    QFETCH(QJsonValue, data);
    QFETCH(QString, result);
    QFETCH(QString, error);
    WriteSetting("\\Winpos", "other", "1", 1);
    if (!type.isEmpty())
        PutValue(kWinposKey, QStringLiteral("name"), type, data);
    std::string read = "untouched";
    QCOMPARE(ErrorOf([&] { ReadSetting("\\Winpos", "name", 1, read); }), error);
    QCOMPARE(Q(read), error.isEmpty() ? result : QStringLiteral("untouched"));
}

void TestSettings::unopenableStore() {
    MakeStoreUnopenable();
    std::string read = "untouched";
    ReadSetting("", "recursive", 0, read);
    QCOMPARE(read, std::string());
    QCOMPARE(ErrorOf([&] { ReadSetting("\\Winpos", "Form1Left", 1, read); }),
             QStringLiteral("Failed to get data for 'Form1Left'"));
    QCOMPARE(ErrorOf([] { WriteSetting("", "recursive", "yes", 0); }),
             QStringLiteral("Failed to set data for 'recursive'"));
    QCOMPARE(ErrorOf([] { WriteSetting("\\Winpos", "Form1Left", "10", 1); }),
             QStringLiteral("Failed to set data for 'Form1Left'"));
}

void TestSettings::firstRunStartup() {
    QCheckBox recursive;
    QCheckBox sensitive;
    QCheckBox keepPre;
    QCheckBox lfBreaks;
    recursive.setChecked(true);
    sensitive.setChecked(true);
    QCOMPARE(ErrorOf([&] { ReadStartupOptions(recursive, sensitive, keepPre, lfBreaks); }),
             QString());
    QVERIFY(!recursive.isChecked());
    QVERIFY(!sensitive.isChecked());
    QCOMPARE(FileTypes, DefaultTypeList);
    QCOMPARE(UncheckedTypes, std::string());
    // Opening without creation: nothing was written.
    QVERIFY(!QFile::exists(HivePath()));
}

void TestSettings::optionTexts_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("checked");
    QTest::newRow("yes") << QStringLiteral("yes") << true;
    QTest::newRow("Yes") << QStringLiteral("Yes") << false;
    QTest::newRow("YES") << QStringLiteral("YES") << false;
    QTest::newRow("yes with blank") << QStringLiteral("yes ") << false;
    QTest::newRow("blank yes") << QStringLiteral(" yes") << false;
    QTest::newRow("no") << QStringLiteral("no") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestSettings::optionTexts() {
    QFETCH(QString, stored);
    QFETCH(bool, checked);
    const QString sz = QStringLiteral("REG_SZ");
    for (int which = 0; which < 3; ++which) {
        ResetHive();
        PutProgramValue(QStringLiteral("recursive"), sz,
                        which == 0 ? stored : QStringLiteral("yes"));
        PutProgramValue(QStringLiteral("sensitive"), sz,
                        which == 1 ? stored : QStringLiteral("yes"));
        PutProgramValue(QStringLiteral("keeppre"), sz, which == 2 ? stored : QStringLiteral("yes"));
        QCheckBox recursive;
        QCheckBox sensitive;
        QCheckBox keepPre;
        QCheckBox lfBreaks;
        ReadStartupOptions(recursive, sensitive, keepPre, lfBreaks);
        QCOMPARE(recursive.isChecked(), which == 0 ? checked : true);
        QCOMPARE(sensitive.isChecked(), which == 1 ? checked : true);
        QCOMPARE(keepPre.isChecked(), which == 2 ? checked : true);
    }
}

void TestSettings::lineBreakTexts_data() {
    QTest::addColumn<QJsonValue>("stored"); // undefined: no value
    QTest::addColumn<bool>("lf");
    QTest::addColumn<bool>("keep"); // "as in each file"
    QTest::newRow("lf") << QJsonValue(QStringLiteral("lf")) << true << false;
    QTest::newRow("crlf") << QJsonValue(QStringLiteral("crlf")) << false << false;
    QTest::newRow("LF") << QJsonValue(QStringLiteral("LF")) << false << false;
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << false << false;
    QTest::newRow("keep") << QJsonValue(QStringLiteral("keep")) << false << true;
    QTest::newRow("Keep") << QJsonValue(QStringLiteral("Keep")) << false << false;
}

void TestSettings::lineBreakTexts() {
    QFETCH(QJsonValue, stored);
    QFETCH(bool, lf);
    QFETCH(bool, keep);
    if (!stored.isUndefined())
        PutProgramValue(QStringLiteral("linebreaks"), QStringLiteral("REG_SZ"), stored);
    QCheckBox recursive;
    QCheckBox sensitive;
    QCheckBox keepPre;
    QCheckBox lfBreaks;
    QCheckBox crlfBreaks;
    QCheckBox keepBreaks;
    // A missing value is read as "crlf", not left alone.
    lfBreaks.setChecked(!lf);
    keepBreaks.setChecked(!keep);
    ReadStartupOptions(recursive, sensitive, keepPre, lfBreaks, &crlfBreaks, &keepBreaks);
    QCOMPARE(lfBreaks.isChecked(), lf);
    QCOMPARE(keepBreaks.isChecked(), keep);
    QCOMPARE(crlfBreaks.isChecked(), !lf && !keep);
}

void TestSettings::listFallback_data() {
    QTest::addColumn<QJsonValue>("filetypes"); // undefined: no value
    QTest::addColumn<QJsonValue>("unchecked");
    QTest::addColumn<QString>("fileTypes");
    QTest::addColumn<QString>("uncheckedTypes");
    const QString defaults = Q(DefaultTypeList);
    const QJsonValue missing(QJsonValue::Undefined);
    QTest::newRow("both missing") << missing << missing << defaults << QString();
    QTest::newRow("both empty") << QJsonValue(QString()) << QJsonValue(QString()) << defaults
                                << QString();
    QTest::newRow("only unchecked") << QJsonValue(QString()) << QJsonValue(QStringLiteral("*.htm"))
                                    << QString() << QStringLiteral("*.htm");
    QTest::newRow("filetypes missing, unchecked set")
        << missing << QJsonValue(QStringLiteral("*.a;*.b")) << QString()
        << QStringLiteral("*.a;*.b");
    QTest::newRow("both set") << QJsonValue(QStringLiteral("*.htm;;*.css"))
                              << QJsonValue(QStringLiteral("*.pl"))
                              << QStringLiteral("*.htm;;*.css") << QStringLiteral("*.pl");
    QTest::newRow("only filetypes") << QJsonValue(QStringLiteral("*.x")) << QJsonValue(QString())
                                    << QStringLiteral("*.x") << QString();
}

void TestSettings::listFallback() {
    QFETCH(QJsonValue, filetypes);
    QFETCH(QJsonValue, unchecked);
    QFETCH(QString, fileTypes);
    QFETCH(QString, uncheckedTypes);
    WriteSetting("", "recursive", "yes", 0);
    if (!filetypes.isUndefined())
        PutProgramValue(QStringLiteral("filetypes"), QStringLiteral("REG_SZ"), filetypes);
    if (!unchecked.isUndefined())
        PutProgramValue(QStringLiteral("unchecked"), QStringLiteral("REG_SZ"), unchecked);
    const QByteArray before = [] {
        QFile file(HivePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QCheckBox recursive;
    QCheckBox sensitive;
    QCheckBox keepPre;
    QCheckBox lfBreaks;
    ReadStartupOptions(recursive, sensitive, keepPre, lfBreaks);
    QVERIFY(recursive.isChecked());
    QCOMPARE(Q(FileTypes), fileTypes);
    QCOMPARE(Q(UncheckedTypes), uncheckedTypes);
    QFile file(HivePath()); // nothing written back
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void TestSettings::mistypedValueAtStartup_data() {
    QTest::addColumn<QString>("mistyped");
    QTest::addColumn<bool>("recursiveChecked");
    QTest::addColumn<bool>("sensitiveChecked");
    QTest::addColumn<QString>("fileTypes");
    QTest::addColumn<QString>("uncheckedTypes");
    QTest::newRow("recursive") << QStringLiteral("recursive") << false << false << QString()
                               << QString();
    QTest::newRow("sensitive") << QStringLiteral("sensitive") << false << false << QString()
                               << QString();
    QTest::newRow("filetypes") << QStringLiteral("filetypes") << true << true << QString()
                               << QString();
    QTest::newRow("unchecked") << QStringLiteral("unchecked") << true << true
                               << QStringLiteral("*.a") << QString();
    QTest::newRow("keeppre") << QStringLiteral("keeppre") << true << true << QStringLiteral("*.a")
                             << QStringLiteral("*.b");
}

void TestSettings::mistypedValueAtStartup() {
    QFETCH(QString, mistyped);
    QFETCH(bool, recursiveChecked);
    QFETCH(bool, sensitiveChecked);
    QFETCH(QString, fileTypes);
    QFETCH(QString, uncheckedTypes);
    const QString sz = QStringLiteral("REG_SZ");
    PutProgramValue(QStringLiteral("recursive"), sz, QStringLiteral("yes"));
    PutProgramValue(QStringLiteral("sensitive"), sz, QStringLiteral("yes"));
    PutProgramValue(QStringLiteral("filetypes"), sz, QStringLiteral("*.a"));
    PutProgramValue(QStringLiteral("unchecked"), sz, QStringLiteral("*.b"));
    PutProgramValue(mistyped, QStringLiteral("REG_DWORD"), 1);
    QCheckBox recursive;
    QCheckBox sensitive;
    QCheckBox keepPre;
    QCheckBox lfBreaks;
    QCOMPARE(ErrorOf([&] { ReadStartupOptions(recursive, sensitive, keepPre, lfBreaks); }),
             QStringLiteral("Invalid data type for '%1'").arg(mistyped));
    QCOMPARE(recursive.isChecked(), recursiveChecked);
    QCOMPARE(sensitive.isChecked(), sensitiveChecked);
    QCOMPARE(Q(FileTypes), fileTypes);
    QCOMPARE(Q(UncheckedTypes), uncheckedTypes);
}

void TestSettings::savedOptionsReadInOrder_data() {
    QTest::addColumn<QString>("mistyped"); // empty: none
    QTest::addColumn<int>("valuesRead");   // switches, filetypes, unchecked, keeppre, linebreaks
    QTest::newRow("none") << QString() << 5;
    QTest::newRow("recursive") << QStringLiteral("recursive") << 0;
    QTest::newRow("sensitive") << QStringLiteral("sensitive") << 0;
    QTest::newRow("filetypes") << QStringLiteral("filetypes") << 1;
    QTest::newRow("unchecked") << QStringLiteral("unchecked") << 2;
    QTest::newRow("keeppre") << QStringLiteral("keeppre") << 3;
    QTest::newRow("linebreaks") << QStringLiteral("linebreaks") << 4;
}

void TestSettings::savedOptionsReadInOrder() {
    QFETCH(QString, mistyped);
    QFETCH(int, valuesRead);
    const QString sz = QStringLiteral("REG_SZ");
    PutProgramValue(QStringLiteral("recursive"), sz, QStringLiteral("yes"));
    PutProgramValue(QStringLiteral("sensitive"), sz, QStringLiteral("no"));
    PutProgramValue(QStringLiteral("filetypes"), sz, QStringLiteral("*.a"));
    PutProgramValue(QStringLiteral("unchecked"), sz, QStringLiteral("*.b"));
    PutProgramValue(QStringLiteral("keeppre"), sz, QStringLiteral("yes"));
    PutProgramValue(QStringLiteral("linebreaks"), sz, QStringLiteral("lf"));
    if (!mistyped.isEmpty())
        PutProgramValue(mistyped, QStringLiteral("REG_DWORD"), 1);
    SavedOptions saved;
    QCOMPARE(ErrorOf([&] { ReadSavedOptions(saved); }),
             mistyped.isEmpty() ? QString()
                                : QStringLiteral("Invalid data type for '%1'").arg(mistyped));
    QCOMPARE(saved.recursive.has_value(), valuesRead >= 1);
    QCOMPARE(saved.sensitive.has_value(), valuesRead >= 1);
    QCOMPARE(saved.fileTypes.has_value(), valuesRead >= 2);
    QCOMPARE(saved.uncheckedTypes.has_value(), valuesRead >= 3);
    QCOMPARE(saved.keepPre.has_value(), valuesRead >= 4);
    QCOMPARE(saved.lineBreaks.has_value(), valuesRead >= 5);
    if (valuesRead >= 5)
        QVERIFY(*saved.keepPre && *saved.lineBreaks == LineBreakStyle::Lf);
    if (valuesRead >= 1) {
        QVERIFY(*saved.recursive);
        QVERIFY(!*saved.sensitive);
    }
    if (valuesRead >= 2)
        QCOMPARE(*saved.fileTypes, std::string("*.a"));
    if (valuesRead >= 3)
        QCOMPARE(*saved.uncheckedTypes, std::string("*.b"));
    // The read is the store's alone: the window's lists are not touched.
    QCOMPARE(FileTypes, std::string());
    QCOMPARE(UncheckedTypes, std::string());
}

void TestSettings::shutdownWrite_data() {
    QTest::addColumn<bool>("recursiveChecked");
    QTest::addColumn<bool>("sensitiveChecked");
    QTest::addColumn<bool>("keepPreChecked");
    QTest::addColumn<bool>("lfChecked");
    QTest::addColumn<bool>("keepChecked"); // "as in each file": stored, whatever LF says
    QTest::newRow("none") << false << false << false << false << false;
    QTest::newRow("recursive") << true << false << false << false << false;
    QTest::newRow("sensitive") << false << true << false << false << false;
    QTest::newRow("keep pre") << false << false << true << false << false;
    QTest::newRow("lf") << false << false << false << true << false;
    QTest::newRow("all") << true << true << true << true << false;
    QTest::newRow("keep") << false << false << false << false << true;
    QTest::newRow("keep and lf") << false << false << false << true << true;
}

void TestSettings::shutdownWrite() {
    QFETCH(bool, recursiveChecked);
    QFETCH(bool, sensitiveChecked);
    QFETCH(bool, keepPreChecked);
    QFETCH(bool, lfChecked);
    QFETCH(bool, keepChecked);
    FileTypes = "*.not-written";
    QCheckBox recursive;
    QCheckBox sensitive;
    QCheckBox keepPre;
    QCheckBox lfBreaks;
    recursive.setChecked(recursiveChecked);
    sensitive.setChecked(sensitiveChecked);
    keepPre.setChecked(keepPreChecked);
    lfBreaks.setChecked(lfChecked);
    QCheckBox keepBreaks;
    keepBreaks.setChecked(keepChecked);
    WriteShutdownOptions(recursive, sensitive, keepPre, lfBreaks, &keepBreaks);
    const QJsonObject values = ReadHiveKeys().value(kProgramKey).toObject();
    QCOMPARE(values.keys(),
             (QStringList{QStringLiteral("keeppre"), QStringLiteral("linebreaks"),
                          QStringLiteral("recursive"), QStringLiteral("sensitive")}));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("keeppre")),
             QJsonValue(keepPreChecked ? QStringLiteral("yes") : QStringLiteral("no")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("linebreaks")),
             QJsonValue(keepChecked ? QStringLiteral("keep")
                        : lfChecked ? QStringLiteral("lf")
                                    : QStringLiteral("crlf")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("recursive")),
             QJsonValue(recursiveChecked ? QStringLiteral("yes") : QStringLiteral("no")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("sensitive")),
             QJsonValue(sensitiveChecked ? QStringLiteral("yes") : QStringLiteral("no")));
    QCOMPARE(StoredValue(kProgramKey, QStringLiteral("sensitive")).value(kTypeColumn).toString(),
             QStringLiteral("REG_SZ"));
}

void TestSettings::shutdownWithUnopenableStore() {
    MakeStoreUnopenable();
    QCheckBox recursive;
    QCheckBox sensitive;
    QCheckBox keepPre;
    QCheckBox lfBreaks;
    QCOMPARE(ErrorOf([&] { WriteShutdownOptions(recursive, sensitive, keepPre, lfBreaks); }),
             QString());
    QVERIFY(QFileInfo(HiveDir()).isFile());
}

void TestSettings::shutdownRefusedWrite() {
    WriteSetting("", "recursive", "old", 0);
    MakeWritesRefused();
    QCheckBox recursive;
    QCheckBox sensitive;
    QCheckBox keepPre;
    QCheckBox lfBreaks;
    QCOMPARE(ErrorOf([&] { WriteShutdownOptions(recursive, sensitive, keepPre, lfBreaks); }),
             QStringLiteral("Failed to set data for 'recursive'"));
    AllowWrites();
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("recursive")),
             QJsonValue(QStringLiteral("old")));
    QVERIFY(!HasValue(kProgramKey, QStringLiteral("sensitive")));
}

void TestSettings::listWrite() {
    FileTypes = "*.htm;;*.css";
    UncheckedTypes = "";
    WriteFileTypeLists();
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("filetypes")),
             QJsonValue(QStringLiteral("*.htm;;*.css")));
    QCOMPARE(StoredData(kProgramKey, QStringLiteral("unchecked")), QJsonValue(QString()));
    QCOMPARE(StoredValue(kProgramKey, QStringLiteral("unchecked")).value(kTypeColumn).toString(),
             QStringLiteral("REG_SZ"));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
