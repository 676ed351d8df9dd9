// Poll cycles per second against the simulator on loopback, for one and four
// 256 x 256 chassis, against the bound set by the 2 ms sleep plus one
// configuration round trip per chassis; and the latency from a change in the
// field's state to its arrival at the simulator. Prints figures only.
#include "BenchViews.h"
#include "IpText.h"
#include "Simulator.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ConfigRoundTripMs(const std::string& host) {
    TSwitcherConnection p;
    p.FHost = host;
    p.Connect();
    TSwitcherConfig cfg;
    const int n = 500;
    const auto t0 = Clock::now();
    for (int i = 0; i < n; ++i)
        p.ReadConfig(cfg);
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / n;
}

void Run(int chassis) {
    sim::TSimulator simulator;
    std::vector<sim::TChassis*> sims;
    TPollLevels levels;
    levels.LevelCount = chassis;
    for (int c = 1; c <= chassis; ++c) {
        sim::TChassisConfig cfg;
        cfg.Address = QHostAddress(QStringLiteral("127.0.91.%1").arg(c));
        cfg.Levels = {c};
        cfg.Inputs = cfg.Outputs = 256;
        sims.push_back(simulator.AddChassis(cfg));
        bool ok = false;
        levels.LevelIP[static_cast<std::size_t>(c)] =
            ParseIP(cfg.Address.toString().toStdString(), ok);
        levels.LevelAddress[static_cast<std::size_t>(c)] = c;
    }
    const double rtt = ConfigRoundTripMs("127.0.91.1");
    TBenchViews views;
    TInlineExecutor exec;
    TPollCycle cycle(levels, views.State, views, exec);
    std::thread poll([&] { cycle.Execute(); });
    while (!views.Ready.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));

    // Latency: a change in the field until the chassis has it.
    double latency = 0;
    const int changes = 50;
    for (int i = 0; i < changes; ++i) {
        const int input = (i * 37 + 1) % 256;
        const auto t0 = Clock::now();
        views.State.StoreStatus(10, 1, input);
        while (sims[0]->Crosspoint(1, 10) != input)
            std::this_thread::yield();
        latency += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    cycle.Terminate();
    poll.join();
    const double rate = views.AverageRate();
    const double bound = 1000.0 / (2.0 + chassis * rtt);
    std::printf("%d chassis: %.1f cycles/s, bound %.1f (2 ms + %d x %.3f ms), %.1f%% of bound; "
                "change-to-chassis latency %.3f ms\n",
                chassis, rate, bound, chassis, rtt, 100.0 * rate / bound, latency / changes);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Run(1);
    Run(4);
    return 0;
}
