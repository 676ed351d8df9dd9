#pragma once

// A Videohub Ethernet Protocol client written from the protocol's public
// description (text blocks: a header ending in ':', one item per line, a blank
// line; ACK / NAK answers; the device's dump on connect), for tests only.
#include <QElapsedTimer>
#include <QMap>
#include <QStringList>
#include <QTcpSocket>
#include <QTest>

struct TVhBlock {
    QString Header;
    QStringList Lines;
};

class TVideohubClient {
public:
    explicit TVideohubClient(quint16 port, const QHostAddress& host = QHostAddress::LocalHost) {
        FSocket.connectToHost(host, port);
    }
    bool Connected(int ms = 5000) {
        return FSocket.state() == QAbstractSocket::ConnectedState || FSocket.waitForConnected(ms);
    }
    void Send(const QByteArray& text) {
        FSocket.write(text);
        FSocket.flush();
    }
    // Every block (ACK and NAK are blocks without lines) received so far.
    const QList<TVhBlock>& Blocks() {
        Pump();
        return FBlocks;
    }
    // Waits for a block with this header after the first `from` blocks; its
    // index, or -1. Serves the event loop meanwhile (the gateway may be in-process).
    int WaitFor(const QString& header, int from = 0, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        for (;;) {
            Pump();
            for (int i = from; i < FBlocks.size(); ++i)
                if (FBlocks[i].Header == header)
                    return i;
            if (t.elapsed() > ms)
                return -1;
            QTest::qWait(5);
        }
    }
    // Waits for the reply to a request: ACK or NAK after `from` blocks.
    QString Reply(int from, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        for (;;) {
            Pump();
            for (int i = from; i < FBlocks.size(); ++i)
                if (FBlocks[i].Header == QLatin1String("ACK") ||
                    FBlocks[i].Header == QLatin1String("NAK"))
                    return FBlocks[i].Header;
            if (t.elapsed() > ms)
                return {};
            QTest::qWait(5);
        }
    }
    // The items of every block with this header received so far, later ones
    // over earlier ones: "index" -> "value".
    QMap<QString, QString> Items(const QString& header) {
        Pump();
        QMap<QString, QString> items;
        for (const TVhBlock& b : FBlocks)
            if (b.Header == header)
                for (const QString& l : b.Lines) {
                    const int space = l.indexOf(QLatin1Char(' '));
                    items[l.left(space)] = l.mid(space + 1);
                }
        return items;
    }
    QString Field(const QString& header, const QString& key) {
        Pump();
        QString value;
        for (const TVhBlock& b : FBlocks)
            if (b.Header == header)
                for (const QString& l : b.Lines)
                    if (l.startsWith(key + QLatin1String(": ")))
                        value = l.mid(key.size() + 2);
        return value;
    }
    bool Closed() {
        Pump();
        return FSocket.state() == QAbstractSocket::UnconnectedState;
    }
    QTcpSocket& Socket() { return FSocket; }

private:
    void Pump() {
        if (FSocket.state() != QAbstractSocket::ConnectedState)
            return;
        FSocket.waitForReadyRead(0);
        FBuffer += FSocket.readAll();
        int nl;
        while ((nl = FBuffer.indexOf('\n')) >= 0) {
            QString line = QString::fromUtf8(FBuffer.left(nl));
            FBuffer.remove(0, nl + 1);
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            if (line.isEmpty()) {
                if (FOpen)
                    FBlocks << FCurrent;
                FOpen = false;
                continue;
            }
            if (!FOpen) {
                FCurrent = {line, {}};
                FOpen = true;
                continue;
            }
            FCurrent.Lines << line;
        }
    }

    QTcpSocket FSocket;
    QByteArray FBuffer;
    QList<TVhBlock> FBlocks;
    TVhBlock FCurrent;
    bool FOpen = false;
};
