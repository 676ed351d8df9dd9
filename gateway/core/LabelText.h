#pragma once

#include <cstddef>
#include <string_view>

namespace gateway {

// The longest label a client may give, in bytes.
constexpr std::size_t MaxLabelBytes = 255;

// Text a label may carry: valid UTF-8 without control characters, at most maxBytes.
bool PlainText(std::string_view text, std::size_t maxBytes = MaxLabelBytes);

} // namespace gateway
