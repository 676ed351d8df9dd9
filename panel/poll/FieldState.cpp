#include "FieldState.h"

namespace {
constexpr auto Relaxed = std::memory_order_relaxed;
}

TFieldState::TFieldState() {
    // Output r holds input r on every level; nothing locked; level monitors output 0.
    for (int r = 0; r < FieldSlots; ++r) {
        for (int k = 0; k < FieldLevels; ++k) {
            FStatus[static_cast<std::size_t>(r)][static_cast<std::size_t>(k)].store(r, Relaxed);
            FPreset[static_cast<std::size_t>(r)][static_cast<std::size_t>(k)].store(r, Relaxed);
        }
        FLocks[static_cast<std::size_t>(r)].store(0, Relaxed);
    }
    for (auto& m : FMonitor)
        m.store(0, Relaxed);
}

TLevelValues TFieldState::Read(const TTable& t, int row) {
    TLevelValues v{};
    if (!ValidRow(row))
        return v;
    for (std::size_t k = 0; k < FieldLevels; ++k)
        v[k] = t[static_cast<std::size_t>(row)][k].load(Relaxed);
    return v;
}

std::int32_t TFieldState::ReadOne(const TTable& t, int row, int level) {
    if (!ValidRow(row) || !ValidLevel(level))
        return 0;
    return t[static_cast<std::size_t>(row)][static_cast<std::size_t>(level - 1)].load(Relaxed);
}

void TFieldState::Write(TTable& t, int row, int level, std::int32_t v) {
    if (ValidRow(row) && ValidLevel(level))
        t[static_cast<std::size_t>(row)][static_cast<std::size_t>(level - 1)].store(v, Relaxed);
}

std::uint32_t TFieldState::Lock(int row) const {
    return ValidRow(row) ? FLocks[static_cast<std::size_t>(row)].load(Relaxed) : 0;
}

void TFieldState::StoreLock(int row, std::uint32_t packed) {
    if (ValidRow(row))
        FLocks[static_cast<std::size_t>(row)].store(packed, Relaxed);
}

TLevelValues TFieldState::Monitor() const {
    TLevelValues v{};
    for (std::size_t k = 0; k < FieldLevels; ++k)
        v[k] = FMonitor[k].load(Relaxed);
    return v;
}

std::int32_t TFieldState::Monitor(int level) const {
    return ValidLevel(level) ? FMonitor[static_cast<std::size_t>(level - 1)].load(Relaxed) : 0;
}

void TFieldState::StoreMonitor(int level, std::int32_t row) {
    if (ValidLevel(level))
        FMonitor[static_cast<std::size_t>(level - 1)].store(row, Relaxed);
}
