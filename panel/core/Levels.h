#pragma once

#include "LevelSetFile.h"

#include <array>
#include <cstdint>
#include <string>

// The panel's levels as the level set names them (1-based), and the distinct
// switchers they are on, in order of first appearance.
struct TLevels {
    int Count = 0;
    std::array<std::int32_t, 5> IP{};
    std::array<std::int32_t, 5> Address{};
    std::array<std::string, 5> Names;
    std::array<TColor, 5> Colors{};
    std::array<TColor, 5> TextColors{};
    int SwitcherCount = 0;
    std::array<std::int32_t, 4> SwitcherIP{};
};
