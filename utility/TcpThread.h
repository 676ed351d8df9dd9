#pragma once

#include <QMutex>
#include <QString>
#include <QThread>

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
    int Kod = -1;
    std::array<std::int16_t, 419> Words{};
    std::array<std::uint8_t, 838> Bytes{};
    int WordCount = 0;
};

constexpr int DevicePort = 10004;
constexpr int ReplyWaitMs = 2000;
// A refused connect fails at once here; an attempt takes at least this long,
// as it does where a refused connect is retried before it fails.
constexpr int MinConnectAttemptMs = 1000;

// Polls the device for commands 102, 100 and 101 without pause; each reply is
// stored under one lock together with `kod`, then sig_SrvMsgObrabot() tells the window.
class TcpThread : public QThread {
    Q_OBJECT
public:
    explicit TcpThread(QString deviceAddress, QObject* parent = nullptr);
    ~TcpThread() override;

    QTcpSocket* socket = nullptr;
    std::atomic<int> connState{-1};
    // Set while a signal waits in the window's queue: the worker emits again
    // only once the window took the last one, so a fast loop never floods it.
    std::atomic<bool> srvMsgPending{false}, infoMsgPending{false};

    // Takes the pending reply (if kod names one) and resets kod, as one step.
    TPendingReply TakeReply();
    // Stores a reply as the worker does; used by the worker and by tests.
    void StoreReply(int command, const QByteArray& data);
    const QString& DeviceAddress() const { return FAddress; }

Q_SIGNALS:
    void sig_SrvMsgObrabot();
    void sig_InfoMsgExec();

protected:
    void run() override;

private:
    void EmitSrvMsg();
    void EmitInfoMsg();
    // Waits out the rest of a failed attempt; ends early when asked to stop.
    void PaceFailedAttempt(qint64 startedMs);

private:
    QString FAddress;
    QMutex FLock;
    std::int16_t kod = -1;
    TReplyBuffer<37> s102;
    TReplyBuffer<387> s100;
    TReplyBuffer<419> s101;
};

// word i = byte 2i + 256 x byte 2i+1; refuses (with a log line) mismatched sizes.
void ConvertByteToShortBuffer(const std::uint8_t* bytes, int byteCount, std::int16_t* words,
                              int wordCount);
// The six request bytes of a command: [2][code][ks], low byte first.
QByteArray RequestBytes(int code);
int ExpectedReplyBytes(int code);
