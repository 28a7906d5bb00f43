#pragma once
// The per-user registry hive: one JSON file that holds the keys and values this
// program keeps below HKEY_CURRENT_USER, with the five registry operations the
// settings need (create-or-open a key path, open an existing key, query a value,
// set a value, close).
//
// File: $XDG_CONFIG_HOME/velocitrix-website-optimizer/registry.json, laid out as
//   {"keys": {"Software\\Velocitrix Website Optimizer": {"recursive":
//       {"type": "REG_SZ", "data": "no"}, ...}, ...}}
// Keys are named by their full path below the hive root, components joined by one
// backslash, no leading backslash. Key and value names compare ignoring ASCII
// letter case and keep the case they were created with.
//
// Every write is a read-modify-write of the whole file under a lock file, written
// to a temporary file in the same directory and renamed over the hive, so a crash
// never leaves half a hive and two running programs never lose each other's
// writes. A hive that cannot be parsed is treated as empty and is kept aside as
// registry.json.bad before a new one is written; a file too large to be a hive
// (over 16 MiB) is neither read nor replaced. A hive file or directory that
// cannot be written makes every open fail, as a key opened with full access does
// when the user may not change it.

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

// Value types, numbered as the registry numbers them.
enum RegistryValueType : std::uint32_t {
    RegNone = 0, // a value whose stored form this program does not understand
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
};

// An open key: the path as stored in the hive. A default handle is not open.
struct RegistryKeyHandle {
    bool open = false;
    std::string path;
};

class RegistryHive {
public:
    // The user's hive, at the standard place.
    RegistryHive();
    // A hive in a file of its own choosing.
    explicit RegistryHive(QString filePath);

    // $XDG_CONFIG_HOME/velocitrix-website-optimizer/registry.json
    static QString DefaultFilePath();
    const QString& FilePath() const { return filePath_; }

    // Opens the key at path, creating it and every missing key above it.
    // path: components joined by "\"; "" is the hive root. Fails for an empty
    // component, when the hive cannot be written, or when the write fails.
    bool CreateKey(std::string_view path, RegistryKeyHandle& key);
    // Opens an existing key; fails when it is missing or the hive cannot be written.
    bool OpenKey(std::string_view path, RegistryKeyHandle& key);
    // A value's type and data as the registry gives them: REG_SZ and
    // REG_EXPAND_SZ with a terminating zero byte, REG_DWORD as four bytes, low
    // byte first, REG_BINARY as its bytes. Fails when the key is not open or the
    // value is missing.
    bool QueryValue(const RegistryKeyHandle& key, std::string_view name, RegistryValueType& type,
                    std::string& data) const;
    // Writes a value (data in the form QueryValue gives; a string's terminating
    // zero may be left out; a REG_DWORD takes exactly four bytes). Fails when the
    // key is not open, the type is not one of the four, or the hive cannot be written.
    bool SetValue(const RegistryKeyHandle& key, std::string_view name, RegistryValueType type,
                  std::string_view data);
    // Releases the handle. Nothing is flushed: every write is complete already.
    void CloseKey(RegistryKeyHandle& key);

private:
    bool HiveWritable() const;

    QString filePath_;
};
