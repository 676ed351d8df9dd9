#pragma once

#include "TcpSocket.h"

#include <array>
#include <cstdint>
#include <string>

// Health values of one switcher; each measured word carries an alarm flag in bit 15.
struct TSwitcherStatus {
    std::uint16_t RefState = 0;
    std::string RefName;
    bool Psu1Present = false;
    bool Psu2Present = false;
    std::uint16_t Voltage = 0;     // volts x 100
    std::uint16_t Psu1Current = 0; // amperes x 100
    std::uint16_t Psu2Current = 0;
    std::uint16_t Temperature = 0; // degrees Celsius x 10
    std::uint16_t FanSpeed = 0;    // rpm

    bool operator==(const TSwitcherStatus&) const = default;
};

// HDMI monitor state of one switcher.
struct THdmiState {
    std::uint16_t StandardCode = 0;
    std::string StandardName;
    std::array<bool, 4> Groups{};
    bool Meter1On = false;
    std::uint16_t Meter1Group = 0;
    std::uint16_t Meter1Slider = 0;
    bool Meter2On = false;
    std::uint16_t Meter2Group = 0;
    std::uint16_t Meter2Slider = 0;
    std::uint16_t SliderMax = 0;
    std::uint16_t ScaleMode = 0; // 0 = dBFS, 1 = dBu
    std::uint16_t DbfsRef = 0;
    std::uint16_t DbuRef = 0;
    std::uint16_t StreamMode = 0; // 0 = stream 1, 1 = stream 2

    bool operator==(const THdmiState&) const = default;
};

// Configuration reply of one switcher.
struct TSwitcherConfig {
    bool StateChanged = false;
    bool HdmiChanged = false;
    int Inputs = 0;
    int Outputs = 0;
    int Clients = 0;
    TSwitcherStatus Status;
};

namespace port {
// Operation codes (status byte 0).
constexpr std::uint8_t OpConnect = 1, OpIdentify = 2, OpReadConfig = 4, OpReadState = 5,
                       OpSwitchOutputs = 7, OpSwitchMonitor = 8, OpLocks = 9, OpPresetTable = 11,
                       OpTakePreset = 12, OpReadHdmi = 13, OpSetHdmi = 14;
// Error codes (status byte 1).
constexpr std::uint8_t ErrNone = 0, ErrNoConnection = 1, ErrNoReply = 2, ErrBadReply = 3,
                       ErrBadSize = 5;
constexpr std::uint8_t Keep = 255; // SetPortStatus: leave this byte unchanged
constexpr std::uint16_t AckMarker = 112;
constexpr std::uint16_t IdentifyMarker = 129;
constexpr int BufferWords = 16384; // 32768 bytes
constexpr int TimeoutMs = 1000;
constexpr int DefaultPort = 10004;
} // namespace port

// One level entry of a switching command: a level address and an input or output index.
struct TLevelEntry {
    int Address;
    int Index;
};

// The connection to one switcher: framing, replies and the four status bytes
// (operation, error, detail, extra) that tell what it last did and how that ended.
class TSwitcherConnection {
public:
    TSwitcherConnection();
    ~TSwitcherConnection();
    TSwitcherConnection(const TSwitcherConnection&) = delete;
    TSwitcherConnection& operator=(const TSwitcherConnection&) = delete;

    std::string FHost = "127.0.0.1";
    int FPort = port::DefaultPort;

    bool Connect();
    bool Disconnect();
    // Takes over an already connected non-blocking socket (a socket pair in the
    // decoder fuzzer); any previous connection is closed.
    void Attach(TSocket socket);
    bool IsConnected() const { return FSocket != InvalidSocket; }
    void SetPortStatus(std::uint8_t operation, std::uint8_t error, std::uint8_t detail,
                       std::uint8_t extra);
    std::uint8_t ErrorCode() const { return FStatus[1]; }
    // Status as one 32-bit value, byte 0 (operation) least significant.
    std::uint32_t Status() const;

    // Sends words[0..N] with the checksum filled in (words are not changed).
    bool SendFrame(const std::uint16_t* words);
    // Receives one reply into the buffer; N is the word count it announced.
    bool ReceiveReply(int& n);

    // Commands.
    bool Identify(std::array<std::uint8_t, 8>& data);
    bool ReadConfig(TSwitcherConfig& config);
    bool ReadState();
    bool ReadHdmi(THdmiState& state);
    bool SetMeterOn(int channel, bool on);
    bool SetMeterGroup(int channel, int group);
    bool SetMeterSlider(int channel, int position);
    bool SetScaleMode(int mode);
    bool SetReference(int which, int position);
    bool SetStreamMode(int mode);
    bool SwitchOutputs(int output, int count, const TLevelEntry* entries);
    bool SwitchMonitor(int count, const TLevelEntry* entries);
    bool SendLocks(int output, int count, const int* addresses);
    bool SendPresetTable(int address, int outputs, const int* inputs);
    bool TakePreset(int count, const int* addresses);
    bool TakePresetIgnoreLocks(int count, const int* addresses);

    // The last reply: word k of it, or 0 when the reply did not carry word k.
    std::uint16_t ReplyWord(int k) const;
    int ReplyLength() const { return FReplyN; }

private:
    void SetError(std::uint8_t error, std::uint8_t detail);
    bool Exchange(int requestWords);
    // A command without data words: status, request, reply.
    bool Query(std::uint8_t operation, std::uint16_t command);
    bool SetHdmi(std::initializer_list<std::uint16_t> data);
    bool Switching(int requestN, bool detailIsAddress = false, std::uint8_t address = 0);
    bool Take(std::uint16_t sub, int count, const int* addresses);
    std::string ReplyText(int firstWord, int bytes) const;

    TSocket FSocket = InvalidSocket;
    std::array<std::uint8_t, 4> FStatus{};
    std::array<std::uint16_t, port::BufferWords> FBuffer{};
    int FReplyN = -1;
};
