#pragma once

// The gateway in-process on a simulated chassis, for the gateway's tests.
#include "Gateway.h"
#include "IpText.h"
#include "SimAddress.h"
#include "Simulator.h"
#include "VideohubClient.h"
#include "VideohubListener.h"

#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <memory>

// One chassis with levels 1 and 2, a level set naming them, and a gateway on it.
struct TRig {
    QTemporaryDir Dir;
    sim::TSimulator Simulator;
    sim::TChassis* Chassis = nullptr;
    std::unique_ptr<TGateway> Gateway;

    explicit TRig(const QByteArray& gatewaySection = {}) {
        sim::TChassisConfig c;
        c.Address = NextSimAddress();
        c.Levels = {1, 2};
        c.Inputs = 16;
        c.Outputs = 12;
        Chassis = Simulator.AddChassis(c);
        bool ok = false;
        const QByteArray ip = QByteArray::number(ParseIP(c.Address.toString().toStdString(), ok));
        Write("matrixpanel.set", "[OPTIONS]\nCOUNT=2\n[LEVEL1]\nADDRESS=1\nNAME=VIDEO\nIP=" + ip +
                                     "\n[LEVEL2]\nADDRESS=2\nNAME=AUDIO\nIP=" + ip + "\n");
        Write("matrixpanel.ini", "[OUTPUTS]\nNAME0=PGM\n[GATEWAY]\n" + gatewaySection);
        TGateway::TOptions o;
        o.IniFile = Dir.filePath(QStringLiteral("matrixpanel.ini"));
        o.LevelSetFile = Dir.filePath(QStringLiteral("matrixpanel.set"));
        o.Videohub = TListenAddress{QHostAddress::LocalHost, 0};
        o.Ember = TListenAddress{QHostAddress::LocalHost, 0};
        o.Swp08 = TListenAddress{QHostAddress::LocalHost, 0};
        Gateway = std::make_unique<TGateway>(o);
    }
    void Write(const char* name, const QByteArray& text) {
        QFile f(Dir.filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    bool Start() {
        QString error;
        if (!Chassis || !Gateway->Start(&error)) {
            qWarning() << error;
            return false;
        }
        Gateway->Hub().RetryMs = 100;
        return QTest::qWaitFor([&] { return Gateway->Hub().Present(); }, 10000);
    }
    quint16 Port(std::size_t listener = 0) const { return Gateway->Videohub()[listener]->Port(); }
    // A Videohub client with the dump on connect read.
    std::unique_ptr<TVideohubClient> Client(std::size_t listener = 0) {
        auto c = std::make_unique<TVideohubClient>(Port(listener));
        if (!c->Connected() || c->WaitFor(QStringLiteral("END PRELUDE:")) < 0)
            return nullptr;
        return c;
    }
};

// Opens `count` connections to a listener, as a crowd of clients would (their
// files need more than the usual 1,024: the limit is raised first).
inline std::vector<std::unique_ptr<QTcpSocket>> Crowd(quint16 port, int count) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 8192);
    setrlimit(RLIMIT_NOFILE, &limit);
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < count; ++i) {
        crowd.push_back(std::make_unique<QTcpSocket>());
        crowd.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    return crowd;
}
