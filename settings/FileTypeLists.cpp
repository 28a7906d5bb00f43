#include "settings/FileTypeLists.h"

#include "settings/Settings.h"

#include <QCheckBox>

std::string FileTypes;
std::string UncheckedTypes;

const std::string DefaultTypeList = "*.htm;*.html;*.php;*.php3;*.php4;*.asp;*.jsp;*.phtm;*.phtml;"
                                    "*.shtm;*.shtml;*.xhtm;*.xhtml;*.css;*.cgi;*.pl";

void ReadStartupOptions(QCheckBox& recursive, QCheckBox& sensitive) {
    {
        RegistryAccessor registry;
        registry.OpenKey(SettingsKey, false);
        const std::string recursiveText = registry.ReadString("recursive");
        const std::string sensitiveText = registry.ReadString("sensitive");
        recursive.setChecked(recursiveText == "yes");
        sensitive.setChecked(sensitiveText == "yes");
        FileTypes = registry.ReadString("filetypes");
        UncheckedTypes = registry.ReadString("unchecked");
    }
    // Nothing is written back: the lists reach the store only when the user
    // saves the file types window.
    if (FileTypes.empty() && UncheckedTypes.empty())
        FileTypes = DefaultTypeList;
}

void WriteShutdownOptions(const QCheckBox& recursive, const QCheckBox& sensitive) {
    RegistryAccessor registry;
    if (!registry.OpenKey(SettingsKey, true))
        return;
    registry.WriteString("recursive", recursive.isChecked() ? "yes" : "no");
    registry.WriteString("sensitive", sensitive.isChecked() ? "yes" : "no");
}

void WriteFileTypeLists() {
    RegistryAccessor registry;
    if (!registry.OpenKey(SettingsKey, true))
        return;
    registry.WriteString("filetypes", FileTypes);
    registry.WriteString("unchecked", UncheckedTypes);
}
