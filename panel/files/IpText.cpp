#include "IpText.h"

#include <charconv>
#include <vector>

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A part that is not a whole decimal number counts as 999, so it is rejected as a byte.
int PartValue(std::string_view part) {
    part = Trim(part);
    if (!part.empty() && part.front() == '+')
        part.remove_prefix(1);
    int value = 0;
    const auto* end = part.data() + part.size();
    auto [ptr, ec] = std::from_chars(part.data(), end, value);
    if (part.empty() || ec != std::errc() || ptr != end)
        return 999;
    return value;
}

} // namespace

std::int32_t ParseIP(std::string_view text, bool& ok) {
    ok = false;
    text = Trim(text);
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        parts.push_back(
            text.substr(start, dot == std::string_view::npos ? text.npos : dot - start));
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    if (parts.size() != 4)
        return 0;
    std::uint32_t packed = 0;
    bool valid = true;
    for (int k = 0; k < 4; ++k) {
        const int v = PartValue(parts[k]);
        if (v < 0 || v > 255)
            valid = false;
        // Once a part is invalid, it and every later byte stay 0.
        if (valid)
            packed |= static_cast<std::uint32_t>(v) << (8 * k);
    }
    ok = valid;
    return static_cast<std::int32_t>(packed);
}

std::string FormatIP(std::int32_t ip) {
    const auto u = static_cast<std::uint32_t>(ip);
    std::string s;
    for (int k = 0; k < 4; ++k) {
        if (k)
            s += '.';
        s += std::to_string((u >> (8 * k)) & 0xFF);
    }
    return s;
}
