#include "SwitcherConnection.h"

#include "RouterWords.h"

#include <algorithm>
#include <vector>

using namespace port;

namespace {

// Little-endian wire form of words[0..count-1].
void ToWire(const std::uint16_t* words, int count, std::uint8_t* bytes) {
    for (int i = 0; i < count; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(words[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
    }
}

void FromWire(const std::uint8_t* bytes, int count, std::uint16_t* words) {
    for (int i = 0; i < count; ++i)
        words[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

std::uint16_t W(int v) {
    return static_cast<std::uint16_t>(v);
}

} // namespace

TSwitcherConnection::TSwitcherConnection() = default;

TSwitcherConnection::~TSwitcherConnection() {
    Disconnect();
}

void TSwitcherConnection::SetPortStatus(std::uint8_t operation, std::uint8_t error,
                                        std::uint8_t detail, std::uint8_t extra) {
    const std::uint8_t v[4] = {operation, error, detail, extra};
    for (int i = 0; i < 4; ++i)
        if (v[i] != Keep)
            FStatus[static_cast<std::size_t>(i)] = v[i];
}

void TSwitcherConnection::SetError(std::uint8_t error, std::uint8_t detail) {
    // Written directly: a detail of 255 (N mod 256, a command word's low byte)
    // is a value here, not the "unchanged" of SetPortStatus.
    FStatus[1] = error;
    FStatus[2] = detail;
}

std::uint32_t TSwitcherConnection::Status() const {
    return FStatus[0] | (FStatus[1] << 8) | (FStatus[2] << 16) |
           (static_cast<std::uint32_t>(FStatus[3]) << 24);
}

bool TSwitcherConnection::Connect() {
    SetPortStatus(OpConnect, 0, 0, 0);
    if (IsConnected())
        return false;
    // Address 0 (no address in the level set) would reach whatever listens on
    // this machine: it fails at once like an unreachable switcher.
    if (SockPackAddress(FHost) == 0) {
        SockSetLastError(SockErrAddrNotAvail);
        SetPortStatus(Keep, ErrNoConnection, 0, 0);
        return false;
    }
    if (SockOpen(FSocket) && SockConnect(FSocket, FHost, FPort, TimeoutMs))
        return true;
    SockClose(FSocket);
    SetPortStatus(Keep, ErrNoConnection, 0, 0);
    return false;
}

void TSwitcherConnection::Attach(TSocket socket) {
    Disconnect();
    FSocket = socket;
}

bool TSwitcherConnection::Disconnect() {
    return SockClose(FSocket);
}

bool TSwitcherConnection::SendFrame(const std::uint16_t* words) {
    const int n = std::min<int>(words[0], BufferWords - 1);
    std::vector<std::uint16_t> copy(words, words + n + 1);
    copy[0] = W(n);
    std::uint16_t sum = 0;
    for (int i = 1; i < n; ++i)
        sum = static_cast<std::uint16_t>(sum + copy[static_cast<std::size_t>(i)]);
    copy[static_cast<std::size_t>(n)] = static_cast<std::uint16_t>(-sum);
    std::vector<std::uint8_t> bytes(2 * static_cast<std::size_t>(n) + 2);
    ToWire(copy.data(), n + 1, bytes.data());
    return SockSendAll(FSocket, bytes.data(), bytes.size(), TimeoutMs);
}

bool TSwitcherConnection::ReceiveReply(int& n) {
    FReplyN = -1;
    std::uint8_t head[2];
    if (!SockRecvAll(FSocket, head, 2, TimeoutMs)) {
        SetPortStatus(Keep, ErrNoReply, 1, Keep);
        return false;
    }
    FromWire(head, 1, &FBuffer[0]);
    n = FBuffer[0];
    // A reply longer than the buffer is refused unread; the stream is then out
    // of step and the caller's reconnect resynchronises it.
    if (n > BufferWords - 1) {
        SetPortStatus(Keep, ErrBadReply, 0, Keep);
        return false;
    }
    std::vector<std::uint8_t> bytes(2 * static_cast<std::size_t>(n));
    if (n > 0 && !SockRecvAll(FSocket, bytes.data(), bytes.size(), TimeoutMs)) {
        SetError(ErrNoReply, static_cast<std::uint8_t>(n % 256));
        return false;
    }
    FromWire(bytes.data(), n, &FBuffer[1]);
    FReplyN = n;
    return true;
}

std::uint16_t TSwitcherConnection::ReplyWord(int k) const {
    return (k >= 0 && k <= FReplyN) ? FBuffer[static_cast<std::size_t>(k)] : 0;
}

std::string TSwitcherConnection::ReplyText(int firstWord, int bytes) const {
    // Zero-terminated text starting at the low byte of firstWord, within its room
    // and within the reply; without a zero byte the whole room is taken.
    std::string s;
    for (int i = 0; i < bytes; ++i) {
        const int k = firstWord + i / 2;
        if (k > FReplyN)
            break;
        const auto c = static_cast<char>(i % 2 ? ReplyWord(k) >> 8 : ReplyWord(k) & 0xFF);
        if (c == 0)
            break;
        s += c;
    }
    return s;
}

bool TSwitcherConnection::Exchange(int requestWords) {
    FBuffer[0] = W(requestWords);
    SendFrame(FBuffer.data()); // a frame that fails to go out shows as a missing reply
    int n = 0;
    return ReceiveReply(n);
}

bool TSwitcherConnection::Query(std::uint8_t operation, std::uint16_t command) {
    SetPortStatus(operation, 0, 0, 0);
    FBuffer[1] = command;
    return Exchange(2);
}

bool TSwitcherConnection::Identify(std::array<std::uint8_t, 8>& data) {
    if (!Query(OpIdentify, routerword::Identify))
        return false;
    if (FReplyN != 7 || ReplyWord(1) != routerword::Identify || ReplyWord(2) != IdentifyMarker) {
        SetPortStatus(Keep, ErrBadReply, 0, Keep);
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        data[static_cast<std::size_t>(2 * i)] = static_cast<std::uint8_t>(ReplyWord(3 + i) & 0xFF);
        data[static_cast<std::size_t>(2 * i + 1)] =
            static_cast<std::uint8_t>(ReplyWord(3 + i) >> 8);
    }
    return true;
}

bool TSwitcherConnection::ReadConfig(TSwitcherConfig& config) {
    if (!Query(OpReadConfig, routerword::ReadConfig))
        return false;
    if (ReplyWord(1) != routerword::ReadConfig) {
        SetPortStatus(Keep, ErrBadReply, 0, Keep);
        return false;
    }
    // Words the reply does not carry read as 0: a reply too short for the sizes
    // fails the size check instead of taking values of an earlier reply.
    config.StateChanged = ReplyWord(3) != 0;
    config.HdmiChanged = ReplyWord(4) != 0;
    const int outputs = ReplyWord(5);
    const int inputs = ReplyWord(6);
    if (outputs < 1 || outputs > 256 || inputs < 1 || inputs > 256) {
        SetPortStatus(Keep, ErrBadSize, 0, Keep);
        return false;
    }
    config.Outputs = outputs;
    config.Inputs = inputs;
    config.Clients = ReplyWord(2);
    TSwitcherStatus& s = config.Status;
    s.RefState = ReplyWord(9);
    s.RefName = ReplyText(10, 18);
    s.Psu1Present = ReplyWord(19) != 0;
    s.Psu2Present = ReplyWord(20) != 0;
    s.Voltage = ReplyWord(21);
    s.Psu1Current = ReplyWord(22);
    s.Psu2Current = ReplyWord(23);
    s.Temperature = ReplyWord(24);
    s.FanSpeed = ReplyWord(25);
    return true;
}

bool TSwitcherConnection::ReadState() {
    if (!Query(OpReadState, routerword::ReadState))
        return false;
    if (ReplyWord(1) != routerword::ReadState || FReplyN < 4) {
        SetPortStatus(Keep, ErrBadReply, 0, Keep);
        return false;
    }
    return true;
}

bool TSwitcherConnection::ReadHdmi(THdmiState& state) {
    if (!Query(OpReadHdmi, routerword::ReadHdmi))
        return false;
    if (FReplyN != 24 || ReplyWord(1) != routerword::ReadHdmi) {
        SetPortStatus(Keep, ErrBadReply, 0, Keep);
        return false;
    }
    state.StandardCode = ReplyWord(2);
    state.StandardName = ReplyText(3, 18);
    for (int g = 0; g < 4; ++g)
        state.Groups[static_cast<std::size_t>(g)] = (ReplyWord(12) >> g) & 1;
    state.Meter1On = ReplyWord(13) != 0;
    state.Meter1Group = ReplyWord(14);
    state.Meter1Slider = ReplyWord(15);
    state.Meter2On = ReplyWord(16) != 0;
    state.Meter2Group = ReplyWord(17);
    state.Meter2Slider = ReplyWord(18);
    state.SliderMax = ReplyWord(19);
    state.ScaleMode = ReplyWord(20);
    state.DbfsRef = ReplyWord(21);
    state.DbuRef = ReplyWord(22);
    state.StreamMode = ReplyWord(23);
    return true;
}

// Checks the acknowledge of commands 4 and 5 in the order N, w1, marker.
bool TSwitcherConnection::Switching(int requestN, bool detailIsAddress, std::uint8_t address) {
    const std::uint16_t command = FBuffer[1];
    if (!Exchange(requestN))
        return false;
    if (FReplyN != 3 || ReplyWord(1) != command || ReplyWord(2) != AckMarker) {
        const auto detail =
            detailIsAddress ? address : static_cast<std::uint8_t>(ReplyWord(1) & 0xFF);
        SetError(ErrBadReply, detail);
        return false;
    }
    return true;
}

bool TSwitcherConnection::SetHdmi(std::initializer_list<std::uint16_t> data) {
    SetPortStatus(OpSetHdmi, 0, 0, 0);
    FBuffer[1] = routerword::SetHdmi;
    int k = 2;
    for (std::uint16_t v : data)
        FBuffer[static_cast<std::size_t>(k++)] = v;
    return Switching(k);
}

bool TSwitcherConnection::SetMeterOn(int channel, bool on) {
    return SetHdmi({routerword::HdmiMeterOn, W(channel), W(on ? 1 : 0)});
}
bool TSwitcherConnection::SetMeterGroup(int channel, int group) {
    return SetHdmi({routerword::HdmiMeterGroup, W(channel), W(group)});
}
bool TSwitcherConnection::SetMeterSlider(int channel, int position) {
    return SetHdmi({routerword::HdmiMeterSlider, W(channel), W(position)});
}
bool TSwitcherConnection::SetScaleMode(int mode) {
    return SetHdmi({routerword::HdmiScaleMode, W(mode)});
}
bool TSwitcherConnection::SetReference(int which, int position) {
    return SetHdmi({routerword::HdmiReference, W(which), W(position)});
}
bool TSwitcherConnection::SetStreamMode(int mode) {
    return SetHdmi({routerword::HdmiStreamMode, W(mode)});
}

bool TSwitcherConnection::SwitchOutputs(int output, int count, const TLevelEntry* entries) {
    SetPortStatus(OpSwitchOutputs, 0, 0, 0);
    count = std::clamp(count, 0, 4);
    FBuffer[1] = routerword::Switch;
    FBuffer[2] = routerword::SwitchOutputs;
    FBuffer[3] = W(output + 1);
    FBuffer[4] = W(count);
    for (int i = 0; i < count; ++i) {
        FBuffer[static_cast<std::size_t>(5 + 2 * i)] = W(entries[i].Address);
        FBuffer[static_cast<std::size_t>(6 + 2 * i)] = W(entries[i].Index + 1);
    }
    return Switching(2 * count + 5);
}

bool TSwitcherConnection::SwitchMonitor(int count, const TLevelEntry* entries) {
    SetPortStatus(OpSwitchMonitor, 0, 0, 0);
    count = std::clamp(count, 0, 4);
    FBuffer[1] = routerword::Switch;
    FBuffer[2] = routerword::SwitchMonitor;
    FBuffer[3] = W(count);
    for (int i = 0; i < count; ++i) {
        FBuffer[static_cast<std::size_t>(4 + 2 * i)] = W(entries[i].Address);
        FBuffer[static_cast<std::size_t>(5 + 2 * i)] = W(entries[i].Index + 1);
    }
    return Switching(2 * count + 4);
}

bool TSwitcherConnection::SendLocks(int output, int count, const int* addresses) {
    SetPortStatus(OpLocks, 0, 0, 0);
    count = std::clamp(count, 0, 4);
    FBuffer[1] = routerword::Switch;
    FBuffer[2] = routerword::ToggleLocks;
    FBuffer[3] = W(output + 1);
    FBuffer[4] = W(count);
    for (int i = 0; i < count; ++i)
        FBuffer[static_cast<std::size_t>(5 + i)] = W(addresses[i]);
    return Switching(count + 5);
}

bool TSwitcherConnection::SendPresetTable(int address, int outputs, const int* inputs) {
    const auto a = static_cast<std::uint8_t>(address);
    SetPortStatus(OpPresetTable, 0, 0, a);
    outputs = std::clamp(outputs, 0, 256);
    FBuffer[1] = routerword::Switch;
    FBuffer[2] = routerword::PresetTable;
    FBuffer[3] = W(address);
    for (int i = 0; i < outputs; ++i)
        FBuffer[static_cast<std::size_t>(4 + i)] = W(inputs[i] + 1);
    if (Switching(outputs + 4, true, a))
        return true;
    if (ErrorCode() == ErrBadReply)
        SetError(ErrBadReply, a);
    return false;
}

bool TSwitcherConnection::Take(std::uint16_t sub, int count, const int* addresses) {
    SetPortStatus(OpTakePreset, 0, 0, 0);
    count = std::clamp(count, 0, 4);
    FBuffer[1] = routerword::Switch;
    FBuffer[2] = sub;
    FBuffer[3] = W(count);
    for (int i = 0; i < count; ++i)
        FBuffer[static_cast<std::size_t>(4 + i)] = W(addresses[i]);
    return Switching(count + 4);
}

bool TSwitcherConnection::TakePreset(int count, const int* addresses) {
    return Take(routerword::TakePreset, count, addresses);
}
bool TSwitcherConnection::TakePresetIgnoreLocks(int count, const int* addresses) {
    return Take(routerword::TakePresetIgnoringLocks, count, addresses);
}
