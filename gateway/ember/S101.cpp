#include "S101.h"

#include <algorithm>
#include <array>

namespace s101 {

namespace {

constexpr char Bof = '\xFE', Eof = '\xFF', Escape = '\xFD';
constexpr std::uint8_t FirstSpecial = 0xF8;
constexpr std::uint8_t MessageType = 0x0E, Version = 0x01, GlowDtd = 0x01;
constexpr std::uint8_t FlagFirst = 0x80, FlagLast = 0x40, FlagEmpty = 0x20;
// Glow DTD 2.31: minor, then major.
constexpr char AppBytes[] = {'\x02', '\x1F', '\x02'};
// What the CRC of a frame with its own CRC appended always comes to.
constexpr std::uint16_t GoodResidue = 0xF0B8;

constexpr std::array<std::uint16_t, 256> CrcTable = [] {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int b = 0; b < 8; ++b)
            c = (c & 1) ? (c >> 1) ^ 0x8408 : c >> 1;
        t[i] = static_cast<std::uint16_t>(c);
    }
    return t;
}();

std::uint16_t RawCrc(std::string_view bytes) {
    std::uint16_t crc = 0xFFFF;
    for (char c : bytes)
        crc = static_cast<std::uint16_t>((crc >> 8) ^
                                         CrcTable[(crc ^ static_cast<std::uint8_t>(c)) & 0xFF]);
    return crc;
}

std::string Frame(std::string_view body) {
    const std::uint16_t crc = Crc(body);
    std::string raw(body);
    raw += static_cast<char>(crc & 0xFF);
    raw += static_cast<char>(crc >> 8);
    std::string out(1, Bof);
    out.reserve(raw.size() + raw.size() / 8 + 2);
    for (char c : raw) {
        if (static_cast<std::uint8_t>(c) >= FirstSpecial) {
            out += Escape;
            out += static_cast<char>(c ^ 0x20);
        } else {
            out += c;
        }
    }
    out += Eof;
    return out;
}

std::string Header(TCommand command) {
    return {'\0', static_cast<char>(MessageType), static_cast<char>(command),
            static_cast<char>(Version)};
}

} // namespace

std::uint16_t Crc(std::string_view bytes) {
    return static_cast<std::uint16_t>(~RawCrc(bytes));
}

std::string EncodeMessage(std::string_view payload) {
    std::string out;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(PacketBytes, payload.size() - at);
        std::uint8_t flags = 0;
        if (at == 0)
            flags |= FlagFirst;
        if (at + n == payload.size())
            flags |= FlagLast;
        std::string body = Header(TCommand::Ember);
        body += static_cast<char>(flags);
        body += static_cast<char>(GlowDtd);
        body.append(AppBytes, sizeof AppBytes);
        body.append(payload.substr(at, n));
        out += Frame(body);
        at += n;
    } while (at < payload.size());
    return out;
}

std::string KeepAliveRequest() {
    return Frame(Header(TCommand::KeepAliveRequest));
}

std::string KeepAliveResponse() {
    return Frame(Header(TCommand::KeepAliveResponse));
}

bool TDeframer::Feed(std::string_view bytes, std::vector<TMessage>& out) {
    for (char c : bytes) {
        if (c == Bof) {
            if (FInFrame)
                ++FDropped; // a frame cut short by the next one
            FFrame.clear();
            FInFrame = true;
            FEscape = false;
            continue;
        }
        if (!FInFrame)
            continue; // between frames: resynchronise at the next start
        if (c == Eof) {
            FInFrame = false;
            if (!EndFrame(out))
                return false;
            continue;
        }
        if (c == Escape) {
            FEscape = true;
            continue;
        }
        if (static_cast<std::uint8_t>(c) >= FirstSpecial) {
            // An unescaped special byte inside a frame: the frame is broken.
            ++FDropped;
            FInFrame = false;
            continue;
        }
        FFrame += FEscape ? static_cast<char>(c ^ 0x20) : c;
        FEscape = false;
        // Header, CRC and a little slack over the message limit.
        if (FFrame.size() > FMaxMessage + 32)
            return false;
    }
    return true;
}

bool TDeframer::EndFrame(std::vector<TMessage>& out) {
    const std::string_view f = FFrame;
    if (f.size() < 6 || RawCrc(f) != GoodResidue ||
        static_cast<std::uint8_t>(f[1]) != MessageType) {
        ++FDropped;
        return true;
    }
    const auto command = static_cast<TCommand>(f[2]);
    const std::string_view body = f.substr(0, f.size() - 2);
    if (command == TCommand::KeepAliveRequest || command == TCommand::KeepAliveResponse) {
        out.push_back({command, {}});
        return true;
    }
    // EmBER: header, flags, DTD, application bytes, payload.
    if (command != TCommand::Ember || body.size() < 7 ||
        static_cast<std::size_t>(static_cast<std::uint8_t>(body[6])) > body.size() - 7) {
        ++FDropped;
        return true;
    }
    const auto flags = static_cast<std::uint8_t>(body[4]);
    const std::string_view payload = body.substr(7 + static_cast<std::uint8_t>(body[6]));
    if (static_cast<std::uint8_t>(body[5]) != GlowDtd || (flags & FlagEmpty)) {
        ++FDropped;
        return true;
    }
    if (flags & FlagFirst) {
        if (FInMessage)
            ++FDropped; // an unfinished message is given up for a new one
        FMessage.clear();
        FInMessage = true;
    } else if (!FInMessage) {
        ++FDropped; // a middle or last packet without its first
        return true;
    }
    if (FMessage.size() + payload.size() > FMaxMessage)
        return false;
    FMessage.append(payload);
    if (flags & FlagLast) {
        out.push_back({TCommand::Ember, std::move(FMessage)});
        FMessage.clear();
        FInMessage = false;
    }
    return true;
}

} // namespace s101
