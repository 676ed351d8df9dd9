#include "StepBack.h"

#include "Index.h"

#include <algorithm>
#include <map>

namespace {

int Current(const TFieldState& f, const TStepEntry& e) {
    return e.Lock ? (f.Locked(e.Output, e.Level) ? 1 : 0) : f.Status(e.Output, e.Level);
}

bool Valid(const TStepEntry& e) {
    return e.Output >= 0 && e.Output < FieldSlots - 1 && e.Level >= 1 && e.Level <= FieldLevels;
}

} // namespace

void TStepBack::Record(std::string action, std::vector<TStepEntry> entries,
                       const TFieldState& now) {
    std::erase_if(entries, [](const TStepEntry& e) { return !Valid(e) || e.Before == e.After; });
    FAction = std::move(action);
    FEntries = std::move(entries);
    FSeenAfter.assign(FEntries.size(), false);
    for (std::size_t i = 0; i < FEntries.size(); ++i)
        FSeenAfter[i] = Current(now, FEntries[i]) == FEntries[i].After;
    FStale = false;
}

void TStepBack::Clear() {
    FAction.clear();
    FEntries.clear();
    FSeenAfter.clear();
    FStale = false;
}

// The action's own result arrives as After; Before before it arrived is the
// switcher not having acted yet. Anything else, or Before once After was
// seen, is someone else's change.
void TStepBack::Observe(const TStepEntry& e, std::size_t index, int value) {
    if (value == e.After)
        FSeenAfter[index] = true;
    else if (value != e.Before || FSeenAfter[index])
        FStale = true;
}

void TStepBack::ObserveStatus(int output, const TLevelValues& inputs) {
    for (std::size_t i = 0; i < FEntries.size(); ++i) {
        const TStepEntry& e = FEntries[i];
        if (!e.Lock && e.Output == output)
            Observe(e, i, inputs[Ix(e.Level - 1)]);
    }
}

void TStepBack::ObserveLocks(int output, std::uint32_t lockBytes) {
    for (std::size_t i = 0; i < FEntries.size(); ++i) {
        const TStepEntry& e = FEntries[i];
        if (e.Lock && e.Output == output)
            Observe(e, i, LevelFlag(lockBytes, e.Level) ? 1 : 0);
    }
}

std::vector<TStepEntry> TStepBack::ChangedSince(const TFieldState& now) const {
    std::vector<TStepEntry> changed;
    for (const TStepEntry& e : FEntries) {
        const int v = Current(now, e);
        if (v != e.Before && v != e.After)
            changed.push_back(e);
    }
    return changed;
}

bool TStepBack::Available(const TFieldState& now) const {
    if (FStale || !ChangedSince(now).empty())
        return false;
    return std::any_of(FEntries.begin(), FEntries.end(),
                       [&](const TStepEntry& e) { return Current(now, e) != e.Before; });
}

std::vector<TStepHeld> TStepBack::Apply(TCrossPoints& cross, std::vector<TStepEntry>* restored) {
    const TFieldState& f = cross.State();
    std::vector<TStepHeld> held;
    // One write per output: its routes, then its locks.
    std::map<int, std::vector<const TStepEntry*>> byOutput;
    for (const TStepEntry& e : FEntries)
        byOutput[e.Output].push_back(&e);
    for (const auto& [o, entries] : byOutput) {
        TLevelValues inputs = f.Status(o);
        std::uint32_t locks = f.Lock(o);
        bool route = false, lock = false;
        for (const TStepEntry* e : entries) {
            const int k = e->Level;
            if (Current(f, *e) == e->Before)
                continue; // the switcher never took it, or it is back already
            THold why = THold::None;
            if (cross.Away(k))
                why = THold::SwitcherAway;
            else if (o >= cross.Outputs() || k > cross.LevelCount() ||
                     (!e->Lock && (e->Before < 0 || e->Before >= cross.Inputs())))
                why = THold::OutsideMatrix;
            else if (!e->Lock && f.Locked(o, k))
                why = THold::Locked;
            if (why != THold::None) {
                held.push_back({*e, why});
                continue;
            }
            if (e->Lock) {
                locks = (locks & ~PackedFlag(k)) | (e->Before ? 1u << (8 * (k - 1)) : 0u);
                lock = true;
            } else {
                inputs[Ix(k - 1)] = e->Before;
                route = true;
            }
            if (restored)
                restored->push_back(*e);
        }
        if (route)
            cross.ApplyStatus(o, inputs, true);
        if (lock)
            cross.SetLock(o, locks);
    }
    Clear();
    return held;
}
