#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// S101, the framing Ember+ runs over TCP: a frame from 0xFE to 0xFF, bytes
// from 0xF8 up escaped as 0xFD and the byte XOR 0x20, a CRC-16 (CCITT,
// reflected, inverted) before the end. An EmBER message may span several
// frames (first, middle, last). Plain C++, fuzzed.
namespace s101 {

enum class TCommand : std::uint8_t {
    Ember = 0x00,
    KeepAliveRequest = 0x01,
    KeepAliveResponse = 0x02
};

// Frame payloads are split at this size when sent.
constexpr std::size_t PacketBytes = 1024;

// The CRC over `bytes` as it is sent: inverted, low byte first on the wire.
std::uint16_t Crc(std::string_view bytes);

// One message as frames: a Glow payload (in as many frames as PacketBytes needs).
std::string EncodeMessage(std::string_view payload);
std::string KeepAliveRequest();
std::string KeepAliveResponse();

struct TMessage {
    TCommand Command = TCommand::Ember;
    // The whole Glow payload (EmBER messages only).
    std::string Payload;
};

// Splits a peer's bytes into messages. Frames with a bad CRC or header are
// dropped (counted); a frame or a multi-frame message beyond maxMessage bytes
// means the peer is to be dropped.
class TDeframer {
public:
    explicit TDeframer(std::size_t maxMessage) : FMaxMessage(maxMessage) {}

    // Appends the messages `bytes` completes; false when a message grew beyond the limit.
    bool Feed(std::string_view bytes, std::vector<TMessage>& out);
    std::size_t Dropped() const { return FDropped; }

private:
    bool EndFrame(std::vector<TMessage>& out);

    std::size_t FMaxMessage;
    std::string FFrame;
    std::string FMessage;
    bool FInFrame = false, FEscape = false, FInMessage = false;
    std::size_t FDropped = 0;
};

} // namespace s101
