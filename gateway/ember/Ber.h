#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The subset of ASN.1 BER that Ember+ uses: tags of any number, lengths in
// every form (short, long, indefinite), and the universal types its data
// carries. Encoding always writes definite lengths. Plain C++, fuzzed.
namespace ber {

enum class TClass : std::uint8_t { Universal = 0, Application = 1, Context = 2, Private = 3 };

struct TTag {
    TClass Class = TClass::Universal;
    std::uint32_t Number = 0;
    bool operator==(const TTag&) const = default;
};

constexpr TTag Universal(std::uint32_t n) {
    return {TClass::Universal, n};
}
constexpr TTag Application(std::uint32_t n) {
    return {TClass::Application, n};
}
constexpr TTag Context(std::uint32_t n) {
    return {TClass::Context, n};
}

namespace type {
constexpr std::uint32_t Boolean = 1, Integer = 2, OctetString = 4, Null = 5, Real = 9, Utf8 = 12,
                        RelativeOid = 13, Sequence = 16, Set = 17;
}

// Encoding.
std::string Length(std::size_t length);
std::string Tlv(TTag tag, bool constructed, std::string_view content);
inline std::string Constructed(TTag tag, std::string_view content) {
    return Tlv(tag, true, content);
}
std::string Integer(std::int64_t value);
std::string Boolean(bool value);
std::string Utf8(std::string_view text);
std::string RelativeOid(const std::vector<std::uint32_t>& ids);
std::string Sequence(std::string_view content);
std::string Set(std::string_view content);

// A decoded element; primitive contents point into the decoded bytes.
struct TElement {
    TTag Tag;
    bool Constructed = false;
    std::string_view Value;
    std::vector<TElement> Children;

    // The first child with this tag, or nullptr.
    const TElement* Find(TTag tag) const;
};

struct TLimits {
    int MaxDepth = 32;
    std::size_t MaxElements = 1 << 16;
};

// Decodes `bytes` as a series of elements; false with the reason on anything
// malformed, nested too deep or too many (nothing partial is kept then).
bool Decode(std::string_view bytes, std::vector<TElement>& out, const TLimits& limits,
            std::string* why);

// Typed reads of primitive universal elements; false on the wrong type or content.
bool ReadInteger(const TElement& e, std::int64_t& value);
bool ReadBoolean(const TElement& e, bool& value);
bool ReadUtf8(const TElement& e, std::string& text);
bool ReadRelativeOid(const TElement& e, std::vector<std::uint32_t>& ids);

} // namespace ber
