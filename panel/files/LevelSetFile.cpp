#include "LevelSetFile.h"

#include "IniFile.h"

#include <algorithm>

std::vector<TSettingsItem> ReadLevelSet(const std::string& fileName, std::string* error) {
    TIniFile ini(fileName);
    if (!ini.Load() && error)
        *error = ini.LastError();
    const int count = std::min(ini.ReadInteger("OPTIONS", "COUNT", 0), MaxLevels);
    std::vector<TSettingsItem> levels;
    for (int n = 1; n <= count; ++n) {
        const std::string section = "LEVEL" + std::to_string(n);
        const char* s = section.c_str();
        TSettingsItem item;
        item.Address = ini.ReadInteger(s, "ADDRESS", 1);
        if (item.Address < 1 || item.Address > MaxLevels)
            item.Address = 1;
        item.IP = ini.ReadInteger(s, "IP", 0);
        item.Name = ini.ReadString(s, "NAME", section);
        item.Color = static_cast<TColor>(ini.ReadInteger(s, "COLOR", 16777215));
        item.TextColor = static_cast<TColor>(ini.ReadInteger(s, "TEXTCOLOR", 0));
        levels.push_back(std::move(item));
    }
    return levels;
}

bool WriteLevelSet(const std::string& fileName, const std::vector<TSettingsItem>& levels) {
    // A fresh document replaces the old file in one rename: nothing of the
    // previous level set survives, and a failed write leaves it intact.
    TIniFile ini(fileName);
    const int count = std::min(static_cast<int>(levels.size()), MaxLevels);
    ini.WriteInteger("OPTIONS", "COUNT", count);
    for (int i = 0; i < count; ++i) {
        const std::string section = "LEVEL" + std::to_string(i + 1);
        const char* s = section.c_str();
        const TSettingsItem& item = levels[static_cast<std::size_t>(i)];
        ini.WriteInteger(s, "ADDRESS", item.Address);
        ini.WriteString(s, "NAME", item.Name);
        ini.WriteInteger(s, "IP", item.IP);
        ini.WriteInteger(s, "COLOR", static_cast<std::int32_t>(item.Color));
        ini.WriteInteger(s, "TEXTCOLOR", static_cast<std::int32_t>(item.TextColor));
    }
    return ini.Save();
}
