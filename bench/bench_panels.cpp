// Many operator positions on one switcher: N poll engines (1, 8, 32, or the
// counts given) against one simulated 256 x 256 chassis. Engine 0 routes; the
// bench reports how long every other engine takes to see the change (median
// and 99th percentile), the cycle rate each engine keeps, and the share of a
// core the simulator uses. Prints figures only.
#include "BenchViews.h"
#include "IpText.h"
#include "Simulator.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

struct TEngine {
    TBenchViews Views;
    TInlineExecutor Executor;
    std::unique_ptr<TPollCycle> Cycle;
    std::thread Thread;
};

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// CPU time of another thread of this process.
double CpuSecondsOf(std::thread& t) {
    clockid_t clock{};
    timespec ts{};
    if (pthread_getcpuclockid(t.native_handle(), &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return 0;
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double EnginesCpuSeconds(std::vector<std::unique_ptr<TEngine>>& engines) {
    double sum = 0;
    for (auto& e : engines)
        sum += CpuSecondsOf(e->Thread);
    return sum;
}

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size())))];
}

void Run(int panels, int address) {
    sim::TSimulator simulator;
    sim::TChassisConfig cfg;
    cfg.Address = QHostAddress(QStringLiteral("127.0.92.%1").arg(address));
    cfg.Levels = {1};
    cfg.Inputs = cfg.Outputs = 256;
    if (!simulator.AddChassis(cfg)) {
        std::printf("%d panels: the simulator cannot listen on %s\n", panels,
                    qPrintable(cfg.Address.toString()));
        return;
    }
    TPollLevels levels;
    levels.LevelCount = 1;
    bool ok = false;
    levels.LevelIP[1] = ParseIP(cfg.Address.toString().toStdString(), ok);
    levels.LevelAddress[1] = 1;

    std::vector<std::unique_ptr<TEngine>> engines;
    for (int i = 0; i < panels; ++i) {
        auto e = std::make_unique<TEngine>();
        e->Cycle = std::make_unique<TPollCycle>(levels, e->Views.State, e->Views, e->Executor);
        TEngine* raw = e.get();
        e->Thread = std::thread([raw] { raw->Cycle->Execute(); });
        engines.push_back(std::move(e));
    }
    for (auto& e : engines)
        while (!e->Views.Ready.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));

    const double cpu0 = ProcessCpuSeconds(), main0 = ThreadCpuSeconds(),
                 engines0 = EnginesCpuSeconds(engines);
    const auto wall0 = Clock::now();
    std::vector<double> seen; // ms until each other engine shows the route
    const int changes = 30;
    for (int c = 0; c < changes; ++c) {
        const int input = (c * 37 + 1) % 256;
        const auto t0 = Clock::now();
        engines[0]->Views.State.StoreStatus(10, 1, input);
        std::vector<bool> done(engines.size(), false);
        std::size_t left = engines.size() - 1;
        const auto give_up = t0 + std::chrono::seconds(5);
        while (left > 0 && Clock::now() < give_up) {
            for (std::size_t i = 1; i < engines.size(); ++i)
                if (!done[i] && engines[i]->Views.State.Status(10, 1) == input) {
                    done[i] = true;
                    --left;
                    seen.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const double mainCpu = ThreadCpuSeconds() - main0;
    const double engineCpu = EnginesCpuSeconds(engines) - engines0;
    // What is left of the process' CPU over the span is the simulator's thread.
    const double simCpu = ProcessCpuSeconds() - cpu0 - mainCpu - engineCpu;
    for (auto& e : engines)
        e->Cycle->Terminate();
    for (auto& e : engines)
        e->Thread.join();

    std::vector<double> rates;
    for (auto& e : engines)
        rates.push_back(e->Views.AverageRate());
    std::sort(rates.begin(), rates.end());
    std::printf("%2d panels: ", panels);
    if (panels > 1)
        std::printf("change seen by the others median %6.2f ms, p99 %6.2f ms (%zu of %d); ",
                    Percentile(seen, 0.5), Percentile(seen, 0.99), seen.size(),
                    changes * (panels - 1));
    std::printf("cycles/s per panel min %5.1f median %5.1f; CPU (share of a core) simulator "
                "%3.0f%%, all engines %3.0f%%\n",
                rates.front(), rates[rates.size() / 2], 100.0 * simCpu / wall,
                100.0 * engineCpu / wall);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        if (const int n = std::atoi(argv[i]); n >= 1 && n <= 64)
            counts.push_back(n);
    if (counts.empty())
        counts = {1, 8, 32};
    int address = 1;
    for (int n : counts)
        Run(n, address++);
    return 0;
}
