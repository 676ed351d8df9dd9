#pragma once

#include "PollCycle.h"
#include "SwitcherConnection.h"

#include <cstdint>
#include <functional>
#include <mutex>

// Fields of the HDMI state, as bits of a repaint mask.
enum THdmiField : unsigned {
    HdmiStandard = 1u << 0,
    HdmiGroups = 1u << 1,
    HdmiSliderMax = 1u << 2,
    HdmiMeter1Slider = 1u << 3,
    HdmiMeter1Group = 1u << 4,
    HdmiMeter1On = 1u << 5,
    HdmiMeter2Slider = 1u << 6,
    HdmiMeter2Group = 1u << 7,
    HdmiMeter2On = 1u << 8,
    HdmiScaleMode = 1u << 9,
    HdmiDbfsRef = 1u << 10,
    HdmiDbuRef = 1u << 11,
    HdmiStreamMode = 1u << 12,
    HdmiAllFields = (1u << 13) - 1
};

// The fields in which two states differ.
unsigned HdmiDifference(const THdmiState& a, const THdmiState& b);

// What the HDMI window asks of the selected switcher, handed to the poll
// thread. The wanted values change only by the operator's actions and by the
// switcher's own changes as they are painted; the controls show a clamped
// copy. The values are tagged with the tab their controls were last painted
// for, and a snapshot is sendable only while that tag is the selected tab.
class THdmiRequests {
public:
    // GUI thread.
    void SetEnabled(bool on);
    void SetTab(int tab);
    // The controls no longer show a switcher's state (window hidden, polling ended).
    void ResetTag();
    // Takes the switcher's values for the fields that changed there (every
    // field when the controls were painted for another tab or for none) and
    // tags the values with tab. Returns the fields to repaint; 0 when tab is
    // not the selected one or monitoring is off.
    unsigned Publish(int tab, const THdmiState& state, const THdmiState& shadow);
    // An operator's action on the controls.
    void Change(const std::function<void(THdmiWanted&)>& change);
    THdmiWanted Wanted() const;
    bool Enabled() const;

    // Poll thread: false while monitoring is off or no tab is selected.
    // wanted.PaintedFor tells whether the values belong to tab.
    bool Snapshot(int& tab, THdmiWanted& wanted) const;

private:
    mutable std::mutex FM;
    bool FEnabled = false;
    int FTab = -1;
    THdmiWanted FWanted;
};
