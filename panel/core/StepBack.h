#pragma once

#include "CrossPoints.h"

#include <string>
#include <vector>

// One output's level as an action changed it: its routed input or its lock.
struct TStepEntry {
    int Output = 0;
    int Level = 1; // 1..4
    bool Lock = false;
    int Before = 0, After = 0; // input (0-based), or lock 0/1
    bool operator==(const TStepEntry&) const = default;
};

// An entry an undo could not restore, and why.
struct TStepHeld {
    TStepEntry Entry;
    THold Why = THold::None;
};

// One step back: what the last operator action changed, for exactly the
// outputs and levels it changed, with their state before. The switchers'
// reports are watched: once one shows a value the action did not leave
// there, someone else has changed it and the step is stale.
class TStepBack {
public:
    // Replaces the record with an action's changes; entries whose value did
    // not change are left out. `now` tells which changes are already shown.
    void Record(std::string action, std::vector<TStepEntry> entries, const TFieldState& now);
    void Clear();
    void MarkStale() { FStale = !FEntries.empty(); }

    bool Empty() const { return FEntries.empty(); }
    bool Stale() const { return FStale; }
    const std::string& Action() const { return FAction; }
    const std::vector<TStepEntry>& Entries() const { return FEntries; }

    // The switchers' report of an output's inputs or of its locks.
    void ObserveStatus(int output, const TLevelValues& inputs);
    void ObserveLocks(int output, std::uint32_t lockBytes);
    // Entries whose current value is neither the one before nor the one after.
    std::vector<TStepEntry> ChangedSince(const TFieldState& now) const;
    // Something to restore: not stale, nothing changed since, and some entry
    // differs from its value before.
    bool Available(const TFieldState& now) const;

    // Writes the values before back through the rules (a lock or an absent
    // switcher keeps a route; outputs and inputs must be in the matrix),
    // forced, as the keypad does: sent at once in either mode. Returns what
    // was not restored; the record is cleared.
    std::vector<TStepHeld> Apply(TCrossPoints& cross, std::vector<TStepEntry>* restored);

private:
    void Observe(const TStepEntry& e, std::size_t index, int value);

    std::string FAction;
    std::vector<TStepEntry> FEntries;
    std::vector<bool> FSeenAfter;
    bool FStale = false;
};
