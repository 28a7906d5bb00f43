#include "platform/RegistryHive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

const QLatin1String kKeys("keys");
const QLatin1String kType("type");
const QLatin1String kData("data");

// How long a writer waits for another one before its write fails.
constexpr int kLockWaitMs = 10000;
// A file larger than this is no hive of this program; it is not read (every
// open fails) and, unlike a hive that does not parse, not replaced either.
constexpr qint64 kMaxHiveSize = 16 * 1024 * 1024;

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

QString ToQt(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string FromQt(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

// Splits a key path into its components; nullopt for an empty component.
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    if (path.empty())
        return parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty())
            return std::nullopt;
        parts.emplace_back(part);
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

// Takes the hive's lock, waiting for another writer a while. A lock path taken
// by something that is no lock file can never be locked: that fails at once.
bool TakeLock(QLockFile& lock, const QString& lockPath) {
    const QFileInfo info(lockPath);
    if ((info.exists() || info.isSymLink()) && !info.isFile())
        return false;
    return lock.tryLock(kLockWaitMs);
}

bool WritableByUs(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    return ::access(native.constData(), W_OK) == 0;
}

// The member of object whose name matches name, ignoring ASCII case.
std::optional<QString> FindMember(const QJsonObject& object, std::string_view name) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (SameName(FromQt(it.key()), name))
            return it.key();
    }
    return std::nullopt;
}

struct HiveContents {
    bool exists = false;  // the file is there
    bool readable = true; // it could be read
    bool corrupt = false; // it is there but is no hive
    QJsonObject keys;
};

bool IsHiveShape(const QJsonDocument& document) {
    if (!document.isObject())
        return false;
    const QJsonValue keys = document.object().value(kKeys);
    if (!keys.isObject())
        return false;
    const QJsonObject keyObject = keys.toObject();
    for (auto it = keyObject.begin(); it != keyObject.end(); ++it) {
        if (!it.value().isObject())
            return false;
    }
    return true;
}

HiveContents ReadHive(const QString& filePath) {
    HiveContents hive;
    QFile file(filePath);
    if (!file.exists())
        return hive;
    hive.exists = true;
    if (file.size() > kMaxHiveSize || !file.open(QIODevice::ReadOnly)) {
        hive.readable = false;
        return hive;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        hive.readable = false;
        return hive;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !IsHiveShape(document)) {
        hive.corrupt = true;
        return hive;
    }
    hive.keys = document.object().value(kKeys).toObject();
    return hive;
}

// Writes keys as the whole hive. A corrupt hive is first kept aside, so that
// what was in it is not lost by the new file.
bool WriteHive(const QString& filePath, const HiveContents& old, const QJsonObject& keys) {
    if (old.exists && old.corrupt) {
        const QString aside = filePath + QStringLiteral(".bad");
        if (QFile::exists(aside) && !QFile::remove(aside))
            return false;
        if (!QFile::rename(filePath, aside))
            return false;
    }
    QJsonObject root;
    root.insert(kKeys, keys);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// Adds the key at parts and every missing key above it, keeping the spelling of
// the keys that exist. Returns the key's stored path.
std::string EnsureKey(QJsonObject& keys, const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& part : parts) {
        std::string candidate = path.empty() ? part : path + '\\' + part;
        if (const auto found = FindMember(keys, candidate)) {
            path = FromQt(*found);
        } else {
            keys.insert(ToQt(candidate), QJsonObject());
            path = std::move(candidate);
        }
    }
    return path;
}

bool HasKeyPath(const QJsonObject& keys, const std::vector<std::string>& parts,
                std::string& storedPath) {
    if (parts.empty()) {
        storedPath.clear();
        return true;
    }
    std::string joined;
    for (const std::string& part : parts)
        joined += joined.empty() ? part : '\\' + part;
    const auto found = FindMember(keys, joined);
    if (!found)
        return false;
    storedPath = FromQt(*found);
    return true;
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// The registry's form of a stored value; RegNone with no data when the stored
// form is not one this program writes.
void DecodeValue(const QJsonValue& entry, RegistryValueType& type, std::string& data) {
    type = RegNone;
    data.clear();
    if (!entry.isObject())
        return;
    const QJsonObject object = entry.toObject();
    const QString typeName = object.value(kType).toString();
    const QJsonValue stored = object.value(kData);
    if (typeName == QLatin1String("REG_SZ") || typeName == QLatin1String("REG_EXPAND_SZ")) {
        if (!stored.isString())
            return;
        type = typeName == QLatin1String("REG_SZ") ? RegSz : RegExpandSz;
        data = FromQt(stored.toString());
        data.push_back('\0');
    } else if (typeName == QLatin1String("REG_DWORD")) {
        if (!stored.isDouble())
            return;
        const double number = stored.toDouble();
        if (!(number >= std::numeric_limits<std::int32_t>::min() &&
              number <= std::numeric_limits<std::int32_t>::max() && std::floor(number) == number))
            return;
        const auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(number));
        type = RegDword;
        for (int shift = 0; shift < 32; shift += 8)
            data.push_back(static_cast<char>((bits >> shift) & 0xFFu));
    } else if (typeName == QLatin1String("REG_BINARY")) {
        if (!stored.isString())
            return;
        const QString hex = stored.toString();
        if (hex.size() % 2 != 0)
            return;
        std::string bytes;
        for (qsizetype i = 0; i < hex.size(); i += 2) {
            const int high = HexDigit(hex[i]);
            const int low = HexDigit(hex[i + 1]);
            if (high < 0 || low < 0)
                return;
            bytes.push_back(static_cast<char>(high * 16 + low));
        }
        type = RegBinary;
        data = std::move(bytes);
    }
}

std::optional<QJsonObject> EncodeValue(RegistryValueType type, std::string_view data) {
    QJsonObject entry;
    switch (type) {
    case RegSz:
    case RegExpandSz: {
        std::string_view text = data;
        if (!text.empty() && text.back() == '\0')
            text.remove_suffix(1);
        entry.insert(kType,
                     type == RegSz ? QStringLiteral("REG_SZ") : QStringLiteral("REG_EXPAND_SZ"));
        entry.insert(kData, ToQt(text));
        return entry;
    }
    case RegDword: {
        if (data.size() != 4)
            return std::nullopt;
        std::uint32_t bits = 0;
        for (int i = 3; i >= 0; --i)
            bits = (bits << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
        entry.insert(kType, QStringLiteral("REG_DWORD"));
        entry.insert(kData, static_cast<qint64>(static_cast<std::int32_t>(bits)));
        return entry;
    }
    case RegBinary: {
        static const char digits[] = "0123456789abcdef";
        QString hex;
        hex.reserve(static_cast<qsizetype>(data.size() * 2));
        for (const char c : data) {
            const auto byte = static_cast<unsigned char>(c);
            hex.append(QLatin1Char(digits[byte >> 4]));
            hex.append(QLatin1Char(digits[byte & 0x0F]));
        }
        entry.insert(kType, QStringLiteral("REG_BINARY"));
        entry.insert(kData, hex);
        return entry;
    }
    case RegNone:
        break;
    }
    return std::nullopt;
}

} // namespace

RegistryHive::RegistryHive() : filePath_(DefaultFilePath()) {}

RegistryHive::RegistryHive(QString filePath) : filePath_(std::move(filePath)) {}

QString RegistryHive::DefaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/velocitrix-website-optimizer/registry.json");
}

bool RegistryHive::HiveWritable() const {
    const QFileInfo info(filePath_);
    if (!info.dir().exists() || !WritableByUs(info.absolutePath()))
        return false;
    return !info.exists() || WritableByUs(filePath_);
}

bool RegistryHive::CreateKey(std::string_view path, RegistryKeyHandle& key) {
    key = RegistryKeyHandle{};
    const auto parts = SplitKeyPath(path);
    if (!parts)
        return false;
    if (!QDir().mkpath(QFileInfo(filePath_).absolutePath()) || !HiveWritable())
        return false;

    std::string storedPath;
    const HiveContents seen = ReadHive(filePath_);
    if (!seen.readable)
        return false;
    if (!seen.corrupt && HasKeyPath(seen.keys, *parts, storedPath)) {
        key.open = true;
        key.path = std::move(storedPath);
        return true;
    }

    const QString lockPath = filePath_ + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!TakeLock(lock, lockPath))
        return false;
    const HiveContents hive = ReadHive(filePath_);
    if (!hive.readable)
        return false;
    if (!hive.corrupt && HasKeyPath(hive.keys, *parts, storedPath)) {
        key.open = true;
        key.path = std::move(storedPath);
        return true;
    }
    QJsonObject keys = hive.keys;
    storedPath = EnsureKey(keys, *parts);
    if (!WriteHive(filePath_, hive, keys))
        return false;
    key.open = true;
    key.path = std::move(storedPath);
    return true;
}

bool RegistryHive::OpenKey(std::string_view path, RegistryKeyHandle& key) {
    key = RegistryKeyHandle{};
    const auto parts = SplitKeyPath(path);
    if (!parts || !HiveWritable())
        return false;
    const HiveContents hive = ReadHive(filePath_);
    if (!hive.readable)
        return false;
    std::string storedPath;
    if (!HasKeyPath(hive.keys, *parts, storedPath))
        return false;
    key.open = true;
    key.path = std::move(storedPath);
    return true;
}

bool RegistryHive::QueryValue(const RegistryKeyHandle& key, std::string_view name,
                              RegistryValueType& type, std::string& data) const {
    if (!key.open)
        return false;
    const HiveContents hive = ReadHive(filePath_);
    if (!hive.readable)
        return false;
    const auto keyName = FindMember(hive.keys, key.path);
    if (!keyName)
        return false;
    const QJsonObject values = hive.keys.value(*keyName).toObject();
    const auto valueName = FindMember(values, name);
    if (!valueName)
        return false;
    DecodeValue(values.value(*valueName), type, data);
    return true;
}

bool RegistryHive::SetValue(const RegistryKeyHandle& key, std::string_view name,
                            RegistryValueType type, std::string_view data) {
    if (!key.open)
        return false;
    const auto entry = EncodeValue(type, data);
    if (!entry || !HiveWritable())
        return false;
    const auto parts = SplitKeyPath(key.path);
    if (!parts)
        return false;

    const QString lockPath = filePath_ + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!TakeLock(lock, lockPath))
        return false;
    const HiveContents hive = ReadHive(filePath_);
    if (!hive.readable)
        return false;
    QJsonObject keys = hive.keys;
    // The key is put back if the file lost it since it was opened.
    const QString keyName = ToQt(EnsureKey(keys, *parts));
    QJsonObject values = keys.value(keyName).toObject();
    const auto existing = FindMember(values, name);
    values.insert(existing ? *existing : ToQt(name), *entry);
    keys.insert(keyName, values);
    return WriteHive(filePath_, hive, keys);
}

void RegistryHive::CloseKey(RegistryKeyHandle& key) {
    key = RegistryKeyHandle{};
}
