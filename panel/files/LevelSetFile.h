#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Colour value 0x00BBGGRR.
using TColor = std::uint32_t;

constexpr int MaxLevels = 4;

// One level of the level set file.
struct TSettingsItem {
    std::int32_t Address = 1;
    std::string Name;
    std::int32_t IP = 0;
    TColor Color = 16777215;
    TColor TextColor = 0;

    bool operator==(const TSettingsItem&) const = default;
};

// Reads the level set: OPTIONS/COUNT limited to 4, one record per LEVELn in
// order; ADDRESS outside 1..4 reads as 1, NAME defaults to the section name.
// A file that exists but cannot be read gives no levels and, in `error`, why.
std::vector<TSettingsItem> ReadLevelSet(const std::string& fileName, std::string* error = nullptr);
// Replaces the file with the given levels (at most 4 are written).
bool WriteLevelSet(const std::string& fileName, const std::vector<TSettingsItem>& levels);
