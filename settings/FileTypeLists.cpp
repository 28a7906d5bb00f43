#include "settings/FileTypeLists.h"

#include "settings/Settings.h"

std::string FileTypes;
std::string UncheckedTypes;

void ReadSavedOptions(SavedOptions& saved) {
    RegistryAccessor registry;
    registry.OpenKey(SettingsKey, false);
    const std::string recursiveText = registry.ReadString("recursive");
    const std::string sensitiveText = registry.ReadString("sensitive");
    saved.recursive = recursiveText == "yes";
    saved.sensitive = sensitiveText == "yes";
    saved.fileTypes = registry.ReadString("filetypes");
    saved.uncheckedTypes = registry.ReadString("unchecked");
    if (saved.fileTypes->empty() && saved.uncheckedTypes->empty())
        saved.fileTypes = DefaultTypeList;
    saved.keepPre = registry.ReadString("keeppre") == "yes";
    const std::string breaks = registry.ReadString("linebreaks");
    saved.lineBreaks = breaks == "lf"     ? LineBreakStyle::Lf
                       : breaks == "keep" ? LineBreakStyle::Keep
                                          : LineBreakStyle::CrLf;
}

void WriteSavedSwitches(const SavedSwitches& switches) {
    RegistryAccessor registry;
    if (!registry.OpenKey(SettingsKey, true))
        return;
    registry.WriteString("recursive", switches.recursive ? "yes" : "no");
    registry.WriteString("sensitive", switches.sensitive ? "yes" : "no");
    registry.WriteString("keeppre", switches.keepPre ? "yes" : "no");
    registry.WriteString("linebreaks", switches.lineBreaks == LineBreakStyle::Lf     ? "lf"
                                       : switches.lineBreaks == LineBreakStyle::Keep ? "keep"
                                                                                     : "crlf");
}

void WriteFileTypeLists() {
    RegistryAccessor registry;
    if (!registry.OpenKey(SettingsKey, true))
        return;
    registry.WriteString("filetypes", FileTypes);
    registry.WriteString("unchecked", UncheckedTypes);
}
