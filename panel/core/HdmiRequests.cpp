#include "HdmiRequests.h"

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
    ForEachHdmiField([&](const auto& field) {
        using TField = std::decay_t<decltype(field)>;
        if constexpr (TField::Controlled) {
            auto& wanted = FWanted.*TField::Wanted;
            if (m & field.Bit)
                wanted = static_cast<std::decay_t<decltype(wanted)>>(state.*TField::State);
        }
    });
    FWanted.PaintedFor = tab;
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
