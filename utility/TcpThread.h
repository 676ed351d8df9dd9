#pragma once

#include <QElapsedTimer>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <array>
#include <atomic>
#include <cstdint>

class QTcpSocket;

// The last reply of one command, as bytes and as the words made from them.
template <int Words> struct TReplyBuffer {
    std::array<std::uint8_t, 2 * Words> Bytes{};
    std::array<std::int16_t, Words> Words_{};
};

// A stored reply handed to the window: the command it answers and copies of its buffer.
struct TPendingReply {
    int Command = -1;
    std::array<std::int16_t, 419> Words{};
    std::array<std::uint8_t, 838> Bytes{};
    int WordCount = 0;
};

constexpr int DevicePort = 10004;
constexpr int ReplyWaitMs = 2000;
// A cycle starts at least this long after the one before started: supplies
// and optical modules change on a human time scale, and a fast device must not
// cost a core. A slower device is not held up further.
constexpr int MinCycleMs = 250;
// After a failed connection attempt the next one waits at least this long
// from the failed one's start (a refused connect fails at once here).
constexpr int MinConnectAttemptMs = 1000;
// How long the worker gives the window to take a stored reply.
constexpr int HandOverWaitMs = 500;

// Polls the device for commands 102, 100 and 101, one cycle at a time and
// paced; each reply is stored under one lock together with `FPendingCommand`, then
// ReplyStored() tells the window.
class TcpThread : public QThread {
    Q_OBJECT
public:
    explicit TcpThread(QString deviceAddress, QObject* parent = nullptr);
    ~TcpThread() override;

    QTcpSocket* socket = nullptr;
    std::atomic<int> connState{-1};
    // Set while a signal waits in the window's queue: the worker emits again
    // only once the window took the last one, so a fast loop never floods it.
    std::atomic<bool> replyPending{false}, connectionPending{false};

    // Takes the pending reply (if FPendingCommand names one) and resets FPendingCommand, as one
    // step.
    TPendingReply TakeReply();
    // Stores a reply as the worker does; used by the worker and by tests.
    void StoreReply(int command, const QByteArray& data);
    const QString& DeviceAddress() const { return FAddress; }

Q_SIGNALS:
    void ReplyStored();
    void ConnectionChanged();

protected:
    void run() override;

private:
    void EmitReplyStored();
    void EmitConnectionChanged();
    // Waits, at most waitMs, for the window to take the stored reply: replies
    // of one cycle come in a burst, and without this the window would mostly
    // find only the last of them. A window that does not answer (a modal box,
    // a busy GUI) still sees the newest reply supersede the older one.
    void WaitUntilTaken(int waitMs);
    // Waits until minMs have passed since the cycle started; ends early when
    // asked to stop.
    void PaceCycle(const QElapsedTimer& cycle, int minMs);

private:
    QString FAddress;
    QMutex FLock;
    QWaitCondition FTaken; // FPendingCommand went back to -1: the window took the reply
    // The command whose reply waits for the window, -1 none; the last reply of each command.
    std::int16_t FPendingCommand = -1;
    TReplyBuffer<37> FPowerReply;
    TReplyBuffer<387> FReceiveSfpReply;
    TReplyBuffer<419> FTransmitSfpReply;
};

// word i = byte 2i + 256 x byte 2i+1; refuses (with a log line) mismatched sizes.
void ConvertByteToShortBuffer(const std::uint8_t* bytes, int byteCount, std::int16_t* words,
                              int wordCount);
// The six request bytes of a command: [2][code][ks], low byte first.
QByteArray RequestBytes(int code);
int ExpectedReplyBytes(int code);
