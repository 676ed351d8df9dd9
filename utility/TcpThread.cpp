#include "TcpThread.h"

#include "FibrewatchLog.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QMutexLocker>
#include <QTcpSocket>

#include <algorithm>
#include <cstring>

void ConvertByteToShortBuffer(const std::uint8_t* bytes, int byteCount, std::int16_t* words,
                              int wordCount) {
    if (byteCount != 2 * wordCount) {
        qCDebug(lcFibrewatch).noquote() << "ConvertByteToShortBuffer() -> invalid buffers size";
        return;
    }
    for (int i = 0; i < wordCount; ++i)
        words[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

QByteArray RequestBytes(int code) {
    const auto ks = static_cast<std::uint16_t>((65536 - code) % 65536);
    const char b[6] = {2,
                       0,
                       static_cast<char>(code & 0xFF),
                       static_cast<char>(code >> 8),
                       static_cast<char>(ks & 0xFF),
                       static_cast<char>(ks >> 8)};
    return QByteArray(b, 6);
}

int ExpectedReplyBytes(int code) {
    switch (code) {
    case 102:
        return 74;
    case 100:
        return 774;
    case 101:
        return 838;
    default:
        return 0;
    }
}

TcpThread::TcpThread(QString deviceAddress, QObject* parent)
    : QThread(parent), FAddress(std::move(deviceAddress)) {}

TcpThread::~TcpThread() {
    // The program itself never stops the worker (the process ends around it);
    // an owner that destroys it, as tests do, waits for the cycle to notice.
    requestInterruption();
    wait();
}

void TcpThread::StoreReply(int command, const QByteArray& data) {
    QMutexLocker lock(&FLock);
    auto store = [&](auto& buffer) {
        // Bytes beyond those read keep the previous reply's content.
        const auto n =
            std::min<std::size_t>(buffer.Bytes.size(), static_cast<std::size_t>(data.size()));
        std::memcpy(buffer.Bytes.data(), data.constData(), n);
        ConvertByteToShortBuffer(buffer.Bytes.data(), static_cast<int>(buffer.Bytes.size()),
                                 buffer.Words_.data(), static_cast<int>(buffer.Words_.size()));
    };
    switch (command) {
    case 102:
        store(FPowerReply);
        break;
    case 100:
        store(FReceiveSfpReply);
        break;
    case 101:
        store(FTransmitSfpReply);
        break;
    default:
        return;
    }
    FPendingCommand = static_cast<std::int16_t>(command);
}

TPendingReply TcpThread::TakeReply() {
    QMutexLocker lock(&FLock);
    TPendingReply r;
    r.Command = FPendingCommand;
    auto copy = [&](const auto& buffer) {
        std::copy(buffer.Words_.begin(), buffer.Words_.end(), r.Words.begin());
        std::copy(buffer.Bytes.begin(), buffer.Bytes.end(), r.Bytes.begin());
        r.WordCount = static_cast<int>(buffer.Words_.size());
    };
    switch (FPendingCommand) {
    case 102:
        copy(FPowerReply);
        break;
    case 100:
        copy(FReceiveSfpReply);
        break;
    case 101:
        copy(FTransmitSfpReply);
        break;
    default:
        r.Command = -1;
        break;
    }
    FPendingCommand = -1;
    FTaken.wakeAll();
    return r;
}

void TcpThread::EmitReplyStored() {
    if (!replyPending.exchange(true))
        Q_EMIT ReplyStored();
}

void TcpThread::EmitConnectionChanged() {
    if (!connectionPending.exchange(true))
        Q_EMIT ConnectionChanged();
}

void TcpThread::WaitUntilTaken(int waitMs) {
    QMutexLocker lock(&FLock);
    QDeadlineTimer deadline(waitMs);
    while (FPendingCommand != -1 && !deadline.hasExpired() && !isInterruptionRequested())
        FTaken.wait(&FLock, QDeadlineTimer(std::min<qint64>(deadline.remainingTime(), 50)));
}

void TcpThread::PaceCycle(const QElapsedTimer& cycle, int minMs) {
    while (!isInterruptionRequested()) {
        const qint64 rest = minMs - cycle.elapsed();
        if (rest <= 0)
            break;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(rest, 20)));
    }
}

void TcpThread::run() {
    qCDebug(lcFibrewatch).noquote() << "in TcpThread::run()";
    QTcpSocket tcp;
    socket = &tcp;
    qCDebug(lcFibrewatch) << "socket thread id:" << QThread::currentThreadId();
    static const int commands[3] = {102, 100, 101};
    while (!isInterruptionRequested()) {
        bool failedAttempt = false;
        QElapsedTimer cycle;
        cycle.start();
        if (tcp.state() != QAbstractSocket::ConnectedState) {
            tcp.abort();
            tcp.connectToHost(FAddress, DevicePort, QIODevice::ReadWrite);
            if (tcp.waitForConnected(ReplyWaitMs)) {
                qCDebug(lcFibrewatch).noquote() << "Connected!";
                if (connState.load() != 1) {
                    qCInfo(lcFibrewatch).noquote() << "Connected to" << FAddress;
                    connState.store(1);
                    EmitConnectionChanged();
                }
            } else {
                qCDebug(lcFibrewatch).noquote() << "Didn't connected!";
                if (connState.load() != -1) // one line per loss, none per retry
                    qCWarning(lcFibrewatch).noquote()
                        << "No connection to" << FAddress << "; retrying";
                connState.store(-1);
                EmitConnectionChanged();
                failedAttempt = true;
            }
        }
        for (int code : commands) {
            if (isInterruptionRequested())
                break;
            tcp.readAll();
            tcp.write(RequestBytes(code));
            if (tcp.waitForReadyRead(ReplyWaitMs)) {
                StoreReply(code, tcp.read(ExpectedReplyBytes(code)));
                EmitReplyStored();
                WaitUntilTaken(HandOverWaitMs);
            } else {
                qCDebug(lcFibrewatch).noquote()
                    << QStringLiteral("Did'not read from socket (kod=%1)!").arg(code);
            }
        }
        // One cycle, and so at most one connection attempt, per pace period;
        // this also holds for a device that accepts and drops at once.
        PaceCycle(cycle, failedAttempt ? MinConnectAttemptMs : MinCycleMs);
    }
    tcp.abort();
    tcp.disconnectFromHost();
    tcp.close();
    socket = nullptr;
}
