#pragma once

// The simulator's names for the words of the protocol it answers, written
// from the protocol's description (the panel keeps its own).
namespace simword {

// Request commands, answered with the same word first.
enum TCommand : int {
    CmdIdentify = 1,
    CmdHdmiSet = 4,
    CmdSwitch = 5,
    CmdState = 6,
    CmdHdmiState = 8,
    CmdConfiguration = 9,
    CmdSfpReceive = 100,
    CmdSfpTransmit = 101,
    CmdPower = 102,
};

// What command 5 does (its second word).
enum TSwitchKind : int {
    SwCrosspoints = 1,
    SwMonitor = 2,
    SwLockToggle = 8,
    SwPresetTable = 9,
    SwTake = 10,
    SwTakeOverLocks = 11,
};

// What command 4 sets (its second word).
enum THdmiKind : int {
    HdmiMeterOn = 1,
    HdmiMeterGroup = 2,
    HdmiMeterSlider = 3,
    HdmiScale = 4,
    HdmiReference = 5,
    HdmiStream = 6,
};

// Reply markers: a switching command done, and the identify answer's word 2.
constexpr int Done = 112;
constexpr int IdentifyAnswer = 129;
// The first word of a reply to a command the chassis does not know.
constexpr int Unknown = 0;

} // namespace simword
