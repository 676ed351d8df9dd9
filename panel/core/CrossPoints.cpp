#include "CrossPoints.h"

#include "Index.h"

#include <algorithm>
#include <vector>

namespace {
// Each index once, in the order first met; values with no cell (outside
// 0..256) are left out.
class TOnce {
public:
    void Add(int index) {
        if (index >= 0 && index < FieldSlots && !FSeen[Ix(index)]++)
            FOrder.push_back(index);
    }
    const std::vector<int>& Order() const { return FOrder; }

private:
    std::array<std::uint8_t, FieldSlots> FSeen{};
    std::vector<int> FOrder;
};
} // namespace

namespace {
// Each reason with what an operator reads and the word a script reads.
struct THoldName {
    THold Hold;
    const char* Text;
    const char* Key;
};
constexpr THoldName HoldNames[] = {
    {THold::None, "taken", "taken"},
    {THold::SwitcherAway, "switcher not connected", "switcher_away"},
    {THold::OutsideMatrix, "outside the matrix", "outside_matrix"},
    {THold::NotControlled, "level not under CONTROL", "not_controlled"},
    {THold::Locked, "locked", "locked"},
};
const THoldName& NameOf(THold hold) {
    for (const THoldName& n : HoldNames)
        if (n.Hold == hold)
            return n;
    return HoldNames[0];
}
} // namespace

const char* HoldText(THold hold) {
    return NameOf(hold).Text;
}

const char* HoldKey(THold hold) {
    return NameOf(hold).Key;
}

TLevelValues LockFlags(std::uint32_t lockBytes) {
    TLevelValues v{};
    for (int k = 1; k <= FieldLevels; ++k)
        v[Ix(k - 1)] = LevelFlag(lockBytes, k) ? 1 : 0;
    return v;
}

void TCrossPoints::SetSize(int inputs, int outputs) {
    FState.SetInputs(std::clamp(inputs, 0, 256));
    FState.SetOutputs(std::clamp(outputs, 0, 256));
}

void TCrossPoints::SetLevelCount(int n) {
    FState.SetLevelCount(std::clamp(n, 0, FieldLevels));
}

void TCrossPoints::SetPresetMode(bool on) {
    const bool was = FPresetMode;
    FPresetMode = on;
    if (!was || on)
        return;
    for (int row = 0; row < FState.Outputs(); ++row) {
        const TLevelValues st = FState.Status(row), pr = FState.Preset(row);
        bool differs = false;
        for (int k = 1; k <= FState.LevelCount(); ++k)
            differs = differs || st[Ix(k - 1)] != pr[Ix(k - 1)];
        if (differs)
            ApplyPreset(row, st, true);
    }
}

void TCrossPoints::SetLock(int row, std::uint32_t lockBytes) {
    FState.StoreLock(row, lockBytes);
    Changed(TCrossPointCell::Lock, 0, row);
}

bool TCrossPoints::ClickableLevel(int row, int level, bool preset) const {
    const bool toPreset = preset && FPresetMode;
    return LevelFlag(FState.Control(), level) && (toPreset || !Away(level)) &&
           (toPreset || !FState.Locked(row, level));
}

// The TAKE sends the preset on controlled levels and the status elsewhere; the
// switcher keeps a locked output unless locks are ignored.
THold TCrossPoints::TakeHold(int row, int level, bool ignoreLocks) const {
    if (row < 0 || row >= Outputs() || level < 1 || level > LevelCount())
        return THold::OutsideMatrix;
    const int preset = FState.Preset(row, level);
    if (preset == FState.Status(row, level))
        return THold::None;
    if (Away(level))
        return THold::SwitcherAway;
    if (preset < 0 || preset >= Inputs())
        return THold::OutsideMatrix;
    if (!LevelFlag(FState.Control(), level))
        return THold::NotControlled;
    if (!ignoreLocks && FState.Locked(row, level))
        return THold::Locked;
    return THold::None;
}

// Changes one output's status (or preset) on the levels the rule allows and
// reports each affected input's cell of that row once.
void TCrossPoints::ApplyRow(bool preset, int row, const TLevelValues& values, bool force) {
    if (!TFieldState::ValidRow(row))
        return;
    TOnce inputs;
    for (int k = 1; k <= FState.LevelCount(); ++k) {
        const int old = preset ? FState.Preset(row, k) : FState.Status(row, k);
        const int now = values[Ix(k - 1)];
        if (now != old && (force || ClickableLevel(row, k, preset))) {
            inputs.Add(old);
            inputs.Add(now);
            if (preset)
                FState.StorePreset(row, k, now);
            else
                FState.StoreStatus(row, k, now);
        }
    }
    for (int input : inputs.Order())
        Changed(TCrossPointCell::Grid, input, row);
}

void TCrossPoints::ApplyStatus(int row, const TLevelValues& values, bool force) {
    ApplyRow(false, row, values, force);
    ApplyPreset(row, values, force);
}

void TCrossPoints::ApplyPreset(int row, const TLevelValues& values, bool force) {
    ApplyRow(true, row, values, force);
}

void TCrossPoints::ApplyMonitor(const TLevelValues& values, bool force) {
    TOnce rows;
    for (int k = 1; k <= FState.LevelCount(); ++k) {
        const int old = FState.Monitor(k), now = values[Ix(k - 1)];
        if (now != old && (force || (LevelFlag(FState.Control(), k) && !Away(k)))) {
            rows.Add(old);
            rows.Add(now);
            FState.StoreMonitor(k, now);
        }
    }
    for (int row : rows.Order())
        Changed(TCrossPointCell::Monitor, 0, row);
}

void TCrossPoints::Route(int output, int input) {
    if (output < 0 || output >= Outputs() || input < 0 || input >= Inputs())
        return;
    const TLevelValues values{input, input, input, input};
    if (FPresetMode) {
        ApplyPreset(output, values, false);
        return;
    }
    const TLevelValues before = FState.Status(output);
    ApplyStatus(output, values, false);
    Report(TOperatorAction::Status, output, before, FState.Status(output));
}

void TCrossPoints::CopyStatusToPreset(int output) {
    ApplyPreset(output, FState.Status(output), true);
}

void TCrossPoints::SelectMonitor(int output) {
    if (output < 0 || output >= Outputs())
        return;
    const TLevelValues before = FState.Monitor();
    ApplyMonitor({output, output, output, output}, false);
    Report(TOperatorAction::Monitor, -1, before, FState.Monitor());
}

void TCrossPoints::ChangeLocks(int output, bool lock) {
    if (LevelCount() <= 0 || output < 0 || output >= Outputs())
        return;
    const std::uint32_t old = FState.Lock(output);
    std::uint32_t bytes = old;
    for (int k = 1; k <= FieldLevels; ++k)
        if (LevelFlag(FState.Control(), k) && !Away(k)) {
            bytes &= ~PackedFlag(k);
            if (lock)
                bytes |= 1u << (8 * (k - 1));
        }
    SetLock(output, bytes);
    Report(TOperatorAction::Lock, output, LockFlags(old), LockFlags(bytes));
}

void TCrossPoints::KeypadRoute(int output, int input) {
    if (output < 0 || output >= Outputs() || input < 0 || input >= Inputs())
        return;
    const TLevelValues before = FState.Status(output);
    TLevelValues values = before;
    for (int k = 1; k <= LevelCount(); ++k)
        if (LevelFlag(FState.Control(), k) && !FState.Locked(output, k) && !Away(k))
            values[Ix(k - 1)] = input;
    ApplyStatus(output, values, true);
    Report(TOperatorAction::KeypadStatus, output, before, FState.Status(output));
}

int TCrossPoints::StepMonitor(int delta) {
    const TLevelValues before = FState.Monitor();
    TLevelValues monitor = before;
    int last = -1;
    for (int k = 1; k <= LevelCount(); ++k) {
        int& m = monitor[Ix(k - 1)];
        if (!LevelFlag(FState.Control(), k) || Away(k))
            continue;
        if ((delta < 0 && m > 0) || (delta > 0 && m < Outputs() - 1)) {
            m += delta;
            last = m;
        }
    }
    ApplyMonitor(monitor, true);
    Report(TOperatorAction::Monitor, -1, before, FState.Monitor());
    return last;
}
