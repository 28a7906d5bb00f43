// The per-user registry hive read from any bytes: opening keys and querying
// values never crashes or hangs, and the next write keeps what it cannot use.
// A file that is not a hive (not JSON, or not {"keys": {<key>: {...}, ...}}) is
// kept aside as registry.json.bad with its bytes unchanged; a hive is not, and
// every value it gave before the write it gives after it, with the new value.
//
// Input: the bytes of registry.json.

#include "FuzzCheck.h"
#include "platform/RegistryHive.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include <unistd.h>

namespace {

QString g_dir;

void RemoveDir() {
    QDir(g_dir).removeRecursively();
}

std::string Bytes(const QByteArray& a) {
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}

std::string Utf8(const QString& s) {
    return Bytes(s.toUtf8());
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// Whether bytes hold a hive as the file format describes it.
bool IsHive(const QByteArray& bytes, QJsonObject& keys) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonValue value = document.object().value(QLatin1String("keys"));
    if (!value.isObject())
        return false;
    keys = value.toObject();
    for (auto it = keys.begin(); it != keys.end(); ++it)
        if (!it.value().isObject())
            return false;
    return true;
}

std::string Folded(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

using Values =
    std::map<std::pair<std::string, std::string>, std::pair<RegistryValueType, std::string>>;

// Opens every key and queries every value the file names.
Values QueryAll(RegistryHive& hive, const QJsonObject& keys) {
    Values values;
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        const std::string path = Utf8(it.key());
        RegistryKeyHandle key;
        if (!hive.OpenKey(path, key))
            continue;
        const QJsonObject members = it.value().toObject();
        for (auto m = members.begin(); m != members.end(); ++m) {
            const std::string name = Utf8(m.key());
            RegistryValueType type = RegNone;
            std::string data;
            if (hive.QueryValue(key, name, type, data))
                values[{path, name}] = {type, data};
        }
        hive.CloseKey(key);
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_hive.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_dir = QString::fromUtf8(pattern.c_str());
    std::atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = g_dir + QStringLiteral("/registry.json");
    const QString aside = path + QStringLiteral(".bad");
    QFile::remove(aside);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::abort();
        }
    }
    const std::string shown = fuzzcheck::Quoted(Bytes(bytes));

    QJsonObject keys;
    const bool hiveShaped = IsHive(bytes, keys);

    RegistryHive hive(path);
    const Values before = QueryAll(hive, keys);
    {
        // The program's own key, as the settings read it.
        RegistryKeyHandle key;
        if (hive.OpenKey("Software\\Velocitrix Website Optimizer", key)) {
            RegistryValueType type = RegNone;
            std::string value;
            hive.QueryValue(key, "filetypes", type, value);
            hive.CloseKey(key);
        }
    }
    FUZZ_CHECK(ReadAll(path) == bytes, "reading changed the file " + shown);
    FUZZ_CHECK(!QFile::exists(aside), "reading kept the file aside " + shown);

    // One write.
    RegistryKeyHandle key;
    FUZZ_CHECK(hive.CreateKey("Software\\Fuzz", key), "CreateKey failed on " + shown);
    FUZZ_CHECK(hive.SetValue(key, "value", RegSz, "written"), "SetValue failed on " + shown);
    RegistryValueType type = RegNone;
    std::string written;
    FUZZ_CHECK(hive.QueryValue(key, "value", type, written) && type == RegSz &&
                   written == std::string("written", 8),
               "the value written is not read back, file " + shown);
    hive.CloseKey(key);

    if (hiveShaped) {
        FUZZ_CHECK(!QFile::exists(aside), "a hive was kept aside: " + shown);
        const Values after = QueryAll(hive, keys);
        for (const auto& [where, value] : before) {
            if (Folded(where.first) == "software\\fuzz" && Folded(where.second) == "value")
                continue; // the one value the write changes
            const auto found = after.find(where);
            FUZZ_CHECK(found != after.end() && found->second == value,
                       "value " + where.first + "\\" + where.second + " changed by a write, file " +
                           shown);
        }
    } else {
        FUZZ_CHECK(QFile::exists(aside) && ReadAll(aside) == bytes,
                   "a file that is no hive was not kept aside unchanged: " + shown);
    }
    QJsonObject newKeys;
    FUZZ_CHECK(IsHive(ReadAll(path), newKeys), "the new file is no hive, after " + shown);
    return 0;
}
