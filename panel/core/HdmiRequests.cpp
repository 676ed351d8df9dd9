#include "HdmiRequests.h"

unsigned HdmiDifference(const THdmiState& a, const THdmiState& b) {
    unsigned m = 0;
    auto mark = [&m](bool differs, THdmiField f) {
        if (differs)
            m |= f;
    };
    // The name too: a new name under the same code would never show.
    mark(a.StandardCode != b.StandardCode || a.StandardName != b.StandardName, HdmiStandard);
    mark(a.Groups != b.Groups, HdmiGroups);
    mark(a.SliderMax != b.SliderMax, HdmiSliderMax);
    mark(a.Meter1Slider != b.Meter1Slider, HdmiMeter1Slider);
    mark(a.Meter1Group != b.Meter1Group, HdmiMeter1Group);
    mark(a.Meter1On != b.Meter1On, HdmiMeter1On);
    mark(a.Meter2Slider != b.Meter2Slider, HdmiMeter2Slider);
    mark(a.Meter2Group != b.Meter2Group, HdmiMeter2Group);
    mark(a.Meter2On != b.Meter2On, HdmiMeter2On);
    mark(a.ScaleMode != b.ScaleMode, HdmiScaleMode);
    mark(a.DbfsRef != b.DbfsRef, HdmiDbfsRef);
    mark(a.DbuRef != b.DbuRef, HdmiDbuRef);
    mark(a.StreamMode != b.StreamMode, HdmiStreamMode);
    return m;
}

void THdmiRequests::SetEnabled(bool on) {
    std::lock_guard l(FM);
    FEnabled = on;
    if (!on)
        FWanted.PaintedFor = -1;
}

void THdmiRequests::SetTab(int tab) {
    std::lock_guard l(FM);
    if (tab != FTab)
        FWanted.PaintedFor = -1;
    FTab = tab;
}

void THdmiRequests::ResetTag() {
    std::lock_guard l(FM);
    FWanted.PaintedFor = -1;
}

unsigned THdmiRequests::Publish(int tab, const THdmiState& state, const THdmiState& shadow) {
    std::lock_guard l(FM);
    if (!FEnabled || tab < 0 || tab != FTab)
        return 0;
    const unsigned m = FWanted.PaintedFor == tab ? HdmiDifference(state, shadow) : HdmiAllFields;
    THdmiWanted& w = FWanted;
    if (m & HdmiMeter1On)
        w.Meter1On = state.Meter1On;
    if (m & HdmiMeter2On)
        w.Meter2On = state.Meter2On;
    if (m & HdmiMeter1Slider)
        w.Meter1Slider = state.Meter1Slider;
    if (m & HdmiMeter2Slider)
        w.Meter2Slider = state.Meter2Slider;
    if (m & HdmiMeter1Group)
        w.Meter1Group = state.Meter1Group;
    if (m & HdmiMeter2Group)
        w.Meter2Group = state.Meter2Group;
    if (m & HdmiScaleMode)
        w.ScaleMode = state.ScaleMode;
    if (m & HdmiDbfsRef)
        w.DbfsRef = state.DbfsRef;
    if (m & HdmiDbuRef)
        w.DbuRef = state.DbuRef;
    if (m & HdmiStreamMode)
        w.StreamMode = state.StreamMode;
    w.PaintedFor = tab;
    return m;
}

void THdmiRequests::Change(const std::function<void(THdmiWanted&)>& change) {
    std::lock_guard l(FM);
    const int tag = FWanted.PaintedFor;
    change(FWanted);
    FWanted.PaintedFor = tag;
}

THdmiWanted THdmiRequests::Wanted() const {
    std::lock_guard l(FM);
    return FWanted;
}

bool THdmiRequests::Enabled() const {
    std::lock_guard l(FM);
    return FEnabled;
}

bool THdmiRequests::Snapshot(int& tab, THdmiWanted& wanted) const {
    std::lock_guard l(FM);
    if (!FEnabled || FTab < 0)
        return false;
    tab = FTab;
    wanted = FWanted;
    return true;
}
