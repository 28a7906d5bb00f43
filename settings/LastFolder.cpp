#include "settings/LastFolder.h"

#include "settings/Settings.h"

namespace {
const std::string kName = "lastfolder";
} // namespace

std::string ReadLastFolder() {
    RegistryAccessor registry;
    registry.OpenKey(SettingsKey, false);
    return registry.ReadString(kName);
}

void WriteLastFolder(const std::string& folder) {
    if (folder.empty())
        return;
    RegistryAccessor registry;
    if (registry.OpenKey(SettingsKey, true))
        registry.WriteString(kName, folder);
}
