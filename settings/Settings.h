#pragma once
// The settings store: this program's key below HKEY_CURRENT_USER in the per-user
// registry hive, the registry accessor the settings steps use, and the two small
// operations that write and read one value below the program's key.

#include "platform/RegistryHive.h"

#include <string>
#include <utility>

// The program's key; the leading backslash makes it start at the hive root.
extern const std::string SettingsKey; // "\Software\Velocitrix Website Optimizer"

// A registry accessor rooted at HKEY_CURRENT_USER, made for one operation: it
// opens one key (always with full access), reads or writes its values and closes
// the key when it is closed or discarded.
class RegistryAccessor {
public:
    RegistryAccessor() = default;
    explicit RegistryAccessor(QString hiveFile) : hive_(std::move(hiveFile)) {}
    ~RegistryAccessor() { CloseKey(); }
    RegistryAccessor(const RegistryAccessor&) = delete;
    RegistryAccessor& operator=(const RegistryAccessor&) = delete;

    // Opens key (a leading "\" starts at the root), creating it and its missing
    // parents when canCreate. Returns whether the key is open.
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();
    bool KeyOpen() const { return key_.open; }

    // A string value: "" for a missing value, a key that is not open or data of
    // length 0; REG_SZ and REG_EXPAND_SZ (not expanded) end at their first zero
    // byte; any other type throws "Invalid data type for '<name>'".
    std::string ReadString(const std::string& name);
    // An integer value: a missing value, a key that is not open or data longer
    // than four bytes throw "Failed to get data for '<name>'"; four bytes or
    // fewer of another type than REG_DWORD throw "Invalid data type for '<name>'".
    int ReadInteger(const std::string& name);
    // A REG_SZ value (with its terminating zero) / a REG_DWORD value; a refused
    // write throws "Failed to set data for '<name>'".
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int value);

private:
    RegistryHive hive_;
    RegistryKeyHandle key_;
};

// Value kinds of WriteSetting and ReadSetting.
enum SettingKind : int { StringSetting = 0, IntegerSetting = 1 };

// Writes a value below SettingsKey + subKey (the key is created when missing).
// kind 0: the text as a string value; kind 1: the text, a decimal number, as an
// integer value; any other kind writes nothing. Throws the accessor's errors.
void WriteSetting(const std::string& subKey, const std::string& name, const std::string& value,
                  int kind);
// Reads a value below SettingsKey + subKey (the key is created when missing).
// kind 0: the string value; kind 1: the integer value as decimal text; any other
// kind leaves result untouched. Throws the accessor's errors.
void ReadSetting(const std::string& subKey, const std::string& name, int kind, std::string& result);
