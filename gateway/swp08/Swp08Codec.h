#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The general router protocol's framing and messages: DLE STX, the data, its
// byte count, a checksum (two's complement of the sum of data and count), DLE
// ETX, with every DLE inside doubled; each message acknowledged DLE ACK or
// DLE NAK. Plain C++, fuzzed.
namespace swp08 {

constexpr char Dle = 0x10, Stx = 0x02, Etx = 0x03, AckByte = 0x06, NakByte = 0x15;
const std::string Ack = {Dle, AckByte};
const std::string Nak = {Dle, NakByte};

// Command bytes the gateway answers or sends.
namespace cmd {
constexpr std::uint8_t Interrogate = 0x01, Connect = 0x02, Tally = 0x03, Connected = 0x04,
                       ProtectInterrogate = 0x0A, ProtectTally = 0x0B, ProtectConnect = 0x0C,
                       ProtectConnected = 0x0D, ProtectDisconnect = 0x0E,
                       ProtectDisconnected = 0x0F, TallyDumpRequest = 0x15, TallyDumpWord = 0x17,
                       CommandListRequest = 0x61, CommandList = 0x62, SourceNamesRequest = 0x64,
                       SourceNameRequest = 0x65, DestinationNamesRequest = 0x66,
                       DestinationNameRequest = 0x67, SourceNames = 0x6A, DestinationNames = 0x6B,
                       ConnectOnGo = 0x78, Go = 0x79, ConnectOnGoAck = 0x7A, GoDone = 0x7B;
}

// A message (command byte and its data) as framed on the wire.
std::string Frame(std::string_view message);

struct TEvent {
    enum class TType { Message, Bad, Ack, Nak } Type = TType::Message;
    std::string Message; // command byte first
};

// Splits a peer's bytes: whole messages, Bad for a frame with a wrong count or
// checksum or one that grew beyond any message (answered NAK; reading
// resumes at the next DLE STX), and the peer's own ACK and NAK.
class TDeframer {
public:
    void Feed(std::string_view bytes, std::vector<TEvent>& out);
    // Bytes held for an unfinished frame (bounded).
    std::size_t Pending() const { return FFrame.size(); }

private:
    void End(std::vector<TEvent>& out);

    std::string FFrame;
    bool FInFrame = false, FDle = false;
};

// The standard addressing: matrix and level in one byte, numbers up to 1,023
// as a multiple of 128 in a multiplier byte and the rest below 128.
struct TCrosspoint {
    int Matrix = 0, Level = 0, Destination = 0, Source = 0;
};
// Connect, tally, connected, connect-on-go: ML, multiplier, dest, source.
bool ParseCrosspoint(std::string_view data, TCrosspoint& x);
std::string Crosspoint(std::uint8_t command, const TCrosspoint& x);
// Protect messages: a device number where a source would be.
std::string Protect(std::uint8_t command, const TCrosspoint& x, int details);

// A name in a fixed width: cut at a UTF-8 character boundary, padded with
// spaces, control characters as spaces.
std::string FixedName(std::string_view utf8, std::size_t width);
// 4, 8 or 12 characters for length codes 0, 1, 2; 0 for another code.
std::size_t NameWidth(int code);
// How many names of that width one response carries.
int NamesPerMessage(std::size_t width);

} // namespace swp08
