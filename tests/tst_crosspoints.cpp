// The operator's rules on the cross-point table, without a view: which levels
// a click changes, what it reports for the log, which cells it repaints. Plain
// C++, so it also runs under ThreadSanitizer with a reader thread.
#include "CrossPoints.h"
#include "KeypadEntry.h"
#include "PlainTest.h"
#include "StepBack.h"

#include <atomic>
#include <set>
#include <thread>
#include <vector>

namespace {

struct TRecorder {
    std::vector<TOperatorAction> Actions;
    std::vector<std::pair<int, int>> GridCells;
    explicit TRecorder(TCrossPoints& x) {
        x.OnOperatorAction = [this](TOperatorAction a, int, const TLevelValues&,
                                    const TLevelValues&) { Actions.push_back(a); };
        x.OnCellChanged = [this](TCrossPointCell c, int col, int row) {
            if (c == TCrossPointCell::Grid)
                GridCells.emplace_back(col, row);
        };
    }
};

// A 4 x 4 matrix on four levels, every output routed to input 0, output 1
// locked on level 2, CONTROL on levels 1 and 2.
void Fill(TCrossPoints& x) {
    x.SetSize(4, 4);
    x.SetLevelCount(4);
    for (int o = 0; o < 4; ++o)
        x.ApplyStatus(o, {0, 0, 0, 0}, true);
    x.SetLock(1, PackedFlag(2) & 0x01010101u);
    x.SetControl(PackedFlag(1) | PackedFlag(2));
}

void RouteFollowsControlLocksAndMode() {
    struct TCase {
        const char* Name;
        bool Preset;
        int Output;
        TLevelValues Status, PresetValues;
        std::size_t Reports;
    };
    const TCase cases[] = {
        {"on line, unlocked: controlled levels", false, 0, {3, 3, 0, 0}, {3, 3, 0, 0}, 1},
        {"on line, locked level kept", false, 1, {3, 0, 0, 0}, {3, 0, 0, 0}, 1},
        {"preset: status kept, lock ignored", true, 1, {0, 0, 0, 0}, {3, 3, 0, 0}, 0},
    };
    for (const TCase& c : cases) {
        TCrossPoints x;
        Fill(x);
        x.SetPresetMode(c.Preset);
        TRecorder rec(x);
        x.Route(c.Output, 3);
        if (!CHECK(x.State().Status(c.Output) == c.Status) ||
            !CHECK(x.State().Preset(c.Output) == c.PresetValues) ||
            !CHECK(rec.Actions.size() == c.Reports))
            std::printf("  case: %s\n", c.Name);
        // Only the old and the new input's cells of the row are repainted.
        const std::set<std::pair<int, int>> cells(rec.GridCells.begin(), rec.GridCells.end());
        CHECK(cells == (std::set<std::pair<int, int>>{{0, c.Output}, {3, c.Output}}));
    }
}

void OutOfRangeAndNoChangeReportNothing() {
    TCrossPoints x;
    Fill(x);
    TRecorder rec(x);
    x.Route(4, 0);
    x.Route(0, 4);
    x.Route(-1, 0);
    x.Route(0, 0); // already there
    x.SelectMonitor(9);
    x.ChangeLocks(7, true);
    CHECK(rec.Actions.empty());
    CHECK(rec.GridCells.empty());
}

void LocksAndMonitorOnControlledLevels() {
    TCrossPoints x;
    Fill(x);
    TRecorder rec(x);
    x.ChangeLocks(2, true);
    CHECK(x.State().Lock(2) == 0x00000101u);
    x.ChangeLocks(1, false);
    CHECK(x.State().Lock(1) == 0u);
    x.SelectMonitor(3);
    CHECK(x.State().Monitor() == (TLevelValues{3, 3, 0, 0}));
    CHECK(rec.Actions == (std::vector<TOperatorAction>{TOperatorAction::Lock, TOperatorAction::Lock,
                                                       TOperatorAction::Monitor}));
}

void LeavingPresetDropsDifferingPresets() {
    TCrossPoints x;
    Fill(x);
    x.SetPresetMode(true);
    x.Route(2, 1);
    x.SetPresetMode(false);
    CHECK(x.State().Preset(2) == x.State().Status(2));
}

// The poll thread reads rows while the GUI thread routes.
void ReaderSeesWholeValues() {
    TCrossPoints x;
    x.SetSize(256, 256);
    x.SetLevelCount(4);
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!done.load())
            for (int o = 0; o < 256; o += 7)
                for (std::int32_t v : x.State().Status(o))
                    if (v < 0 || v > 255)
                        bad.fetch_add(1);
    });
    for (int round = 0; round < 50; ++round)
        for (int o = 0; o < 256; ++o)
            x.Route(o, (o + round) % 256);
    done.store(true);
    reader.join();
    CHECK(bad.load() == 0);
    CHECK(x.State().Status(10)[0] == (10 + 49) % 256);
}

} // namespace

// The keypad's numbers, key by key: O and I select, digits add, '<' is "<-",
// 'e' is ESC, 'T' is TAKE (its answer in `routable`); 16 outputs, 100 inputs.
void KeypadNumbers() {
    struct TCase {
        const char* Keys;
        int Output, Input;
        bool Routable;
    };
    const TCase cases[] = {
        {"I123", 0, 12, false},  // 123 is over the 100 inputs: refused
        {"I12<", 0, 1, false},   // "<-" drops the last digit
        {"I12e", 0, 0, false},   // ESC clears
        {"O5O9", 9, 0, false},   // a new selection starts a new number
        {"O5O17", 1, 0, false},  // 17 outputs refused after the restart: 1 stays
        {"O3I42T", 3, 42, true}, // both inside: TAKE routes
        {"O3I42T7", 3, 7, true}, // after TAKE a digit starts a new number
        {"O0I1T", 0, 1, false},  // output 0 is no output
    };
    for (const TCase& c : cases) {
        TKeypadEntry k;
        bool routable = false;
        for (const char* p = c.Keys; *p; ++p) {
            const int limit = k.ToOutput() ? 16 : 100;
            if (*p == 'O' || *p == 'I')
                k.Select(*p == 'O');
            else if (*p == 'T')
                routable = k.Take(16, 100);
            else if (*p == '<')
                k.Press(TKeypadEntry::TKey::Back, 0, limit);
            else if (*p == 'e')
                k.Press(TKeypadEntry::TKey::Escape, 0, limit);
            else
                k.Press(TKeypadEntry::TKey::Digit, *p - '0', limit);
        }
        CHECK(k.Output() == c.Output);
        CHECK(k.Input() == c.Input);
        CHECK(routable == c.Routable);
    }
}

// Which presets a TAKE leaves out and why, with the precedence of the reasons.
void TakeHoldsPresets() {
    struct TCase {
        const char* Name;
        int Output, Level, Preset;
        bool IgnoreLocks;
        std::uint32_t Away;
        THold Expected;
    };
    const TCase cases[] = {
        {"taken", 0, 1, 2, false, 0, THold::None},
        {"preset equal to status: nothing to take", 0, 1, 0, false, 0, THold::None},
        {"level not under CONTROL", 0, 3, 2, false, 0, THold::NotControlled},
        {"locked on that level", 1, 2, 2, false, 0, THold::Locked},
        {"locked, locks ignored", 1, 2, 2, true, 0, THold::None},
        {"switcher away before the lock", 1, 2, 2, false, PackedFlag(2), THold::SwitcherAway},
        {"input outside the matrix", 0, 1, 9, false, 0, THold::OutsideMatrix},
        {"output outside the matrix", 7, 1, 2, false, 0, THold::OutsideMatrix},
    };
    for (const TCase& c : cases) {
        TCrossPoints x;
        Fill(x);
        x.SetPresetMode(true);
        x.SetLevelsAway(c.Away);
        TLevelValues preset = x.State().Preset(c.Output);
        preset[static_cast<std::size_t>(c.Level - 1)] = c.Preset;
        x.ApplyPreset(c.Output, preset, true);
        if (!CHECK(x.TakeHold(c.Output, c.Level, c.IgnoreLocks) == c.Expected))
            std::printf("  case: %s\n", c.Name);
    }
    // An absent switcher's levels refuse the operator's changes.
    TCrossPoints x;
    Fill(x);
    x.SetLevelsAway(PackedFlag(1));
    x.Route(0, 3);
    x.KeypadRoute(2, 3);
    x.ChangeLocks(3, true);
    CHECK(x.State().Status(0) == (TLevelValues{0, 3, 0, 0}));
    CHECK(x.State().Status(2) == (TLevelValues{0, 3, 0, 0}));
    CHECK(!x.State().Locked(3, 1) && x.State().Locked(3, 2));
}

// The step back goes stale on someone else's change, not on the action's own
// result arriving; it restores through locks and absent switchers.
void StepBackWatchesAndRestores() {
    struct TCase {
        const char* Name;
        bool Applied;             // the field shows After when recorded (a click)
        std::vector<int> Reports; // reported inputs of output 0 on level 1, in order
        bool Stale, Available;
    };
    const TCase cases[] = {
        {"click, nothing reported", true, {}, false, true},
        {"take, result arrives", false, {5}, false, true},
        {"take not yet applied", false, {}, false, false},
        {"another input reported", true, {7}, true, false},
        {"reverted by someone", false, {5, 0}, true, false},
        {"refused at once, then taken", false, {0, 5}, false, true},
    };
    for (const TCase& c : cases) {
        TCrossPoints x;
        Fill(x);
        if (c.Applied)
            x.ApplyStatus(0, {5, 0, 0, 0}, true);
        TStepBack step;
        step.Record("T", {{0, 1, false, 0, 5}, {0, 2, false, 0, 0}}, x.State());
        for (int v : c.Reports) {
            step.ObserveStatus(0, {v, 0, 0, 0});
            x.ApplyStatus(0, {v, 0, 0, 0}, true);
        }
        const bool ok = CHECK(step.Entries().size() == 1) && CHECK(step.Stale() == c.Stale) &&
                        CHECK(step.Available(x.State()) == c.Available);
        if (!ok)
            std::printf("  case: %s\n", c.Name);
    }
    // Restoring: output 0 back on both levels, output 1 kept by its lock on
    // level 2, a lock taken back; an absent level is reported, not forced.
    TCrossPoints x;
    Fill(x);
    x.ApplyStatus(0, {5, 6, 0, 0}, true);
    x.ApplyStatus(1, {5, 6, 0, 0}, true);
    x.SetLock(2, 0x01);
    TStepBack step;
    step.Record("T",
                {{0, 1, false, 0, 5},
                 {0, 2, false, 0, 6},
                 {1, 1, false, 0, 5},
                 {1, 2, false, 0, 6},
                 {2, 1, true, 0, 1}},
                x.State());
    std::vector<TStepEntry> restored;
    const std::vector<TStepHeld> held = step.Apply(x, &restored);
    CHECK(x.State().Status(0) == (TLevelValues{0, 0, 0, 0}));
    CHECK(x.State().Status(1) == (TLevelValues{0, 6, 0, 0}));
    CHECK(!x.State().Locked(2, 1));
    CHECK(held.size() == 1 && held[0].Why == THold::Locked && held[0].Entry.Output == 1);
    CHECK(restored.size() == 4 && step.Empty());
    x.SetLevelsAway(PackedFlag(1));
    x.ApplyStatus(3, {5, 0, 0, 0}, true);
    step.Record("T", {{3, 1, false, 0, 5}}, x.State());
    CHECK(step.Apply(x, nullptr).front().Why == THold::SwitcherAway);
    CHECK(x.State().Status(3, 1) == 5);
}

int main() {
    KeypadNumbers();
    RouteFollowsControlLocksAndMode();
    OutOfRangeAndNoChangeReportNothing();
    LocksAndMonitorOnControlledLevels();
    LeavingPresetDropsDifferingPresets();
    ReaderSeesWholeValues();
    TakeHoldsPresets();
    StepBackWatchesAndRestores();
    return plain::Summary();
}
