#pragma once

#include <cstdint>

// The words of the router protocol that name things: commands, the
// sub-commands of command 5 and 4, and the reply markers. Frame positions
// stay with the code that reads and writes each frame.
namespace routerword {

// Commands (word 1 of a request and of its reply).
constexpr std::uint16_t Identify = 1;
constexpr std::uint16_t SetHdmi = 4;
constexpr std::uint16_t Switch = 5;
constexpr std::uint16_t ReadState = 6;
constexpr std::uint16_t ReadHdmi = 8;
constexpr std::uint16_t ReadConfig = 9;

// Sub-commands of Switch (word 2).
constexpr std::uint16_t SwitchOutputs = 1;
constexpr std::uint16_t SwitchMonitor = 2;
constexpr std::uint16_t ToggleLocks = 8;
constexpr std::uint16_t PresetTable = 9;
constexpr std::uint16_t TakePreset = 10;
constexpr std::uint16_t TakePresetIgnoringLocks = 11;

// Sub-commands of SetHdmi (word 2).
constexpr std::uint16_t HdmiMeterOn = 1;
constexpr std::uint16_t HdmiMeterGroup = 2;
constexpr std::uint16_t HdmiMeterSlider = 3;
constexpr std::uint16_t HdmiScaleMode = 4;
constexpr std::uint16_t HdmiReference = 5;
constexpr std::uint16_t HdmiStreamMode = 6;

} // namespace routerword
