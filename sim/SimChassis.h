#pragma once

#include "SimFrame.h"

#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace sim {

struct TChassisConfig {
    QHostAddress Address{QHostAddress::LocalHost};
    quint16 Port = 10004;
    QList<int> Levels{1}; // level addresses 1..4 carried by this chassis
    int Inputs = 16;      // 1..256
    int Outputs = 16;     // 1..256
};

enum class TFault {
    Silent,           // read the request, never answer
    Delay,            // answer after P1 ms
    CloseMidReply,    // send the first 3 bytes of the reply, then close
    HalfReply,        // send half of the reply, then stay silent
    WrongCommand,     // echo command + 1
    WrongMarker,      // word 2 of the reply xor 1 (129 -> 128, 112 -> 113)
    WordOverride,     // reply word P1 := P2 (checksum kept right)
    Truncate,         // reply N := P1, data cut or padded with zeros
    OversizedLength,  // word 0 := P1 (default 16384), rest of the reply as it is
    Garbage,          // P1 bytes (default 16) of noise instead of the reply
    BadChecksum,      // checksum word + 1
    UndefinedCommand, // [2][0][ks]
    ErrorReply,       // [3][command][99][ks]
    ZeroLength,       // a reply of N = 0: the two bytes 00 00 and nothing else
    Trickle,          // the whole reply, one byte every P1 ms (default 5)
    Flood,            // word 0 := P1 (default 65535), then P2 bytes (default 131070) of 0xAA
    BadWords,         // state: every cross-point and monitor word := P1 (default 0x7FFF);
                      // configuration: the reference name without a zero byte
    ExtraFrame,       // the reply, then an unsolicited frame [2][P1 or the command][112]
    SizeFlip,         // configuration: every other reply reports one input and output less
};

// The fault kinds by the names the command line uses, in the enum's order,
// with a note for those whose effect the name alone does not tell.
struct TFaultKind {
    TFault Kind;
    const char* Name;
    const char* Note;
};
const std::vector<TFaultKind>& FaultKinds();
const char* FaultName(TFault kind);
// False for a name no kind has.
bool ParseFaultName(const std::string& name, TFault& kind);

// What happens to a new connection.
enum class TAcceptMode { Normal, Close, Reset };

// Marker of the utility's error reply as this device sends it.
constexpr std::uint16_t ErrorReplyMarker = 99;

struct TFaultRule {
    int Command = 0; // 0: any command
    TFault Kind = TFault::Silent;
    int Remaining = -1; // replies still affected; -1 persistent
    int P1 = 0;
    int P2 = 0;
};

struct TLevelState {
    int Address = 1;
    std::array<int, 256> Crosspoint{}; // 0-based input per output
    std::array<bool, 256> Locked{};
    std::array<int, 256> Preset{}; // loaded preset table, 0-based inputs
    int PresetCount = 0;           // outputs carried by the last preset table
    int Monitor = 0;               // 0-based monitored output
};

struct THdmi {
    std::uint16_t StandardCode = 5;
    QByteArray StandardName = "1080i50";
    std::uint16_t Groups = 0x3;
    std::array<std::uint16_t, 2> MeterOn{1, 0};
    std::array<std::uint16_t, 2> MeterGroup{0, 1};
    std::array<std::uint16_t, 2> MeterSlider{20, 20};
    std::uint16_t SliderMax = 40;
    std::uint16_t ScaleMode = 0;
    std::uint16_t DbfsRef = 18;
    std::uint16_t DbuRef = 4;
    std::uint16_t StreamMode = 0;
};

// Health words as the configuration reply carries them (bit 15 = alarm).
struct THealth {
    std::uint16_t RefState = 1;
    QByteArray RefName = "BLACK BURST";
    std::uint16_t Psu1Present = 1, Psu2Present = 1;
    std::uint16_t Voltage = 1200, Psu1Current = 310, Psu2Current = 295;
    std::uint16_t Temperature = 412, FanSpeed = 2400;
};

// Values of one SFP slot set from outside; unset fields keep the generated ones.
struct TSfpSlot {
    std::optional<int> Type, Power, Wavelength;
    std::optional<QByteArray> Name;
};

// Request frames kept for inspection, per chassis: the oldest go first.
constexpr int MaxKeptRequests = 10000;

// One emulated switcher chassis. It lives in the simulator's thread; every
// public operation may be called from any thread.
class TChassis : public QObject {
    Q_OBJECT
public:
    explicit TChassis(const TChassisConfig& config);
    ~TChassis() override;

    bool Listen();
    QString ErrorString() const;
    const TChassisConfig& Config() const { return FConfig; }

    // Faults.
    void AddFault(const TFaultRule& rule);
    void ClearFaults();
    void SetRefusing(bool refusing);
    // Accept connections and then close them at once, or reset them.
    void SetAcceptMode(TAcceptMode mode);

    // Changes by "another operator" or the hardware.
    void ExternalRoute(int levelAddress, int output, int input);
    void ExternalToggleLock(int levelAddress, int output);
    void ExternalMonitor(int levelAddress, int output);
    void SetHealth(const std::function<void(THealth&)>& change);
    void SetHdmi(const std::function<void(THdmi&)>& change);
    // Word `word` (2..35) of the power-supply reply (command 102) := value; a
    // value below 0 returns the word to its generated value.
    void SetPowerWord(int word, int value);
    void SetSfpSlot(bool transmit, int slot, const std::function<void(TSfpSlot&)>& change);

    // Answers every complete request frame at the front of buffer as it would
    // for a new client, without a connection and without faults.
    QList<simframe::Words> Serve(QByteArray& buffer);

    // Inspection.
    int Crosspoint(int levelAddress, int output) const;
    bool Locked(int levelAddress, int output) const;
    int Monitor(int levelAddress) const;
    THdmi Hdmi() const;
    QList<simframe::Words> Requests() const;
    void ClearRequests();
    // The requests so far, and none kept: one step, so a request arriving
    // meanwhile is neither lost nor returned twice.
    QList<simframe::Words> TakeRequests();
    int ClientCount() const;

private:
    struct TClient {
        QTcpSocket* Socket;
        QByteArray Buffer;
        bool StateChanged = true;
        bool HdmiChanged = true;
    };

    void OnNewConnection();
    void OnReadyRead(QTcpSocket* socket);
    void RunInOwnThread(const std::function<void()>& f);
    TClient* ClientOf(QTcpSocket* socket);
    simframe::Words Answer(TClient& client, const simframe::Words& request);
    void Send(QTcpSocket* socket, int command, simframe::Words body);
    TLevelState* Level(int address);
    const TLevelState* Level(int address) const;
    void MarkStateChanged();
    void MarkHdmiChanged();
    simframe::Words UtilityPower() const;
    simframe::Words UtilitySfp(bool transmit) const;

    TChassisConfig FConfig;
    QTcpServer* FServer;
    mutable QMutex FLock;
    std::vector<TLevelState> FLevels;
    THdmi FHdmi;
    THealth FHealth;
    QList<TClient> FClients;
    QList<TFaultRule> FFaults;
    QList<simframe::Words> FRequests;
    std::map<int, int> FPowerWords;
    std::array<std::array<TSfpSlot, 32>, 2> FSfpSlots;
    bool FRefusing = false;
    TAcceptMode FAcceptMode = TAcceptMode::Normal;
    int FSizeFlips = 0;
    QString FError;
};

} // namespace sim
