// The HDMI window's requests as the poll thread reads them, without a toolkit,
// so ThreadSanitizer checks the hand-over.
#include "HdmiRequests.h"
#include "PlainTest.h"

#include <atomic>
#include <thread>

namespace {

// A switcher's state whose every value tells which tab it belongs to.
THdmiState StateOf(int tab) {
    THdmiState s;
    s.StandardCode = static_cast<std::uint16_t>(tab + 1);
    s.Meter1Slider = static_cast<std::uint16_t>(100 + tab);
    s.Meter2Slider = static_cast<std::uint16_t>(100 + tab);
    s.Meter1Group = static_cast<std::uint16_t>(tab);
    s.DbfsRef = static_cast<std::uint16_t>(tab);
    s.SliderMax = 404;
    return s;
}

void PublishTakesSwitcherValues() {
    THdmiRequests r;
    r.SetEnabled(true);
    r.SetTab(0);
    int tab = -1;
    THdmiWanted w;
    CHECK(r.Snapshot(tab, w) && tab == 0 && w.PaintedFor == -1); // nothing painted yet
    // First paint: every field, whatever the shadow says.
    THdmiState s = StateOf(0);
    CHECK(r.Publish(0, s, s) == HdmiAllFields);
    CHECK(r.Snapshot(tab, w) && w.PaintedFor == 0 && w.Meter1Slider == 100);
    // An operator's change stays until the switcher changes that same field.
    r.Change([](THdmiWanted& x) { x.ScaleMode = 1; });
    THdmiState next = s;
    next.Meter1Slider = 120;
    CHECK(r.Publish(0, next, s) == HdmiMeter1Slider);
    w = r.Wanted();
    CHECK(w.ScaleMode == 1 && w.Meter1Slider == 120);
    // Values the controls cannot show are kept as reported.
    THdmiState odd = next;
    odd.Meter1Group = 7;
    odd.DbfsRef = 25;
    odd.ScaleMode = 3;
    CHECK(r.Publish(0, odd, next) == (HdmiMeter1Group | HdmiDbfsRef | HdmiScaleMode));
    w = r.Wanted();
    CHECK(w.Meter1Group == 7 && w.DbfsRef == 25 && w.ScaleMode == 3);
    // A publish for another tab, or while off, changes nothing.
    CHECK(r.Publish(1, StateOf(1), StateOf(0)) == 0);
    r.SetEnabled(false);
    CHECK(!r.Snapshot(tab, w));
    CHECK(r.Publish(0, StateOf(0), odd) == 0);
    r.SetEnabled(true);
    CHECK(r.Snapshot(tab, w) && w.PaintedFor == -1); // off cleared the tag
    r.SetTab(1);
    CHECK(r.Snapshot(tab, w) && tab == 1 && w.PaintedFor == -1);
    r.SetTab(-1);
    CHECK(!r.Snapshot(tab, w));
}

// The GUI thread switches tabs and paints; the poll thread takes snapshots.
// A snapshot tagged for its tab always holds that tab's values.
void TabRaceUnderThreads() {
    THdmiRequests r;
    r.SetEnabled(true);
    r.SetTab(0);
    std::atomic<bool> stop{false};
    std::atomic<int> mismatches{0}, sendable{0};
    std::thread poll([&] {
        while (!stop.load()) {
            int tab = -1;
            THdmiWanted w;
            if (!r.Snapshot(tab, w) || w.PaintedFor != tab)
                continue;
            ++sendable;
            if (w.Meter1Slider != 100 + tab || w.Meter1Group != tab || w.DbfsRef != tab)
                ++mismatches;
        }
    });
    // Until the reader has seen enough sendable snapshots (it may start late).
    for (int i = 0; i < 5000000 && (i < 20000 || sendable.load() < 100); ++i) {
        const int tab = i % 3;
        r.SetTab(tab);
        const THdmiState s = StateOf(tab);
        r.Publish(tab, s, s);
    }
    stop.store(true);
    poll.join();
    CHECK(mismatches.load() == 0);
    CHECK(sendable.load() > 0);
}

} // namespace

int main() {
    CHECK(HdmiDifference(THdmiState{}, THdmiState{}) == 0);
    // The field table covers every repaint bit, and a shadow differs everywhere.
    THdmiState s;
    s.Meter1On = true;
    s.StandardName = "1080i50";
    CHECK(HdmiDifference(s, Differing(s)) == HdmiAllFields);
    CHECK(HdmiDifference(Differing(s), Differing(s)) == 0);
    PublishTakesSwitcherValues();
    TabRaceUnderThreads();
    return plain::Summary();
}
