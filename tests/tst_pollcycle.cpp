// The poll cycle against switchersim (its own process), with fake views and an
// executor that serves the synchronised steps on the main thread while that
// thread also edits the field's state, as the GUI does. Runs under ThreadSanitizer.
#include "LogSink.h"
#include "PlainTest.h"
#include "PollCycle.h"
#include "SimProcess.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

class TLoopExecutor : public IPollExecutor {
public:
    void Sync(const std::function<void()>& step) override {
        std::unique_lock l(FM);
        FPending = &step;
        FCv.notify_all();
        FCv.wait(l, [&] { return FPending == nullptr; });
    }
    // Serves steps on this thread until pred holds or the time is up.
    bool ServeUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = 8000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (pred())
                return true;
            ServeFor(5ms);
        }
        return pred();
    }
    void ServeFor(std::chrono::milliseconds d) {
        std::unique_lock l(FM);
        if (FCv.wait_for(l, d, [&] { return FPending != nullptr; })) {
            const auto* step = FPending;
            l.unlock();
            (*step)();
            l.lock();
            FPending = nullptr;
            FCv.notify_all();
        }
    }

private:
    std::mutex FM;
    std::condition_variable FCv;
    const std::function<void()>* FPending = nullptr;
};

class TFakeViews : public IPollViews {
public:
    TFieldState State;
    // Steps (main thread).
    int FirstCycles = 0, Finishes = 0, Mode = 0;
    std::vector<std::pair<int, int>> Sizes;
    std::vector<int> PublishedRows;
    // The preview's reported inputs and the outputs it was given, in order.
    std::array<TLevelValues, 256> Preview{};
    std::vector<int> PreviewRows;
    int InitColour = 0;

    bool HdmiWanted(int& tab, THdmiWanted& wanted) const override {
        std::lock_guard l(FM);
        if (!HdmiOn)
            return false;
        tab = Tab;
        wanted = Wanted;
        return true;
    }
    void SetInitIndicator(bool, bool) override {}
    void SetConfigIndicator(bool, bool, int) override {}
    void SetStateIndicator(bool, bool) override {}
    void SetProcIndicator(bool) override {}
    void PaintStatus(bool force, const std::array<TSwitcherStatus, 4>&, int) override {
        StatusPaints.push_back(force);
        if (OnPaintStatus)
            OnPaintStatus();
    }
    std::vector<bool> StatusPaints;
    std::function<void()> OnPaintStatus;
    void EnableStatusRows() override {}
    void ResetStatusRows() override {}
    void ApplySize(int inputs, int outputs) override {
        State.SetInputs(inputs);
        State.SetOutputs(outputs);
        Sizes.push_back({inputs, outputs});
    }
    void FirstCycle(int levelCount) override {
        State.SetLevelCount(levelCount);
        ++FirstCycles;
    }
    void SetFieldStatus(int output, const TLevelValues& v) override {
        for (int k = 1; k <= 4; ++k) {
            State.StoreStatus(output, k, v[static_cast<std::size_t>(k - 1)]);
            State.StorePreset(output, k, v[static_cast<std::size_t>(k - 1)]);
        }
        PublishedRows.push_back(output);
    }
    void SetFieldLock(int output, std::uint32_t b) override { State.StoreLock(output, b); }
    void SetPreviewStatus(int output, const TLevelValues& v) override {
        Preview[static_cast<std::size_t>(output)] = v;
        PreviewRows.push_back(output);
    }
    void SetFieldMonitor(const TLevelValues& v) override {
        for (int k = 1; k <= 4; ++k)
            State.StoreMonitor(k, v[static_cast<std::size_t>(k - 1)]);
    }
    void ShowCycleRate(double) override {}
    void PublishHdmi(int tab, const THdmiState& s, const THdmiState& sh) override {
        // The window repaints the controls whose switcher value changed.
        std::lock_guard l(FM);
        if (PaintTag >= 0) { // the controls still show PaintTag's switcher
            Wanted.PaintedFor = PaintTag;
            ++HdmiPublishes;
            return;
        }
        auto take = [](auto& control, auto value, auto shadow) {
            if (value != shadow)
                control = value;
        };
        // Publishes in a row that found nothing new: no refresh is pending.
        bool same = true;
        ForEachHdmiField([&](const auto& field) {
            using TField = std::decay_t<decltype(field)>;
            same = same && s.*TField::State == sh.*TField::State;
        });
        QuietPublishes = same ? QuietPublishes + 1 : 0;
        take(Wanted.Meter1On, s.Meter1On, sh.Meter1On);
        take(Wanted.Meter2On, s.Meter2On, sh.Meter2On);
        take(Wanted.Meter1Slider, int(s.Meter1Slider), int(sh.Meter1Slider));
        take(Wanted.Meter2Slider, int(s.Meter2Slider), int(sh.Meter2Slider));
        take(Wanted.Meter1Group, int(s.Meter1Group), int(sh.Meter1Group));
        take(Wanted.Meter2Group, int(s.Meter2Group), int(sh.Meter2Group));
        take(Wanted.ScaleMode, int(s.ScaleMode), int(sh.ScaleMode));
        take(Wanted.DbfsRef, int(s.DbfsRef), int(sh.DbfsRef));
        take(Wanted.DbuRef, int(s.DbuRef), int(sh.DbuRef));
        take(Wanted.StreamMode, int(s.StreamMode), int(sh.StreamMode));
        // A window whose tab changed after painting still shows PaintTag's values.
        Wanted.PaintedFor = tab;
        ++HdmiPublishes;
    }
    void Finish() override { ++Finishes; }
    void LinkLost(std::uint32_t switchers, const TLinkError&) override { Lost = switchers; }
    void LinkRestored(std::uint32_t) override {
        Lost = 0;
        ++Restores;
    }
    std::uint32_t Lost = 0;
    int Restores = 0;
    void PostProgress(int percent, int show) override {
        std::lock_guard l(FM);
        Progress.push_back({percent, show});
    }
    void PostPollDone() override { Done.store(true); }

    std::vector<std::pair<int, int>> ProgressCopy() const {
        std::lock_guard l(FM);
        return Progress;
    }
    void SetHdmi(bool on, const std::function<void(THdmiWanted&)>& change = {}) {
        std::lock_guard l(FM);
        HdmiOn = on;
        if (change)
            change(Wanted);
    }
    int QuietPublishCount() const {
        std::lock_guard l(FM);
        return QuietPublishes;
    }
    int HdmiPublishCount() const {
        std::lock_guard l(FM);
        return HdmiPublishes;
    }

    std::atomic<bool> Done{false};
    // The selected tab and the tab the controls were painted for (-1: the
    // selected one); changed only inside SetHdmi.
    int Tab = 0, PaintTag = -1;

private:
    mutable std::mutex FM;
    bool HdmiOn = false;
    THdmiWanted Wanted;
    int HdmiPublishes = 0, QuietPublishes = 0;
    std::vector<std::pair<int, int>> Progress;
};

// The request frames a chassis received since the last call, as word lists.
std::vector<std::vector<int>> Frames(TSimProcess& sim, int chassis) {
    std::vector<std::vector<int>> out;
    for (const std::string& line : sim.Command("requests " + std::to_string(chassis))) {
        std::istringstream in(line);
        std::string tag;
        in >> tag;
        std::vector<int> words;
        int w = 0;
        while (in >> w)
            words.push_back(w);
        out.push_back(words);
    }
    return out;
}

std::vector<int> WithChecksum(std::vector<int> head) {
    int sum = 0;
    for (std::size_t i = 1; i < head.size(); ++i)
        sum += head[i];
    head.push_back((65536 - sum % 65536) % 65536);
    return head;
}

// Serves the cycle until the chassis has received the frame (checksum added);
// every frame seen meanwhile is appended to `seen`.
bool WaitFrame(TLoopExecutor& exec, TSimProcess& sim, int chassis, const std::vector<int>& head,
               std::vector<std::vector<int>>* seen = nullptr) {
    const std::vector<int> frame = WithChecksum(head);
    bool found = false;
    exec.ServeUntil([&] {
        for (const auto& f : Frames(sim, chassis)) {
            found = found || f == frame;
            if (seen)
                seen->push_back(f);
        }
        return found;
    });
    return found;
}

bool HasFrame(const std::vector<std::vector<int>>& frames, std::vector<int> head) {
    int sum = 0;
    for (std::size_t i = 1; i < head.size(); ++i)
        sum += head[i];
    head.push_back((65536 - sum % 65536) % 65536);
    for (const auto& f : frames)
        if (f == head)
            return true;
    return false;
}

int CountCommand(const std::vector<std::vector<int>>& frames, int command, int sub) {
    int n = 0;
    for (const auto& f : frames)
        n += f.size() > 2 && f[1] == command && f[2] == sub;
    return n;
}

// An independent client's view of one cross-point.
int Crosspoint(const std::string& host, int address, int output, bool* locked = nullptr) {
    TSwitcherConnection p;
    p.FHost = host;
    TSwitcherConfig cfg;
    if (!p.Connect() || !p.ReadConfig(cfg) || !p.ReadState())
        return -100;
    const int stride = cfg.Outputs + 3;
    for (int b = 0; b < 4; ++b) {
        const int first = 3 + b * stride;
        if (p.ReplyWord(first) == address) {
            const int w = p.ReplyWord(first + 1 + output);
            if (locked)
                *locked = (w & 0x8000) != 0;
            return (w & 0x7FFF) - 1;
        }
    }
    return -200;
}

void TwoChassis() {
    const std::string a = PlainSimAddress(1), b = PlainSimAddress(2);
    TSimProcess sim({a + ":levels=1,2:size=16x8", b + ":levels=3:size=16x8"});
    if (!CHECK(sim.Running()))
        return;
    TFakeViews views;
    TLoopExecutor exec;
    TPollLevels levels;
    levels.LevelCount = 3;
    levels.LevelIP = {0, PackedAddress(a), PackedAddress(a), PackedAddress(b), 0};
    levels.LevelAddress = {0, 1, 2, 3, 0};
    TPollCycle cycle(levels, views.State, views, exec);
    CHECK(cycle.FSwitcherCount == 2);
    CHECK(cycle.FSwitcherLevelCount[1] == 2 && cycle.FSwitcherLevelCount[2] == 1);
    std::thread poll([&] { cycle.Execute(); });

    CHECK(exec.ServeUntil([&] { return views.FirstCycles == 1; }));
    CHECK(views.Sizes.size() == 1 && views.Sizes[0] == std::make_pair(16, 8));
    CHECK(views.State.LevelCount() == 3);
    Frames(sim, 1);
    Frames(sim, 2);

    // The first cycle gives the preview every output once.
    CHECK(exec.ServeUntil([&] { return views.PreviewRows.size() >= 8; }));
    for (int o = 0; o < 8; ++o)
        CHECK(std::count(views.PreviewRows.begin(), views.PreviewRows.end(), o) == 1);

    // Route input 3 to output 7 on all three levels: one frame per switcher.
    for (int k = 1; k <= 3; ++k)
        views.State.StoreStatus(6, k, 2);
    CHECK(exec.ServeUntil([&] { return Crosspoint(b, 3, 6) == 2 && Crosspoint(a, 2, 6) == 2; }));
    // The field already shows the route it asked for; the preview gets the
    // switcher's report of it, once.
    CHECK(exec.ServeUntil([&] {
        const TLevelValues& p = views.Preview[6];
        return p[0] == 2 && p[1] == 2 && p[2] == 2;
    }));
    exec.ServeFor(20ms);
    CHECK(std::count(views.PreviewRows.begin(), views.PreviewRows.end(), 6) == 2);
    CHECK(std::count(views.PublishedRows.begin(), views.PublishedRows.end(), 6) == 0);
    auto fa = Frames(sim, 1), fb = Frames(sim, 2);
    CHECK(HasFrame(fa, {9, 5, 1, 7, 2, 1, 3, 2, 3}));
    CHECK(HasFrame(fb, {7, 5, 1, 7, 1, 3, 3}));
    CHECK(CountCommand(fa, 5, 1) == 1 && CountCommand(fb, 5, 1) == 1);

    // Lock output 4 on level address 3, monitor output 6 on level 1.
    views.State.StoreLock(3, 0x00010000);
    views.State.StoreMonitor(1, 5);
    CHECK(WaitFrame(exec, sim, 2, {6, 5, 8, 4, 1, 3}));
    CHECK(WaitFrame(exec, sim, 1, {6, 5, 2, 1, 1, 6}));
    bool locked = false;
    CHECK(Crosspoint(b, 3, 3, &locked) == 3 && locked);

    // Another operator routes on the chassis: the change reaches the field.
    sim.Command("route 1 2 2 12");
    CHECK(exec.ServeUntil([&] { return views.State.Status(1, 2) == 11; }));
    CHECK(views.State.Status(1, 1) == 1);

    // Preset salvo over three levels: 0, 25, 50, 75, 100, then closed.
    for (int o = 0; o < 8; ++o)
        for (int k = 1; k <= 3; ++k)
            views.State.StorePreset(o, k, (o + 5) % 16);
    cycle.RequestSalvo(false);
    CHECK(exec.ServeUntil([&] { return !cycle.SalvoRequested(); }));
    const auto progress = views.ProgressCopy();
    const std::vector<std::pair<int, int>> expected{{0, 1},  {25, 1},  {50, 1},
                                                    {75, 1}, {100, 1}, {0, 0}};
    CHECK(progress == expected);
    exec.ServeFor(20ms);
    fa = Frames(sim, 1);
    fb = Frames(sim, 2);
    CHECK(HasFrame(fa, {6, 5, 10, 2, 1, 2}));
    CHECK(HasFrame(fb, {5, 5, 10, 1, 3}));
    CHECK(CountCommand(fa, 5, 9) == 2 && CountCommand(fb, 5, 9) == 1);
    CHECK(Crosspoint(a, 1, 0) == 5);
    CHECK(Crosspoint(b, 3, 3) == 3); // locked on level 3: the take left it
    CHECK(exec.ServeUntil([&] { return views.State.Status(0, 1) == 5; }));

    // The published state reset the presets of changed rows; preset the locked one again.
    views.State.StorePreset(3, 3, 8);
    cycle.RequestSalvo(true);
    CHECK(exec.ServeUntil([&] { return !cycle.SalvoRequested(); }));
    exec.ServeFor(20ms);
    CHECK(HasFrame(Frames(sim, 2), {5, 5, 11, 1, 3}));
    CHECK(Crosspoint(b, 3, 3) == 8 % 16);

    // HDMI: nothing is sent while monitoring is off; a changed control is sent once on.
    views.SetHdmi(true);
    // Settled first: the publishes after HDMI comes on take the switcher's
    // values over; the change is made once they find nothing new.
    CHECK(exec.ServeUntil([&] { return views.QuietPublishCount() >= 3; }));
    Frames(sim, 1);
    views.SetHdmi(true, [](THdmiWanted& w) {
        w.Meter2On = true;
        w.StreamMode = 1;
    });
    std::vector<std::vector<int>> fh;
    CHECK(WaitFrame(exec, sim, 1, {5, 4, 1, 1, 1}, &fh));
    exec.ServeUntil([&] { return false; }, 100ms);
    for (const auto& f : Frames(sim, 1))
        fh.push_back(f);
    CHECK(CountCommand(fh, 4, 6) == 1);
    CHECK(CountCommand(fh, 4, 1) == 1 && CountCommand(fh, 4, 3) == 0); // each change sent once

    // The tab moved to B while the controls still show A's values: neither
    // switcher gets A's settings.
    views.SetHdmi(true, [&](THdmiWanted& w) {
        views.Tab = 1;
        views.PaintTag = 0;
        w.StreamMode = 0;
        w.Meter1On = !w.Meter1On;
    });
    const int publishes = views.HdmiPublishCount();
    CHECK(exec.ServeUntil([&] { return views.HdmiPublishCount() > publishes + 3; }));
    const auto stale1 = Frames(sim, 1), stale2 = Frames(sim, 2);
    int hdmiFrames = 0;
    for (int sub = 1; sub <= 6; ++sub)
        hdmiFrames += CountCommand(stale1, 4, sub) + CountCommand(stale2, 4, sub);
    CHECK(hdmiFrames == 0);

    cycle.Terminate();
    CHECK(exec.ServeUntil([&] { return views.Done.load(); }));
    poll.join();
    CHECK(views.Finishes == 1);
    CHECK(!cycle.LastError().Failed());
}

// One level, address 1, on the switcher at `address`.
TPollLevels OneLevel(const std::string& address) {
    TPollLevels levels;
    levels.LevelCount = 1;
    levels.LevelIP = {0, PackedAddress(address), 0, 0, 0};
    levels.LevelAddress = {0, 1, 0, 0, 0};
    return levels;
}

void OutputLimit() {
    const std::string a = PlainSimAddress(3);
    TSimProcess sim({a + ":levels=1:size=256x256"});
    if (!CHECK(sim.Running()))
        return;
    TFakeViews views;
    TLoopExecutor exec;
    TPollLevels levels = OneLevel(a);
    levels.OutputLimit = 64;
    TPollCycle cycle(levels, views.State, views, exec);
    std::thread poll([&] { cycle.Execute(); });
    CHECK(exec.ServeUntil([&] { return views.FirstCycles == 1; }));
    CHECK(views.Sizes.back() == std::make_pair(256, 64));
    sim.Command("route 1 1 100 7");
    sim.Command("route 1 1 64 9");
    CHECK(exec.ServeUntil([&] { return views.State.Status(63, 1) == 8; }));
    exec.ServeFor(30ms);
    bool beyond = false;
    for (int row : views.PublishedRows)
        beyond = beyond || row >= 64;
    CHECK(!beyond);
    cycle.Terminate();
    CHECK(exec.ServeUntil([&] { return views.Done.load(); }));
    poll.join();
}

// A device that accepts and hangs up at once: identify fails; the fifth failure ends the thread.
void IdentifyGivesUp() {
    const std::string a = PlainSimAddress(4);
    const int ls = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(ls, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(10004);
    inet_pton(AF_INET, a.c_str(), &addr.sin_addr);
    if (!CHECK(bind(ls, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
               listen(ls, 8) == 0)) {
        close(ls);
        return;
    }
    std::atomic<int> accepts{0};
    std::atomic<bool> stop{false};
    std::thread server([&] {
        while (!stop.load()) {
            pollfd p{ls, POLLIN, 0};
            if (poll(&p, 1, 20) == 1) {
                const int c = accept(ls, nullptr, nullptr);
                if (c >= 0) {
                    accepts.fetch_add(1);
                    close(c);
                }
            }
        }
    });
    TFakeViews views;
    TLoopExecutor exec;
    TPollLevels levels = OneLevel(a);
    TPollCycle cycle(levels, views.State, views, exec);
    std::thread pollThread([&] { cycle.Execute(); });
    CHECK(exec.ServeUntil([&] { return views.Done.load(); }));
    pollThread.join();
    stop.store(true);
    server.join();
    close(ls);
    CHECK(accepts.load() == 5);
    CHECK(cycle.LastError().Operation == 2 && cycle.LastError().Code == 2); // identify, no reply
    CHECK(cycle.LastError().IP == PackedAddress(a));
    CHECK(views.FirstCycles == 0);
}

// A switcher that keeps its connection but stops answering while operating:
// the configuration read fails, the next cycles reconnect and identify fails on
// every pass; the fifth failed identify ends the thread.
// The log lines the cycle sends to the program's sink.
std::mutex LogMutex;
std::vector<std::string> LogLines;
int LogCount(const std::string& part) {
    std::lock_guard l(LogMutex);
    int n = 0;
    for (const std::string& line : LogLines)
        n += line.find(part) != std::string::npos;
    return n;
}

void SilentWhileOperating() {
    logsink::SetSink([](logsink::TArea, bool warning, const std::string& text) {
        std::lock_guard l(LogMutex);
        LogLines.push_back((warning ? "W " : "I ") + text);
    });
    const std::string a = PlainSimAddress(5);
    TSimProcess sim({a + ":levels=1:size=8x8"});
    if (!CHECK(sim.Running()))
        return;
    TFakeViews views;
    TLoopExecutor exec;
    TPollLevels levels = OneLevel(a);
    TPollCycle cycle(levels, views.State, views, exec);
    std::thread poll([&] { cycle.Execute(); });
    CHECK(exec.ServeUntil([&] { return views.FirstCycles == 1; }));
    Frames(sim, 1);
    sim.Command("fault 1 any silent -1");
    CHECK(exec.ServeUntil([&] { return views.Done.load(); }, 15000ms));
    poll.join();
    int identifies = 0, configs = 0;
    for (const auto& f : Frames(sim, 1)) {
        identifies += f.size() > 1 && f[1] == 1;
        configs += f.size() > 1 && f[1] == 9;
    }
    CHECK(identifies == 5);
    CHECK(configs >= 1);
    // Identify, no reply while reading the length.
    CHECK(cycle.LastError().Operation == 2 && cycle.LastError().Code == 2 &&
          cycle.LastError().Detail == 1 && cycle.LastError().Extra == 0);
    // One line for the connection, one for its loss, none per retry, one for the end.
    CHECK(LogCount("I Connected to " + a + ":10004") == 1);
    CHECK(LogCount("W Connection to " + a + ":10004 lost") == 1);
    CHECK(LogCount("Reconnected") == 0);
    CHECK(LogCount("W Polling ended by an error of " + a) == 1);
    logsink::SetSink(nullptr);
}

// With ResumeAfterLoss a chassis that stops is retried, not given up; a salvo
// asked for while it was away is dropped, and once it is back its state is
// read before anything is sent: a route sent before the loss is not sent
// again over what the restarted chassis holds.
void ResumeAfterRestart() {
    const std::string a = PlainSimAddress(6);
    const std::vector<std::string> chassis{a + ":levels=1:size=8x8"};
    auto sim = std::make_unique<TSimProcess>(chassis);
    if (!CHECK(sim->Running()))
        return;
    TFakeViews views;
    TLoopExecutor exec;
    TPollLevels levels = OneLevel(a);
    levels.ResumeAfterLoss = true;
    TPollCycle cycle(levels, views.State, views, exec);
    std::thread poll([&] { cycle.Execute(); });
    CHECK(exec.ServeUntil([&] { return views.FirstCycles == 1; }));
    views.State.StoreStatus(2, 1, 5);
    CHECK(exec.ServeUntil([&] { return Crosspoint(a, 1, 2) == 5; }));
    sim.reset();
    cycle.RequestSalvo(false);
    CHECK(exec.ServeUntil([&] { return views.Lost != 0; }, 15000ms));
    exec.ServeFor(1500ms);
    CHECK(!views.Done.load() && views.Restores == 0);
    sim = std::make_unique<TSimProcess>(chassis);
    CHECK(exec.ServeUntil([&] { return views.Restores == 1; }, 10000ms));
    exec.ServeFor(100ms);
    const auto frames = Frames(*sim, 1);
    std::size_t firstState = frames.size(), firstSend = frames.size();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].size() > 1 && frames[i][1] == 6 && firstState == frames.size())
            firstState = i;
        if (frames[i].size() > 1 && frames[i][1] == 5 && firstSend == frames.size())
            firstSend = i;
    }
    CHECK(firstState < frames.size());
    CHECK(firstSend == frames.size()); // neither the old route nor the salvo
    CHECK(views.State.Status(2, 1) == 2);
    cycle.Terminate();
    CHECK(exec.ServeUntil([&] { return views.Done.load(); }));
    poll.join();
}

// A repaint requested while the status step runs is kept for the next one.
void StatusRequestDuringStep() {
    const std::string a = PlainSimAddress(6);
    TSimProcess sim({a + ":levels=1:size=8x8"});
    if (!CHECK(sim.Running()))
        return;
    TFakeViews views;
    TLoopExecutor exec;
    TPollCycle cycle(OneLevel(a), views.State, views, exec);
    views.OnPaintStatus = [&] {
        if (views.StatusPaints.size() == 1)
            cycle.RequestStatus(); // the operator switches a status tab meanwhile
    };
    std::thread poll([&] { cycle.Execute(); });
    CHECK(exec.ServeUntil([&] { return views.StatusPaints.size() >= 2; }, 5000ms));
    cycle.Terminate();
    CHECK(exec.ServeUntil([&] { return views.Done.load(); }));
    poll.join();
    CHECK(views.StatusPaints.size() >= 2 && views.StatusPaints[0] && views.StatusPaints[1]);
}

} // namespace

// The cycle's pause against a fake system that wakes sleepers late by a
// pattern: never shorter than 2 ms, and close to it once the lateness is learned.
void PauseNeverShortAndClose() {
    using D = std::chrono::microseconds;
    struct TCase {
        const char* Name;
        std::function<long(int)> Late; // microseconds late, by sleep number
        long MaxExcess;                // over the last pauses, on average
        long FinalLead;
    };
    const TCase cases[] = {
        {"steady", [](int) { return 60L; }, 0, 60},
        {"jitter", [](int i) { return 30L + 20L * (i % 4); }, 30, 30},
        {"drops", [](int i) { return i < 100 ? 80L : 10L; }, 0, 10},
        {"overloaded", [](int) { return 3000L; }, 2500, 500},
    };
    for (const TCase& c : cases) {
        int sleeps = 0;
        TCyclePause pause(
            2ms, [&](TCyclePause::Clock::time_point until) { return until + D(c.Late(sleeps++)); });
        TCyclePause::Clock::time_point t{};
        bool neverShort = true;
        long excess = 0;
        const int pauses = 300, measured = 100;
        for (int n = 0; n < pauses; ++n) {
            const auto end = pause.SleepFrom(t);
            neverShort = neverShort && end - t >= 2ms;
            if (n >= pauses - measured)
                excess += std::chrono::duration_cast<D>(end - t - 2ms).count();
            t = end + D(50); // the cycle's work
        }
        std::printf("pause %s: excess %ld us, lead %ld us\n", c.Name, excess / measured,
                    long(std::chrono::duration_cast<D>(pause.Lead()).count()));
        CHECK(neverShort);
        CHECK(excess / measured <= c.MaxExcess);
        CHECK(pause.Lead() == D(c.FinalLead));
    }
}

int main() {
    std::signal(SIGPIPE, SIG_IGN); // a simulator that died must fail checks, not end the test
    TwoChassis();
    OutputLimit();
    IdentifyGivesUp();
    SilentWhileOperating();
    StatusRequestDuringStep();
    ResumeAfterRestart();
    PauseNeverShortAndClose();
    return plain::Summary();
}
