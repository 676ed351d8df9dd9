#include "Ber.h"

namespace ber {

namespace {

constexpr std::size_t MaxLengthBytes = 4;

std::string TagBytes(TTag tag, bool constructed) {
    const auto first =
        static_cast<char>((static_cast<unsigned>(tag.Class) << 6) | (constructed ? 0x20u : 0u));
    if (tag.Number < 31)
        return std::string(1, static_cast<char>(first | static_cast<char>(tag.Number)));
    std::string rest;
    for (std::uint32_t n = tag.Number; n > 0; n >>= 7)
        rest.insert(rest.begin(), static_cast<char>((n & 0x7F) | (rest.empty() ? 0 : 0x80)));
    return static_cast<char>(first | 0x1F) + rest;
}

class TDecoder {
public:
    TDecoder(std::string_view bytes, const TLimits& limits) : FBytes(bytes), FLimits(limits) {}

    // Elements from FPos up to `end` (or up to an end-of-contents when indefinite).
    bool Elements(std::size_t end, bool indefinite, int depth, std::vector<TElement>& out) {
        if (depth > FLimits.MaxDepth)
            return Fail("nested too deep");
        while (FPos < end) {
            if (indefinite && end - FPos >= 2 && FBytes[FPos] == 0 && FBytes[FPos + 1] == 0) {
                FPos += 2;
                return true;
            }
            TElement e;
            if (!Element(end, depth, e))
                return false;
            out.push_back(std::move(e));
        }
        return !indefinite || Fail("an indefinite length without its end");
    }

    const std::string& Why() const { return FWhy; }

private:
    bool Fail(const char* why) {
        FWhy = why;
        return false;
    }

    bool Byte(std::size_t end, std::uint8_t& b) {
        if (FPos >= end)
            return Fail("truncated");
        b = static_cast<std::uint8_t>(FBytes[FPos++]);
        return true;
    }

    bool Element(std::size_t end, int depth, TElement& e) {
        if (++FCount > FLimits.MaxElements)
            return Fail("too many elements");
        std::uint8_t b = 0;
        if (!Byte(end, b))
            return false;
        e.Tag.Class = static_cast<TClass>(b >> 6);
        e.Constructed = (b & 0x20) != 0;
        e.Tag.Number = b & 0x1F;
        if (e.Tag.Number == 0x1F) {
            e.Tag.Number = 0;
            for (int i = 0;; ++i) {
                if (i == 4 || !Byte(end, b))
                    return i == 4 ? Fail("a tag number too large") : false;
                e.Tag.Number = (e.Tag.Number << 7) | (b & 0x7Fu);
                if ((b & 0x80) == 0)
                    break;
            }
        }
        if (!Byte(end, b))
            return false;
        if (b == 0x80) {
            if (!e.Constructed)
                return Fail("an indefinite length on a primitive element");
            const std::size_t start = FPos;
            if (!Elements(end, true, depth + 1, e.Children))
                return false;
            e.Value = FBytes.substr(start, FPos - start);
            return true;
        }
        std::size_t length = b;
        if (b & 0x80) {
            const std::size_t count = b & 0x7Fu;
            if (count > MaxLengthBytes)
                return Fail("a length of more than four bytes");
            length = 0;
            for (std::size_t i = 0; i < count; ++i) {
                if (!Byte(end, b))
                    return false;
                length = (length << 8) | b;
            }
        }
        if (length > end - FPos)
            return Fail("a length beyond the data");
        e.Value = FBytes.substr(FPos, length);
        if (!e.Constructed) {
            FPos += length;
            return true;
        }
        return Elements(FPos + length, false, depth + 1, e.Children);
    }

    std::string_view FBytes;
    const TLimits& FLimits;
    std::size_t FPos = 0;
    std::size_t FCount = 0;
    std::string FWhy;
};

bool Primitive(const TElement& e, std::uint32_t type) {
    return !e.Constructed && e.Tag == Universal(type);
}

} // namespace

std::string Length(std::size_t length) {
    if (length < 0x80)
        return std::string(1, static_cast<char>(length));
    std::string bytes;
    for (std::size_t n = length; n > 0; n >>= 8)
        bytes.insert(bytes.begin(), static_cast<char>(n & 0xFF));
    return static_cast<char>(0x80 | bytes.size()) + bytes;
}

std::string Tlv(TTag tag, bool constructed, std::string_view content) {
    std::string out = TagBytes(tag, constructed) + Length(content.size());
    out.append(content);
    return out;
}

std::string Integer(std::int64_t value) {
    // Two's complement, as few bytes as keep the sign.
    std::string bytes;
    auto v = static_cast<std::uint64_t>(value);
    do {
        bytes.insert(bytes.begin(), static_cast<char>(v & 0xFF));
        v = static_cast<std::uint64_t>(static_cast<std::int64_t>(v) >> 8);
    } while (bytes.size() < 8 && !((v == 0 && (bytes.front() & 0x80) == 0) ||
                                   (v == ~std::uint64_t{0} && (bytes.front() & 0x80) != 0)));
    return Tlv(Universal(type::Integer), false, bytes);
}

std::string Boolean(bool value) {
    return Tlv(Universal(type::Boolean), false, std::string(1, value ? '\xFF' : '\0'));
}

std::string Utf8(std::string_view text) {
    return Tlv(Universal(type::Utf8), false, text);
}

std::string RelativeOid(const std::vector<std::uint32_t>& ids) {
    std::string bytes;
    for (std::uint32_t id : ids) {
        std::string sub;
        for (std::uint32_t n = id;; n >>= 7) {
            sub.insert(sub.begin(), static_cast<char>((n & 0x7F) | (sub.empty() ? 0 : 0x80)));
            if (n < 0x80)
                break;
        }
        bytes += sub;
    }
    return Tlv(Universal(type::RelativeOid), false, bytes);
}

std::string Sequence(std::string_view content) {
    return Tlv(Universal(type::Sequence), true, content);
}

std::string Set(std::string_view content) {
    return Tlv(Universal(type::Set), true, content);
}

const TElement* TElement::Find(TTag tag) const {
    for (const TElement& c : Children)
        if (c.Tag == tag)
            return &c;
    return nullptr;
}

bool Decode(std::string_view bytes, std::vector<TElement>& out, const TLimits& limits,
            std::string* why) {
    TDecoder decoder(bytes, limits);
    std::vector<TElement> elements;
    if (!decoder.Elements(bytes.size(), false, 0, elements)) {
        if (why)
            *why = decoder.Why();
        return false;
    }
    out = std::move(elements);
    return true;
}

bool ReadInteger(const TElement& e, std::int64_t& value) {
    if (!Primitive(e, type::Integer) || e.Value.empty() || e.Value.size() > 8)
        return false;
    std::uint64_t v = (e.Value[0] & 0x80) ? ~std::uint64_t{0} : 0;
    for (char c : e.Value)
        v = (v << 8) | static_cast<std::uint8_t>(c);
    value = static_cast<std::int64_t>(v);
    return true;
}

bool ReadBoolean(const TElement& e, bool& value) {
    if (!Primitive(e, type::Boolean) || e.Value.size() != 1)
        return false;
    value = e.Value[0] != 0;
    return true;
}

bool ReadUtf8(const TElement& e, std::string& text) {
    if (!Primitive(e, type::Utf8))
        return false;
    text.assign(e.Value);
    return true;
}

bool ReadRelativeOid(const TElement& e, std::vector<std::uint32_t>& ids) {
    if (!Primitive(e, type::RelativeOid))
        return false;
    ids.clear();
    std::uint64_t n = 0;
    bool open = false;
    for (char c : e.Value) {
        const auto b = static_cast<std::uint8_t>(c);
        n = (n << 7) | (b & 0x7Fu);
        if (n > 0xFFFFFFFFu)
            return false;
        open = (b & 0x80) != 0;
        if (!open) {
            ids.push_back(static_cast<std::uint32_t>(n));
            n = 0;
        }
    }
    return !open;
}

} // namespace ber
