#include "settings/Settings.h"

#include <charconv>
#include <cstdint>
#include <stdexcept>

const std::string SettingsKey = "\\Software\\Velocitrix Website Optimizer";

namespace {

[[noreturn]] void Fail(const char* what, const std::string& name) {
    throw std::runtime_error(std::string(what) + " '" + name + "'");
}

// The decimal text as a signed 32-bit number; anything else is refused.
int ToInteger(const std::string& text) {
    int value = 0;
    const char* const first = text.data();
    const char* const last = first + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || end != last)
        throw std::runtime_error("'" + text + "' is not a valid integer value");
    return value;
}

} // namespace

bool RegistryAccessor::OpenKey(const std::string& key, bool canCreate) {
    CloseKey();
    std::string_view path = key;
    if (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    return canCreate ? hive_.CreateKey(path, key_) : hive_.OpenKey(path, key_);
}

void RegistryAccessor::CloseKey() {
    hive_.CloseKey(key_);
}

std::string RegistryAccessor::ReadString(const std::string& name) {
    RegistryValueType type = RegNone;
    std::string data;
    if (!hive_.QueryValue(key_, name, type, data) || data.empty())
        return {};
    if (type != RegSz && type != RegExpandSz)
        Fail("Invalid data type for", name);
    const std::size_t end = data.find('\0');
    if (end != std::string::npos)
        data.resize(end);
    return data;
}

int RegistryAccessor::ReadInteger(const std::string& name) {
    RegistryValueType type = RegNone;
    std::string data;
    if (!hive_.QueryValue(key_, name, type, data) || data.size() > 4)
        Fail("Failed to get data for", name);
    if (type != RegDword || data.size() != 4)
        Fail("Invalid data type for", name);
    std::uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = (bits << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(bits);
}

void RegistryAccessor::WriteString(const std::string& name, const std::string& value) {
    std::string data = value;
    data.push_back('\0');
    if (!hive_.SetValue(key_, name, RegSz, data))
        Fail("Failed to set data for", name);
}

void RegistryAccessor::WriteInteger(const std::string& name, int value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string data;
    for (int shift = 0; shift < 32; shift += 8)
        data.push_back(static_cast<char>((bits >> shift) & 0xFFu));
    if (!hive_.SetValue(key_, name, RegDword, data))
        Fail("Failed to set data for", name);
}

void WriteSetting(const std::string& subKey, const std::string& name, const std::string& value,
                  int kind) {
    RegistryAccessor registry;
    // Whether the key opened is not examined: a write into a key that did not
    // open is refused and reported as such.
    registry.OpenKey(SettingsKey + subKey, true);
    if (kind == StringSetting)
        registry.WriteString(name, value);
    else if (kind == IntegerSetting)
        registry.WriteInteger(name, ToInteger(value));
}

void ReadSetting(const std::string& subKey, const std::string& name, int kind,
                 std::string& result) {
    RegistryAccessor registry;
    registry.OpenKey(SettingsKey + subKey, true);
    if (kind == StringSetting)
        result = registry.ReadString(name);
    else if (kind == IntegerSetting)
        result = std::to_string(registry.ReadInteger(name));
}
