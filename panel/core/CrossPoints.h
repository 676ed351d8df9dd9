#pragma once

#include "FieldState.h"

#include <cstdint>
#include <functional>

// What changed in the cross-point table, so that a view repaints that cell:
// a cross-point (input column, output row), or an output's monitor or lock mark.
enum class TCrossPointCell { Grid, Monitor, Lock };

// An operator's change of what is sent to the switchers.
enum class TOperatorAction { Status, KeypadStatus, Lock, Monitor };

// Why a TAKE leaves a preset cross-point as it is (None: it takes it). The
// order is the order of precedence when several hold.
enum class THold { None, SwitcherAway, OutsideMatrix, NotControlled, Locked };
// "locked", "level not under CONTROL", ...: what an operator reads.
const char* HoldText(THold hold);
// The stable word a script reads ("locked", "not_controlled", ...).
const char* HoldKey(THold hold);

// The cross-points the operator wants, with the rules of who may change what:
// CONTROL picks the levels a click changes, a lock keeps a level's status, and
// in PRESET mode a click changes the preset instead. Plain C++: the poll
// thread reads State() while the GUI thread changes it.
class TCrossPoints {
public:
    const TFieldState& State() const { return FState; }
    int Inputs() const { return FState.Inputs(); }
    int Outputs() const { return FState.Outputs(); }
    int LevelCount() const { return FState.LevelCount(); }

    // Clamped to 0..256 inputs and outputs, 0..4 levels.
    void SetSize(int inputs, int outputs);
    void SetLevelCount(int n);
    void SetControl(std::uint32_t packed) { FState.SetControl(packed); }
    void SetVisible(std::uint32_t packed) { FState.SetVisible(packed); }
    // Leaving PRESET mode drops the presets that differ from the status.
    void SetPresetMode(bool on);
    bool PresetMode() const { return FPresetMode; }

    // Writes from the switchers (force) or from a rule: without force only
    // the levels ClickableLevel allows change. A status write sets the preset too.
    void ApplyStatus(int row, const TLevelValues& values, bool force);
    void ApplyPreset(int row, const TLevelValues& values, bool force);
    void ApplyMonitor(const TLevelValues& values, bool force);
    void SetLock(int row, std::uint32_t lockBytes);
    bool ClickableLevel(int row, int level, bool preset) const;

    // Levels whose switcher does not answer: their state is not known, the
    // operator's changes to them are refused and a TAKE leaves them out.
    void SetLevelsAway(std::uint32_t packed) { FAway = packed; }
    std::uint32_t LevelsAway() const { return FAway; }
    bool Away(int level) const { return LevelFlag(FAway, level); }
    // What keeps a TAKE from setting output row to its preset on level (a
    // preset equal to the status is never held: there is nothing to take).
    THold TakeHold(int row, int level, bool ignoreLocks) const;

    // The operator's actions. Each reports what it changed on the wire
    // through OnOperatorAction (a preset change goes nowhere until TAKE).
    // Routes input to output: the preset in PRESET mode, else the status.
    void Route(int output, int input);
    void CopyStatusToPreset(int output);
    void SelectMonitor(int output);
    // Locks (or unlocks) output on the controlled levels.
    void ChangeLocks(int output, bool lock);
    // The keypad's route: input to output on the controlled, unlocked levels,
    // sent at once in either mode.
    void KeypadRoute(int output, int input);
    // Moves each controlled level's monitored output by delta within the
    // matrix; the last output moved to, or -1.
    int StepMonitor(int delta);

    std::function<void(TCrossPointCell, int col, int row)> OnCellChanged;
    std::function<void(TOperatorAction, int row, const TLevelValues& before,
                       const TLevelValues& after)>
        OnOperatorAction;

private:
    void ApplyRow(bool preset, int row, const TLevelValues& values, bool force);
    void Changed(TCrossPointCell cell, int col, int row) {
        if (OnCellChanged)
            OnCellChanged(cell, col, row);
    }
    void Report(TOperatorAction action, int row, const TLevelValues& before,
                const TLevelValues& after) {
        if (after != before && OnOperatorAction)
            OnOperatorAction(action, row, before, after);
    }

    TFieldState FState;
    bool FPresetMode = false;
    std::uint32_t FAway = 0;
};

// Lock bytes as 1 (locked) or 0 per level.
TLevelValues LockFlags(std::uint32_t lockBytes);
