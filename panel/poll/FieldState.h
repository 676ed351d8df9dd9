#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// Per-input and per-output tables have 257 entries (0..256).
constexpr int FieldSlots = 257;
constexpr int FieldLevels = 4;

// Four values of one output (or the monitored outputs), levels 1..4 at index 0..3.
using TLevelValues = std::array<std::int32_t, FieldLevels>;

// Flags of levels 1..4 packed in one word: byte k - 1 is the flag of level k.
constexpr std::uint32_t PackedFlag(int level) {
    return 0xFFu << (8 * (level - 1));
}
inline bool LevelFlag(std::uint32_t packed, int level) {
    return ((packed >> (8 * (level - 1))) & 0xFF) != 0;
}
inline std::uint32_t PackLevelFlags(const std::array<bool, FieldLevels>& flags) {
    std::uint32_t packed = 0;
    for (int k = 1; k <= FieldLevels; ++k)
        if (flags[static_cast<std::size_t>(k - 1)])
            packed |= 1u << (8 * (k - 1));
    return packed;
}
inline std::array<bool, FieldLevels> UnpackLevelFlags(std::uint32_t packed) {
    std::array<bool, FieldLevels> flags{};
    for (int k = 1; k <= FieldLevels; ++k)
        flags[static_cast<std::size_t>(k - 1)] = LevelFlag(packed, k);
    return flags;
}

// The cross-point field's wanted state. The GUI thread writes it; the poll
// thread reads it while the GUI runs. Every word is an atomic with relaxed
// ordering: a reader sees each value whole, a row read copies four of them.
class TFieldState {
public:
    TFieldState();

    int Inputs() const { return FInputs.load(std::memory_order_relaxed); }
    int Outputs() const { return FOutputs.load(std::memory_order_relaxed); }
    int LevelCount() const { return FLevelCount.load(std::memory_order_relaxed); }
    void SetInputs(int n) { FInputs.store(n, std::memory_order_relaxed); }
    void SetOutputs(int n) { FOutputs.store(n, std::memory_order_relaxed); }
    void SetLevelCount(int n) { FLevelCount.store(n, std::memory_order_relaxed); }

    std::uint32_t Control() const { return FControl.load(std::memory_order_relaxed); }
    std::uint32_t Visible() const { return FVisible.load(std::memory_order_relaxed); }
    void SetControl(std::uint32_t f) { FControl.store(f, std::memory_order_relaxed); }
    void SetVisible(std::uint32_t f) { FVisible.store(f, std::memory_order_relaxed); }

    // Rows outside 0..256 read as zeros and ignore writes.
    TLevelValues Status(int row) const { return Read(FStatus, row); }
    TLevelValues Preset(int row) const { return Read(FPreset, row); }
    std::int32_t Status(int row, int level) const { return ReadOne(FStatus, row, level); }
    std::int32_t Preset(int row, int level) const { return ReadOne(FPreset, row, level); }
    void StoreStatus(int row, int level, std::int32_t v) { Write(FStatus, row, level, v); }
    void StorePreset(int row, int level, std::int32_t v) { Write(FPreset, row, level, v); }

    std::uint32_t Lock(int row) const;
    bool Locked(int row, int level) const { return LevelFlag(Lock(row), level); }
    void StoreLock(int row, std::uint32_t packed);

    TLevelValues Monitor() const;
    std::int32_t Monitor(int level) const;
    void StoreMonitor(int level, std::int32_t row);

    static bool ValidRow(int row) { return row >= 0 && row < FieldSlots; }
    static bool ValidLevel(int level) { return level >= 1 && level <= FieldLevels; }

private:
    using TTable = std::array<std::array<std::atomic<std::int32_t>, FieldLevels>, FieldSlots>;
    static TLevelValues Read(const TTable& t, int row);
    static std::int32_t ReadOne(const TTable& t, int row, int level);
    static void Write(TTable& t, int row, int level, std::int32_t v);

    std::atomic<int> FInputs{8};
    std::atomic<int> FOutputs{8};
    std::atomic<int> FLevelCount{4};
    std::atomic<std::uint32_t> FControl{0x01010101};
    std::atomic<std::uint32_t> FVisible{0x01010101};
    TTable FStatus;
    TTable FPreset;
    std::array<std::atomic<std::uint32_t>, FieldSlots> FLocks;
    std::array<std::atomic<std::int32_t>, FieldLevels> FMonitor;
};
