// One gateway, many clients: N Videohub clients (default 1, 100, 1000) on
// matrixgateway over one simulated 256 x 256 chassis, then as many Ember+
// consumers subscribed to the matrix, then as many SW-P-08 clients (--videohub,
// --ember or --swp08 for one protocol).
// One client routes; the bench prints how long every client takes to get the
// broadcast (median and 99th percentile), the gateway's share of a core with
// the N clients idle, its resident memory per client, and the simulator's
// share of a core. The gateway and the simulator run as processes of their
// own. Prints figures only.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Seconds of CPU a process has used (user + system).
double CpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

double RssKiB(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble();
    return 0;
}

// A client as plain non-blocking socket, served by one epoll loop: the
// bench's own cost per client stays far below the gateway's.
struct TClient {
    int Fd = -1;
    QByteArray Buffer;
    QByteArray Wanted; // the routing line awaited
    qint64 SeenNs = -1;
    ~TClient() {
        if (Fd >= 0)
            ::close(Fd);
    }
};

int Connect(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

enum class TProtocol { Videohub, Ember, Swp08 };

// Ember+ as the bench sends it, from the S101 and Glow descriptions: frames
// with a CRC-16 (reflected 0x8408, inverted), escapes from 0xF8 up.
QByteArray S101(const QByteArray& body) {
    quint16 crc = 0xFFFF;
    for (char ch : body) {
        crc ^= static_cast<quint8>(ch);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    crc = static_cast<quint16>(~crc);
    const QByteArray raw = body + char(crc & 0xFF) + char(crc >> 8);
    QByteArray out(1, '\xFE');
    for (char ch : raw)
        out += static_cast<quint8>(ch) >= 0xF8 ? QByteArray("\xFD") + char(ch ^ 0x20)
                                               : QByteArray(1, ch);
    return out + '\xFF';
}
QByteArray Tlv(quint8 tag, const QByteArray& content) {
    return char(tag) + QByteArray(1, char(content.size())) + content; // short lengths only
}
QByteArray EmberMessage(const QByteArray& glow) {
    return S101(QByteArray::fromHex("000e0001c00102"
                                    "1f02") +
                glow);
}
// Root > QualifiedMatrix 1.2.1 > the given field.
QByteArray MatrixMessage(const QByteArray& field) {
    return EmberMessage(
        Tlv(0x60,
            Tlv(0x6B, Tlv(0xA0, Tlv(0x71, Tlv(0xA0, QByteArray::fromHex("0d03010201")) + field)))));
}
QByteArray EmberSubscribe() { // its children: a GetDirectory command
    return MatrixMessage(Tlv(0xA2, Tlv(0x64, Tlv(0xA0, QByteArray::fromHex("6205a003020120")))));
}
// Target 0's connection to `source` (below 0xF8: never escaped).
QByteArray EmberConnection(int source) {
    return QByteArray::fromHex("a003020100a1030d01") + char(source);
}
QByteArray EmberConnect(int source) {
    return MatrixMessage(Tlv(0xA5, Tlv(0x30, Tlv(0xA0, Tlv(0x70, EmberConnection(source))))));
}
const QByteArray KeepAliveRequest = S101(QByteArray::fromHex("000e0101"));
const QByteArray KeepAliveResponse = S101(QByteArray::fromHex("000e0201"));

// The general router protocol's framing, from its description.
QByteArray Swp08Frame(const QByteArray& message) {
    QByteArray body = message + char(message.size());
    int sum = 0;
    for (char ch : body)
        sum += static_cast<quint8>(ch);
    body += char(-sum & 0xFF);
    QByteArray out("\x10\x02");
    for (char ch : body)
        out += ch == 0x10 ? QByteArray("\x10\x10") : QByteArray(1, ch);
    return out + "\x10\x03";
}
// Level 0, destination 0 from `source` (below 128).
QByteArray Swp08Crosspoint(char command, int source) {
    return Swp08Frame(QByteArray(1, command) + QByteArray(3, '\0') + char(source));
}

TProtocol Protocol = TProtocol::Videohub;

// Reads whatever the clients have for up to `ms`.
void Pump(int epoll, QElapsedTimer& clock, int ms) {
    epoll_event events[256];
    const int n = ::epoll_wait(epoll, events, 256, ms);
    char buf[65536];
    for (int i = 0; i < n; ++i) {
        auto* c = static_cast<TClient*>(events[i].data.ptr);
        for (;;) {
            const ssize_t got = ::read(c->Fd, buf, sizeof buf);
            if (got <= 0)
                break;
            c->Buffer.append(buf, got);
        }
        // An Ember+ consumer answers the provider's keep-alives.
        if (Protocol == TProtocol::Ember && c->Buffer.contains(KeepAliveRequest)) {
            c->Buffer.replace(KeepAliveRequest, QByteArray());
            [[maybe_unused]] const auto n = ::write(c->Fd, KeepAliveResponse.constData(),
                                                    std::size_t(KeepAliveResponse.size()));
        }
        if (!c->Wanted.isEmpty() && c->SeenNs < 0 && c->Buffer.contains(c->Wanted))
            c->SeenNs = clock.nsecsElapsed();
        if (c->Buffer.size() > 65536)
            c->Buffer = c->Buffer.right(64);
    }
}

struct TResult {
    double MedianMs = 0, P99Ms = 0, GatewayCpu = 0, SimCpu = 0, RssKiB = 0;
};

TResult Run(int n, const QString& gateway, const QString& sim, int round) {
    TResult r;
    QTemporaryDir dir;
    const QString address = QStringLiteral("127.0.%1.%2").arg(90 + round).arg(getpid() % 200 + 20);
    QProcess simulator;
    simulator.start(sim, {QStringLiteral("--chassis"),
                          address + QStringLiteral(":10004:levels=1:size=256x256")});
    simulator.waitForStarted();
    quint32 packed = 0;
    const QStringList parts = address.split(QLatin1Char('.'));
    for (int i = 3; i >= 0; --i)
        packed = (packed << 8) | parts[i].toUInt();
    QFile set(dir.filePath(QStringLiteral("matrixpanel.set")));
    set.open(QIODevice::WriteOnly);
    set.write("[OPTIONS]\nCOUNT=1\n[LEVEL1]\nADDRESS=1\nIP=" +
              QByteArray::number(static_cast<qint32>(packed)) + "\n");
    set.close();
    QFile ini(dir.filePath(QStringLiteral("matrixpanel.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[GATEWAY]\nMAX_CLIENTS=5000\nVIDEOHUB=\nEMBER=\nSWP08=\n");
    ini.close();
    // A port still held from an earlier run makes the gateway end at once: try another.
    QProcess gw;
    gw.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    quint16 port = 0;
    for (int attempt = 0; attempt < 10; ++attempt) {
        port = static_cast<quint16>(20000 + (getpid() * 7 + round * 131 + attempt * 977) % 40000);
        gw.start(gateway,
                 {QStringLiteral("--ini"), ini.fileName(), QStringLiteral("--set"), set.fileName(),
                  Protocol == TProtocol::Ember   ? QStringLiteral("--ember")
                  : Protocol == TProtocol::Swp08 ? QStringLiteral("--swp08")
                                                 : QStringLiteral("--videohub"),
                  QStringLiteral("127.0.0.1:%1").arg(port)});
        if (gw.waitForStarted() && !gw.waitForFinished(500))
            break;
    }
    if (gw.state() != QProcess::Running) {
        std::fprintf(stderr, "bench_gateway: the gateway did not start\n");
        r.MedianMs = r.P99Ms = -1;
        return r;
    }
    std::vector<std::unique_ptr<TClient>> clients;
    QElapsedTimer clock;
    clock.start();
    const int epoll = ::epoll_create1(0);
    for (int i = 0; i < n; ++i) {
        auto c = std::make_unique<TClient>();
        for (int attempt = 0; attempt < 100 && c->Fd < 0; ++attempt)
            if ((c->Fd = Connect(port)) < 0)
                QThread::msleep(50);
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.ptr = c.get();
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, c->Fd, &e);
        if (Protocol != TProtocol::Videohub) {
            // Ember+: the matrix subscribed to; SW-P-08: an interrogate answered.
            const QByteArray subscribe = Protocol == TProtocol::Ember
                                             ? EmberSubscribe()
                                             : Swp08Frame(QByteArray::fromHex("01000000"));
            [[maybe_unused]] const auto sent =
                ::write(c->Fd, subscribe.constData(), std::size_t(subscribe.size()));
        }
        clients.push_back(std::move(c));
        Pump(epoll, clock, 0);
    }
    // Until every client has the device present (the switcher polled).
    QElapsedTimer wait;
    wait.start();
    auto allHave = [&](const QByteArray& text) {
        return std::all_of(clients.begin(), clients.end(),
                           [&](const auto& c) { return c->Buffer.contains(text); });
    };
    // Until every client has the device present (the switcher polled), or
    // the matrix it subscribed to.
    const QByteArray ready = Protocol == TProtocol::Ember   ? QByteArray("level1")
                             : Protocol == TProtocol::Swp08 ? QByteArray("\x10\x02\x03")
                                                            : QByteArray("Device present: true");
    while (!allHave(ready) && wait.elapsed() < 60000)
        Pump(epoll, clock, 20);

    std::vector<double> ms;
    for (int route = 1; route <= 30; ++route) {
        const QByteArray line = "\n0 " + QByteArray::number(route % 100 + 1) + "\n";
        const int source = route % 100 + 1;
        for (auto& c : clients) {
            c->Buffer.clear();
            c->Wanted = Protocol == TProtocol::Ember   ? EmberConnection(source)
                        : Protocol == TProtocol::Swp08 ? Swp08Crosspoint(0x04, source)
                                                       : "VIDEO OUTPUT ROUTING:" + line;
            c->SeenNs = -1;
        }
        const qint64 start = clock.nsecsElapsed();
        const QByteArray request = Protocol == TProtocol::Ember ? EmberConnect(source)
                                   : Protocol == TProtocol::Swp08
                                       ? Swp08Crosspoint(0x02, source)
                                       : "VIDEO OUTPUT ROUTING:" + line + "\n";
        [[maybe_unused]] const auto sent =
            ::write(clients[0]->Fd, request.constData(), static_cast<std::size_t>(request.size()));
        QElapsedTimer limit;
        limit.start();
        while (limit.elapsed() < 10000 &&
               !std::all_of(clients.begin(), clients.end(),
                            [](const auto& c) { return c->SeenNs >= 0; }))
            Pump(epoll, clock, 5);
        for (const auto& c : clients)
            if (c->SeenNs >= 0)
                ms.push_back(double(c->SeenNs - start) / 1e6);
        Pump(epoll, clock, 30);
    }
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        r.MedianMs = ms[ms.size() / 2];
        r.P99Ms = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    }
    // Idle: every client connected, nobody routes.
    const double gw0 = CpuSeconds(gw.processId()), sim0 = CpuSeconds(simulator.processId());
    for (QElapsedTimer idle; !idle.isValid() || idle.elapsed() < 5000;) {
        if (!idle.isValid())
            idle.start();
        Pump(epoll, clock, 100);
    }
    r.GatewayCpu = (CpuSeconds(gw.processId()) - gw0) / 5.0 * 100;
    r.SimCpu = (CpuSeconds(simulator.processId()) - sim0) / 5.0 * 100;
    r.RssKiB = RssKiB(gw.processId());
    clients.clear();
    ::close(epoll);
    gw.terminate();
    gw.waitForFinished(5000);
    simulator.terminate();
    simulator.waitForFinished(5000);
    return r;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::vector<int> counts;
    std::vector<TProtocol> protocols;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--videohub" || a == "--ember" || a == "--swp08")
            protocols.push_back(a == "--ember"   ? TProtocol::Ember
                                : a == "--swp08" ? TProtocol::Swp08
                                                 : TProtocol::Videohub);
        else if (const int n = std::atoi(argv[i]); n >= 1 && n <= 5000)
            counts.push_back(n);
    }
    if (counts.empty())
        counts = {1, 100, 1000};
    if (protocols.empty())
        protocols = {TProtocol::Videohub, TProtocol::Ember, TProtocol::Swp08};
    std::printf("%9s %7s %12s %9s %13s %14s %9s\n", "protocol", "clients", "median ms", "p99 ms",
                "gateway idle", "RSS per client", "sim CPU");
    int round = 0;
    for (TProtocol p : protocols) {
        Protocol = p;
        double rssOne = -1;
        for (int n : counts) {
            const TResult r = Run(n, QStringLiteral(MATRIXGATEWAY_PATH),
                                  QStringLiteral(SWITCHERSIM_PATH), round++);
            if (rssOne < 0 || n == 1)
                rssOne = n == 1 ? r.RssKiB : rssOne;
            const double perClient = n > 1 && rssOne > 0 ? (r.RssKiB - rssOne) / (n - 1) : 0;
            std::printf("%9s %7d %12.2f %9.2f %12.1f%% %11.1f KiB %8.1f%%\n",
                        p == TProtocol::Ember   ? "ember"
                        : p == TProtocol::Swp08 ? "swp08"
                                                : "videohub",
                        n, r.MedianMs, r.P99Ms, r.GatewayCpu, perClient, r.SimCpu);
            std::fflush(stdout);
        }
    }
    return 0;
}
