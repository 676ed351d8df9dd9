#pragma once

#include "SwitcherConnection.h"

#include <string>
#include <tuple>
#include <type_traits>

// HDMI values the operator wants, as the HDMI window's controls hold them.
struct THdmiWanted {
    bool Meter1On = false, Meter2On = false;
    int Meter1Slider = 0, Meter2Slider = 0;
    int Meter1Group = 0, Meter2Group = 0;
    int ScaleMode = 0;
    int DbfsRef = 0, DbuRef = 0;
    int StreamMode = 0;
    // The tab whose switcher state the controls were last painted from; -1
    // none. Values are sent only to that switcher.
    int PaintedFor = -1;
};

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

// One field of a switcher's HDMI state: its repaint bit and, for the values
// the operator controls, where the HDMI window keeps the wanted value and the
// command that sends it.
template <auto StateMember, auto WantedMember = nullptr> struct THdmiFieldInfo {
    static constexpr auto State = StateMember;
    static constexpr auto Wanted = WantedMember;
    static constexpr bool Controlled = !std::is_null_pointer_v<decltype(WantedMember)>;
    unsigned Bit;
    bool (*Send)(TSwitcherConnection&, int) = nullptr;
};

// Every field, the controlled ones in the order their commands are sent.
inline constexpr auto HdmiFields = std::tuple{
    THdmiFieldInfo<&THdmiState::StandardCode>{HdmiStandard},
    THdmiFieldInfo<&THdmiState::StandardName>{HdmiStandard},
    THdmiFieldInfo<&THdmiState::Groups>{HdmiGroups},
    THdmiFieldInfo<&THdmiState::SliderMax>{HdmiSliderMax},
    THdmiFieldInfo<&THdmiState::Meter1On, &THdmiWanted::Meter1On>{
        HdmiMeter1On, [](TSwitcherConnection& p, int v) { return p.SetMeterOn(0, v != 0); }},
    THdmiFieldInfo<&THdmiState::Meter2On, &THdmiWanted::Meter2On>{
        HdmiMeter2On, [](TSwitcherConnection& p, int v) { return p.SetMeterOn(1, v != 0); }},
    THdmiFieldInfo<&THdmiState::Meter1Slider, &THdmiWanted::Meter1Slider>{
        HdmiMeter1Slider, [](TSwitcherConnection& p, int v) { return p.SetMeterSlider(0, v); }},
    THdmiFieldInfo<&THdmiState::Meter2Slider, &THdmiWanted::Meter2Slider>{
        HdmiMeter2Slider, [](TSwitcherConnection& p, int v) { return p.SetMeterSlider(1, v); }},
    THdmiFieldInfo<&THdmiState::Meter1Group, &THdmiWanted::Meter1Group>{
        HdmiMeter1Group, [](TSwitcherConnection& p, int v) { return p.SetMeterGroup(0, v); }},
    THdmiFieldInfo<&THdmiState::Meter2Group, &THdmiWanted::Meter2Group>{
        HdmiMeter2Group, [](TSwitcherConnection& p, int v) { return p.SetMeterGroup(1, v); }},
    THdmiFieldInfo<&THdmiState::ScaleMode, &THdmiWanted::ScaleMode>{
        HdmiScaleMode, [](TSwitcherConnection& p, int v) { return p.SetScaleMode(v); }},
    THdmiFieldInfo<&THdmiState::DbfsRef, &THdmiWanted::DbfsRef>{
        HdmiDbfsRef, [](TSwitcherConnection& p, int v) { return p.SetReference(0, v); }},
    THdmiFieldInfo<&THdmiState::DbuRef, &THdmiWanted::DbuRef>{
        HdmiDbuRef, [](TSwitcherConnection& p, int v) { return p.SetReference(1, v); }},
    THdmiFieldInfo<&THdmiState::StreamMode, &THdmiWanted::StreamMode>{
        HdmiStreamMode, [](TSwitcherConnection& p, int v) { return p.SetStreamMode(v); }},
};

// Calls f with each field's description, in the table's order.
template <class F> void ForEachHdmiField(F&& f) {
    std::apply([&](const auto&... field) { (f(field), ...); }, HdmiFields);
}

// The fields in which two states differ.
unsigned HdmiDifference(const THdmiState& a, const THdmiState& b);
// A state differing from s in every field, as a shadow that makes the next
// publish repaint all.
THdmiState Differing(const THdmiState& s);
