#pragma once

#include <cstddef>

// An index into a std::array or std::vector from the int the code counts
// inputs, outputs, levels and switchers with (never negative where used).
constexpr std::size_t Ix(int i) {
    return static_cast<std::size_t>(i);
}
