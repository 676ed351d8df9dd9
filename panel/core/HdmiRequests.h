#pragma once

#include "PollCycle.h"
#include "SwitcherConnection.h"

#include <cstdint>
#include <functional>
#include <mutex>

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
