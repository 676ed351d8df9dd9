#include "Swp08Codec.h"

#include <algorithm>

namespace swp08 {

namespace {

// Data, count and checksum of the longest message, each byte doubled, and the
// DLE STX / DLE ETX around them.
constexpr std::size_t MaxFrameBytes = 2 * (255 + 2);

std::uint8_t Byte(std::string_view s, std::size_t i) {
    return static_cast<std::uint8_t>(s[i]);
}

} // namespace

std::string Frame(std::string_view message) {
    std::string body(message);
    const auto count = static_cast<std::uint8_t>(message.size());
    unsigned sum = count;
    for (char c : message)
        sum += static_cast<std::uint8_t>(c);
    body += static_cast<char>(count);
    body += static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF);
    std::string out = {Dle, Stx};
    for (char c : body) {
        out += c;
        if (c == Dle)
            out += Dle;
    }
    out += Dle;
    out += Etx;
    return out;
}

void TDeframer::Feed(std::string_view bytes, std::vector<TEvent>& out) {
    for (char c : bytes) {
        if (FDle) {
            FDle = false;
            if (c == Stx) { // a start always starts a frame: the resynchronisation point
                if (FInFrame)
                    out.push_back({TEvent::TType::Bad, {}});
                FFrame.clear();
                FInFrame = true;
            } else if (!FInFrame) {
                if (c == AckByte)
                    out.push_back({TEvent::TType::Ack, {}});
                else if (c == NakByte)
                    out.push_back({TEvent::TType::Nak, {}});
            } else if (c == Etx) {
                FInFrame = false;
                End(out);
            } else if (c == Dle) {
                FFrame += Dle;
            } else {
                out.push_back({TEvent::TType::Bad, {}}); // DLE and anything else
                FInFrame = false;
            }
        } else if (c == Dle) {
            FDle = true;
            continue;
        } else if (FInFrame) {
            FFrame += c;
        }
        if (FInFrame && FFrame.size() > MaxFrameBytes) {
            out.push_back({TEvent::TType::Bad, {}});
            FInFrame = false;
            FFrame.clear();
        }
    }
}

void TDeframer::End(std::vector<TEvent>& out) {
    const std::string_view f = FFrame;
    bool good = f.size() >= 3 && Byte(f, f.size() - 2) == f.size() - 2;
    if (good) {
        unsigned sum = 0;
        for (char c : f)
            sum += static_cast<std::uint8_t>(c);
        good = (sum & 0xFF) == 0;
    }
    if (good)
        out.push_back({TEvent::TType::Message, std::string(f.substr(0, f.size() - 2))});
    else
        out.push_back({TEvent::TType::Bad, {}});
    FFrame.clear();
}

bool ParseCrosspoint(std::string_view data, TCrosspoint& x) {
    if (data.size() < 4)
        return false;
    const std::uint8_t ml = Byte(data, 0), mult = Byte(data, 1);
    x.Matrix = ml >> 4;
    x.Level = ml & 0x0F;
    x.Destination = ((mult >> 4) & 0x07) * 128 + (Byte(data, 2) & 0x7F);
    x.Source = (mult & 0x07) * 128 + (Byte(data, 3) & 0x7F);
    return true;
}

std::string Crosspoint(std::uint8_t command, const TCrosspoint& x) {
    return {static_cast<char>(command), static_cast<char>((x.Matrix << 4) | (x.Level & 0x0F)),
            static_cast<char>(((x.Destination / 128) & 0x07) << 4 | ((x.Source / 128) & 0x07)),
            static_cast<char>(x.Destination % 128), static_cast<char>(x.Source % 128)};
}

std::string Protect(std::uint8_t command, const TCrosspoint& x, int details) {
    std::string m = Crosspoint(command, x);
    m.insert(m.begin() + 2, static_cast<char>(details));
    return m;
}

std::string FixedName(std::string_view utf8, std::size_t width) {
    std::string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<std::uint8_t>(utf8[i]);
        std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        n = std::min(n, utf8.size() - i);
        if (out.size() + n > width)
            break;
        if (n == 1)
            out += (c < 0x20 || c == 0x7F || c >= 0x80) ? ' ' : static_cast<char>(c);
        else
            out.append(utf8.substr(i, n));
        i += n;
    }
    out.resize(width, ' ');
    return out;
}

std::size_t NameWidth(int code) {
    return code == 0 ? 4 : code == 1 ? 8 : code == 2 ? 12 : 0;
}

int NamesPerMessage(std::size_t width) {
    return width == 4 ? 32 : width == 8 ? 16 : 10;
}

} // namespace swp08
