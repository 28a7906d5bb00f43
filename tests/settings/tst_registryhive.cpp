// The per-user registry hive: its file form, the five operations and their edge
// behaviour, a corrupt or unwritable hive, and two writers at once.

#include "platform/RegistryHive.h"
#include "settings/HiveFixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

using namespace hive_fixture;

Q_DECLARE_METATYPE(std::string)

namespace {

std::string Bytes(const char* text, std::size_t size) {
    return std::string(text, size);
}

std::string Dword(quint32 bits) {
    std::string data;
    for (int shift = 0; shift < 32; shift += 8)
        data.push_back(static_cast<char>((bits >> shift) & 0xFFu));
    return data;
}

// A second program writing count values named <prefix>0.. into one key.
int RunWriter(const QString& file, const QString& prefix, int count) {
    RegistryHive hive(file);
    for (int i = 0; i < count; ++i) {
        RegistryKeyHandle key;
        if (!hive.CreateKey("Software\\Shared", key))
            return 2;
        const std::string name = (prefix + QString::number(i)).toStdString();
        if (!hive.SetValue(key, name, RegDword, Dword(static_cast<quint32>(i))))
            return 3;
        hive.CloseKey(key);
    }
    return 0;
}

} // namespace

class TestRegistryHive : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { ResetHive(); }
    void cleanupTestCase() { ResetHive(); }

    void defaultPathFollowsConfigHome();
    void createKeyCreatesParents();
    void openKeyNeedsExistingKey();
    void keyNamesIgnoreAsciiCase();
    void badKeyPaths_data();
    void badKeyPaths();
    void valueRoundTrip_data();
    void valueRoundTrip();
    void valueNamesIgnoreCaseAndKeepIt();
    void nonAsciiNamesCompareExactly();
    void handWrittenHiveIsRead();
    void misshapenValuesReadAsNoneAndSurvive();
    void setValueRefusesWhatCannotBeStored_data();
    void setValueRefusesWhatCannotBeStored();
    void closedHandleFails();
    void keyLostFromFileIsPutBack();
    void corruptHiveKeptAside_data();
    void corruptHiveKeptAside();
    void corruptHiveReplacesOlderAside();
    void writesReplaceTheWholeFile();
    void oversizedHiveIsLeftAlone();
    void unwritableDirectoryFailsEveryOpen();
    void immutableHiveFailsEveryOpen();
    void lockThatCannotBeTakenRefusesWrites();
    void twoHivesInterleaving();
    void twoProcessesWriting();
};

void TestRegistryHive::defaultPathFollowsConfigHome() {
    const QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY(!home.isEmpty());
    QCOMPARE(RegistryHive::DefaultFilePath(),
             home + QStringLiteral("/velocitrix-website-optimizer/registry.json"));
    QCOMPARE(RegistryHive().FilePath(), RegistryHive::DefaultFilePath());
}

void TestRegistryHive::createKeyCreatesParents() {
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("Software\\Velocitrix Website Optimizer\\Winpos", key));
    QVERIFY(key.open);
    QCOMPARE(key.path, std::string("Software\\Velocitrix Website Optimizer\\Winpos"));
    const QJsonObject keys = ReadHiveKeys();
    QCOMPARE(keys.keys(), (QStringList{QStringLiteral("Software"), kProgramKey, kWinposKey}));
    for (const QString& name : keys.keys())
        QVERIFY(keys.value(name).toObject().isEmpty());
    hive.CloseKey(key);
    QVERIFY(!key.open);
}

void TestRegistryHive::openKeyNeedsExistingKey() {
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(!hive.OpenKey("Software", key));
    QVERIFY(!key.open);
    QVERIFY(!QFile::exists(HivePath())); // opening never writes
    QVERIFY(hive.CreateKey("Software\\A", key));
    QVERIFY(hive.OpenKey("Software", key));
    QVERIFY(hive.OpenKey("Software\\A", key));
    QVERIFY(!hive.OpenKey("Software\\B", key));
    QVERIFY(!key.open);
    QVERIFY(hive.OpenKey("", key)); // the root always exists
}

void TestRegistryHive::keyNamesIgnoreAsciiCase() {
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("Software\\Velocitrix", key));
    QVERIFY(hive.CreateKey("SOFTWARE\\velocitrix\\Winpos", key));
    QCOMPARE(key.path, std::string("Software\\Velocitrix\\Winpos"));
    QVERIFY(hive.OpenKey("software\\VELOCITRIX\\WINPOS", key));
    QCOMPARE(key.path, std::string("Software\\Velocitrix\\Winpos"));
    QCOMPARE(ReadHiveKeys().size(), 3);
}

void TestRegistryHive::badKeyPaths_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("leading backslash") << QStringLiteral("\\Software");
    QTest::newRow("trailing backslash") << QStringLiteral("Software\\");
    QTest::newRow("double backslash") << QStringLiteral("Software\\\\A");
    QTest::newRow("lone backslash") << QStringLiteral("\\");
}

void TestRegistryHive::badKeyPaths() {
    QFETCH(QString, path);
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(!hive.CreateKey(path.toStdString(), key));
    QVERIFY(!key.open);
    QVERIFY(!hive.OpenKey(path.toStdString(), key));
    QVERIFY(ReadHiveKeys().isEmpty());
}

void TestRegistryHive::valueRoundTrip_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<std::string>("written");
    QTest::addColumn<std::string>("read");
    QTest::addColumn<QString>("typeName"); // as the file holds it
    QTest::addColumn<QJsonValue>("stored");
    const std::string abcZero = Bytes("abc\0", 4);
    QTest::newRow("string with its zero")
        << int(RegSz) << abcZero << abcZero << QStringLiteral("REG_SZ")
        << QJsonValue(QStringLiteral("abc"));
    QTest::newRow("string without zero")
        << int(RegSz) << std::string("abc") << abcZero << QStringLiteral("REG_SZ")
        << QJsonValue(QStringLiteral("abc"));
    QTest::newRow("empty string") << int(RegSz) << std::string() << Bytes("\0", 1)
                                  << QStringLiteral("REG_SZ") << QJsonValue(QString());
    QTest::newRow("utf-8 string") << int(RegSz) << std::string("\xC3\xA4*.htm")
                                  << std::string("\xC3\xA4*.htm") + '\0' << QStringLiteral("REG_SZ")
                                  << QJsonValue(QStringLiteral("\u00e4*.htm"));
    QTest::newRow("inner zero") << int(RegSz) << Bytes("a\0b\0", 4) << Bytes("a\0b\0", 4)
                                << QStringLiteral("REG_SZ")
                                << QJsonValue(QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
    QTest::newRow("expand string")
        << int(RegExpandSz) << Bytes("%HOME%\0", 7) << Bytes("%HOME%\0", 7)
        << QStringLiteral("REG_EXPAND_SZ") << QJsonValue(QStringLiteral("%HOME%"));
    QTest::newRow("dword 0") << int(RegDword) << Dword(0) << Dword(0) << QStringLiteral("REG_DWORD")
                             << QJsonValue(0);
    QTest::newRow("dword -1") << int(RegDword) << Dword(0xFFFFFFFFu) << Dword(0xFFFFFFFFu)
                              << QStringLiteral("REG_DWORD") << QJsonValue(-1);
    QTest::newRow("dword max") << int(RegDword) << Dword(0x7FFFFFFFu) << Dword(0x7FFFFFFFu)
                               << QStringLiteral("REG_DWORD") << QJsonValue(2147483647);
    QTest::newRow("dword min") << int(RegDword) << Dword(0x80000000u) << Dword(0x80000000u)
                               << QStringLiteral("REG_DWORD") << QJsonValue(qint64(-2147483648LL));
    QTest::newRow("binary") << int(RegBinary) << Bytes("\x00\xFF\x10", 3)
                            << Bytes("\x00\xFF\x10", 3) << QStringLiteral("REG_BINARY")
                            << QJsonValue(QStringLiteral("00ff10"));
    QTest::newRow("empty binary") << int(RegBinary) << std::string() << std::string()
                                  << QStringLiteral("REG_BINARY") << QJsonValue(QString());
}

void TestRegistryHive::valueRoundTrip() {
    QFETCH(int, type);
    QFETCH(std::string, written);
    QFETCH(std::string, read);
    QFETCH(QString, typeName);
    QFETCH(QJsonValue, stored);
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("Software\\T", key));
    QVERIFY(hive.SetValue(key, "v", static_cast<RegistryValueType>(type), written));
    const QJsonObject entry = StoredValue(QStringLiteral("Software\\T"), QStringLiteral("v"));
    QCOMPARE(entry.value(QStringLiteral("type")).toString(), typeName);
    QCOMPARE(entry.value(QStringLiteral("data")), stored);
    RegistryValueType gotType = RegNone;
    std::string gotData;
    QVERIFY(hive.QueryValue(key, "v", gotType, gotData));
    QCOMPARE(int(gotType), type);
    QCOMPARE(gotData, read);
    // A second hive object sees the same through the file.
    RegistryHive other;
    RegistryKeyHandle otherKey;
    QVERIFY(other.OpenKey("Software\\T", otherKey));
    QVERIFY(other.QueryValue(otherKey, "V", gotType, gotData));
    QCOMPARE(gotData, read);
}

void TestRegistryHive::valueNamesIgnoreCaseAndKeepIt() {
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("Software\\T", key));
    QVERIFY(hive.SetValue(key, "Recursive", RegSz, "yes"));
    QVERIFY(hive.SetValue(key, "RECURSIVE", RegSz, "no"));
    const QJsonObject values = ReadHiveKeys().value(QStringLiteral("Software\\T")).toObject();
    QCOMPARE(values.keys(), QStringList{QStringLiteral("Recursive")});
    RegistryValueType type = RegNone;
    std::string data;
    QVERIFY(hive.QueryValue(key, "recursive", type, data));
    QCOMPARE(data, Bytes("no\0", 3));
    QVERIFY(!hive.QueryValue(key, "recursiv", type, data));
}

void TestRegistryHive::nonAsciiNamesCompareExactly() {
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("Software\\T", key));
    QVERIFY(hive.SetValue(key, "\xC3\xA4", RegSz, "lower")); // a-umlaut
    QVERIFY(hive.SetValue(key, "\xC3\x84", RegSz, "upper")); // A-umlaut: another name
    QCOMPARE(ReadHiveKeys().value(QStringLiteral("Software\\T")).toObject().size(), 2);
}

void TestRegistryHive::handWrittenHiveIsRead() {
    WriteHiveBytes(
        "{\"keys\": {\"Software\\\\Velocitrix Website Optimizer\": {\"recursive\": {\"type\": "
        "\"REG_SZ\", \"data\": \"no\"}}, \"Software\\\\Velocitrix Website Optimizer\\\\Winpos\": "
        "{\"Form1Left\": {\"type\": \"REG_DWORD\", \"data\": 10}}}}");
    RegistryHive hive;
    RegistryKeyHandle key;
    RegistryValueType type = RegNone;
    std::string data;
    QVERIFY(hive.OpenKey("Software\\Velocitrix Website Optimizer", key));
    QVERIFY(hive.QueryValue(key, "recursive", type, data));
    QCOMPARE(int(type), int(RegSz));
    QCOMPARE(data, Bytes("no\0", 3));
    QVERIFY(hive.OpenKey("Software\\Velocitrix Website Optimizer\\Winpos", key));
    QVERIFY(hive.QueryValue(key, "Form1Left", type, data));
    QCOMPARE(int(type), int(RegDword));
    QCOMPARE(data, Dword(10));
    // "Software" is not listed, so it does not exist although a key below it does.
    QVERIFY(!hive.OpenKey("Software", key));
}

void TestRegistryHive::misshapenValuesReadAsNoneAndSurvive() {
    WriteHiveBytes("{\"keys\": {\"K\": {"
                   "\"unknown\": {\"type\": \"REG_QWORD\", \"data\": 1},"
                   "\"bigdword\": {\"type\": \"REG_DWORD\", \"data\": 4294967296},"
                   "\"fraction\": {\"type\": \"REG_DWORD\", \"data\": 1.5},"
                   "\"oddhex\": {\"type\": \"REG_BINARY\", \"data\": \"abc\"},"
                   "\"nothex\": {\"type\": \"REG_BINARY\", \"data\": \"zz\"},"
                   "\"numstring\": {\"type\": \"REG_SZ\", \"data\": 5},"
                   "\"plain\": 7}}}");
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.OpenKey("K", key));
    const QStringList names{QStringLiteral("unknown"),  QStringLiteral("bigdword"),
                            QStringLiteral("fraction"), QStringLiteral("oddhex"),
                            QStringLiteral("nothex"),   QStringLiteral("numstring"),
                            QStringLiteral("plain")};
    for (const QString& name : names) {
        RegistryValueType type = RegSz;
        std::string data = "x";
        QVERIFY2(hive.QueryValue(key, name.toStdString(), type, data), qPrintable(name));
        QCOMPARE(int(type), int(RegNone));
        QVERIFY(data.empty());
    }
    // Writing another value keeps them as they were.
    QVERIFY(hive.SetValue(key, "new", RegSz, "n"));
    const QJsonObject values = ReadHiveKeys().value(QStringLiteral("K")).toObject();
    QCOMPARE(values.size(), names.size() + 1);
    QCOMPARE(values.value(QStringLiteral("oddhex")).toObject().value(QStringLiteral("data")),
             QJsonValue(QStringLiteral("abc")));
    QCOMPARE(values.value(QStringLiteral("plain")), QJsonValue(7));
}

void TestRegistryHive::setValueRefusesWhatCannotBeStored_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<std::string>("data");
    QTest::newRow("dword of 3 bytes") << int(RegDword) << std::string("abc");
    QTest::newRow("dword of 5 bytes") << int(RegDword) << std::string("abcde");
    QTest::newRow("type none") << int(RegNone) << std::string();
    QTest::newRow("type 7") << 7 << std::string("a");
}

void TestRegistryHive::setValueRefusesWhatCannotBeStored() {
    QFETCH(int, type);
    QFETCH(std::string, data);
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("K", key));
    QVERIFY(!hive.SetValue(key, "v", static_cast<RegistryValueType>(type), data));
    QVERIFY(!HasValue(QStringLiteral("K"), QStringLiteral("v")));
}

void TestRegistryHive::closedHandleFails() {
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("K", key));
    QVERIFY(hive.SetValue(key, "v", RegSz, "x"));
    hive.CloseKey(key);
    RegistryValueType type = RegNone;
    std::string data;
    QVERIFY(!hive.QueryValue(key, "v", type, data));
    QVERIFY(!hive.SetValue(key, "w", RegSz, "y"));
    QVERIFY(!HasValue(QStringLiteral("K"), QStringLiteral("w")));
}

void TestRegistryHive::keyLostFromFileIsPutBack() {
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("A\\B", key));
    WriteHiveKeys(QJsonObject{}); // someone emptied the hive meanwhile
    QVERIFY(hive.SetValue(key, "v", RegSz, "x"));
    QCOMPARE(StoredValue(QStringLiteral("A\\B"), QStringLiteral("v"))
                 .value(QStringLiteral("data"))
                 .toString(),
             QStringLiteral("x"));
}

void TestRegistryHive::corruptHiveKeptAside_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not json") << QByteArray("this is not a hive {");
    QTest::newRow("truncated") << QByteArray("{\"keys\": {\"Software\": {");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("array") << QByteArray("[1, 2]");
    QTest::newRow("keys missing") << QByteArray("{\"values\": {}}");
    QTest::newRow("keys not an object") << QByteArray("{\"keys\": 5}");
    QTest::newRow("key not an object") << QByteArray("{\"keys\": {\"Software\": \"x\"}}");
}

void TestRegistryHive::corruptHiveKeptAside() {
    QFETCH(QByteArray, content);
    WriteHiveBytes(content);
    RegistryHive hive;
    RegistryKeyHandle key;
    // Treated as empty: nothing opens, nothing is read, the file stays as it is.
    QVERIFY(!hive.OpenKey("Software", key));
    QCOMPARE(QFileInfo(HivePath()).size(), qint64(content.size()));
    QVERIFY(!QFile::exists(HivePath() + QStringLiteral(".bad")));
    // The first write keeps the old file aside and starts a new hive.
    QVERIFY(hive.CreateKey("Software\\X", key));
    QVERIFY(hive.SetValue(key, "v", RegSz, "fresh"));
    QFile aside(HivePath() + QStringLiteral(".bad"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), content);
    QCOMPARE(ReadHiveKeys().keys(),
             (QStringList{QStringLiteral("Software"), QStringLiteral("Software\\X")}));
    QCOMPARE(StoredValue(QStringLiteral("Software\\X"), QStringLiteral("v"))
                 .value(QStringLiteral("data"))
                 .toString(),
             QStringLiteral("fresh"));
}

void TestRegistryHive::corruptHiveReplacesOlderAside() {
    WriteHiveBytes("first broken hive");
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("A", key));
    WriteHiveBytes("second broken hive");
    QVERIFY(hive.SetValue(key, "v", RegSz, "x")); // the key is put back in the new hive
    QFile aside(HivePath() + QStringLiteral(".bad"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), QByteArray("second broken hive"));
    QCOMPARE(StoredValue(QStringLiteral("A"), QStringLiteral("v"))
                 .value(QStringLiteral("data"))
                 .toString(),
             QStringLiteral("x"));
}

void TestRegistryHive::writesReplaceTheWholeFile() {
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("A", key));
    QVERIFY(hive.SetValue(key, "v", RegSz, "old"));
    // A second name for the file as it is now: a write that changed the file in
    // place would change what it shows; a new file renamed over the hive does not.
    const QString before = HivePath() + QStringLiteral(".before");
    QFile::remove(before);
    QVERIFY(::link(QFile::encodeName(HivePath()).constData(),
                   QFile::encodeName(before).constData()) == 0);
    QFile old(before);
    QVERIFY(old.open(QIODevice::ReadOnly));
    const QByteArray oldBytes = old.readAll();
    old.close();
    QVERIFY(hive.SetValue(key, "v", RegSz, "new"));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), oldBytes);
    old.close();
    QFile::remove(before);
    QCOMPARE(StoredValue(QStringLiteral("A"), QStringLiteral("v"))
                 .value(QStringLiteral("data"))
                 .toString(),
             QStringLiteral("new"));
    // Nothing but the hive (and its lock file) is left in the directory.
    QStringList names = QDir(HiveDir()).entryList(QDir::Files | QDir::Hidden);
    names.removeAll(QStringLiteral("registry.json.lock"));
    QCOMPARE(names, QStringList{QStringLiteral("registry.json")});
}

void TestRegistryHive::oversizedHiveIsLeftAlone() {
    WriteHiveBytes("{\"keys\": {\"A\": {}}}");
    {
        QFile file(HivePath());
        QVERIFY(file.resize(64 * 1024 * 1024)); // sparse: costs no disk space
    }
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(!hive.OpenKey("A", key));
    QVERIFY(!hive.CreateKey("A", key));
    QVERIFY(!hive.CreateKey("B", key));
    QCOMPARE(QFileInfo(HivePath()).size(), qint64(64 * 1024 * 1024));
    QVERIFY(!QFile::exists(HivePath() + QStringLiteral(".bad")));
}

void TestRegistryHive::unwritableDirectoryFailsEveryOpen() {
    MakeStoreUnopenable();
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(!hive.CreateKey("Software", key));
    QVERIFY(!key.open);
    QVERIFY(!hive.OpenKey("", key));
    QVERIFY(QFileInfo(HiveDir()).isFile()); // nothing was replaced
}

void TestRegistryHive::immutableHiveFailsEveryOpen() {
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("Software", key));
    QVERIFY(hive.SetValue(key, "v", RegSz, "before"));
    const QByteArray before = [] {
        QFile file(HivePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), HivePath()}) != 0)
        QSKIP("this machine cannot make a file immutable (chattr +i refused)");
    const auto undo = qScopeGuard([] {
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), HivePath()});
    });
    RegistryKeyHandle other;
    QVERIFY(!hive.OpenKey("Software", other));
    QVERIFY(!hive.CreateKey("Software", other));
    // A key opened before the file became unwritable: the write is refused.
    QVERIFY(!hive.SetValue(key, "v", RegSz, "after"));
    QFile file(HivePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void TestRegistryHive::lockThatCannotBeTakenRefusesWrites() {
    RegistryHive hive;
    RegistryKeyHandle key;
    QVERIFY(hive.CreateKey("Software", key));
    MakeWritesRefused();
    RegistryKeyHandle again;
    QVERIFY(hive.OpenKey("Software", again)); // opening still works
    QVERIFY(hive.CreateKey("software", again));
    QVERIFY(!hive.SetValue(key, "v", RegSz, "x"));
    QVERIFY(!hive.CreateKey("Software\\New", again)); // creating means writing
    AllowWrites();
    QVERIFY(hive.SetValue(key, "v", RegSz, "x"));
}

void TestRegistryHive::twoHivesInterleaving() {
    RegistryHive first;
    RegistryHive second;
    RegistryKeyHandle a;
    RegistryKeyHandle b;
    QVERIFY(first.CreateKey("Software\\Shared", a));
    QVERIFY(second.CreateKey("Software\\Shared", b));
    for (int i = 0; i < 20; ++i) {
        QVERIFY(first.SetValue(a, "first" + std::to_string(i), RegDword, Dword(i)));
        QVERIFY(second.SetValue(b, "second" + std::to_string(i), RegDword, Dword(i)));
        RegistryKeyHandle own;
        QVERIFY(second.CreateKey("Software\\Own" + std::to_string(i), own));
    }
    const QJsonObject keys = ReadHiveKeys();
    QCOMPARE(keys.value(QStringLiteral("Software\\Shared")).toObject().size(), 40);
    QCOMPARE(keys.size(), 2 + 20);
}

void TestRegistryHive::twoProcessesWriting() {
    constexpr int count = 60;
    QDir().mkpath(HiveDir());
    QProcess one;
    QProcess two;
    const QString self = QCoreApplication::applicationFilePath();
    one.start(self, {QStringLiteral("--hive-writer"), HivePath(), QStringLiteral("one"),
                     QString::number(count)});
    two.start(self, {QStringLiteral("--hive-writer"), HivePath(), QStringLiteral("two"),
                     QString::number(count)});
    QVERIFY(one.waitForFinished(120000));
    QVERIFY(two.waitForFinished(120000));
    QCOMPARE(one.exitStatus(), QProcess::NormalExit);
    QCOMPARE(one.exitCode(), 0);
    QCOMPARE(two.exitCode(), 0);
    const QJsonObject values = ReadHiveKeys().value(QStringLiteral("Software\\Shared")).toObject();
    QCOMPARE(values.size(), 2 * count);
    for (int i = 0; i < count; ++i) {
        for (const char* prefix : {"one", "two"}) {
            const QString name = QLatin1String(prefix) + QString::number(i);
            QCOMPARE(values.value(name).toObject().value(QStringLiteral("data")), QJsonValue(i));
        }
    }
    QVERIFY(!QFile::exists(HivePath() + QStringLiteral(".bad")));
}

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--hive-writer") == 0) {
        QCoreApplication app(argc, argv);
        return RunWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         std::atoi(argv[4]));
    }
    QApplication app(argc, argv);
    TestRegistryHive test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registryhive.moc"
