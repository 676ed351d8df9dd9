// The field's wanted state read by one thread while another writes it, as the
// poll thread and the GUI thread do. Plain C++ so it runs under ThreadSanitizer
// without an uninstrumented toolkit in the way.
#include "FieldState.h"

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

int failures = 0, passes = 0;

void Check(bool ok, const char* what) {
    if (ok) {
        ++passes;
    } else {
        ++failures;
        std::printf("FAIL: %s\n", what);
    }
}

void ConcurrentReadWrite() {
    TFieldState state;
    constexpr int Rounds = 20000;
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!done.load()) {
            for (int row = 0; row < FieldSlots; row += 17) {
                const TLevelValues s = state.Status(row);
                const TLevelValues p = state.Preset(row);
                for (int k = 0; k < FieldLevels; ++k)
                    if (s[static_cast<std::size_t>(k)] < 0 ||
                        s[static_cast<std::size_t>(k)] > 256 ||
                        p[static_cast<std::size_t>(k)] < 0 || p[static_cast<std::size_t>(k)] > 256)
                        bad.fetch_add(1);
                if ((state.Lock(row) & ~0x01010101u) != 0)
                    bad.fetch_add(1);
            }
            (void)state.Monitor();
            (void)state.Control();
        }
    });
    for (int i = 0; i < Rounds; ++i) {
        const int row = (i * 7) % FieldSlots;
        for (int k = 1; k <= FieldLevels; ++k) {
            state.StoreStatus(row, k, i % 257);
            state.StorePreset(row, k, (i + k) % 257);
        }
        state.StoreLock(row, (i & 1) ? 0x01000100u : 0u);
        state.StoreMonitor(1 + i % 4, i % 256);
        state.SetControl((i & 2) ? 0x01010101u : 0x00000001u);
    }
    done.store(true);
    reader.join();
    Check(bad.load() == 0, "reader saw a value that was never written");
    const int last = Rounds - 1, row = (last * 7) % FieldSlots;
    Check(state.Status(row, 1) == last % 257, "last status written is kept");
}

void Bounds() {
    TFieldState state;
    state.StoreStatus(-1, 1, 5);
    state.StoreStatus(FieldSlots, 1, 5);
    state.StoreStatus(0, 0, 5);
    state.StoreStatus(0, 5, 5);
    state.StoreLock(300, 1);
    state.StoreMonitor(9, 3);
    Check(state.Status(FieldSlots)[0] == 0, "row beyond the tables reads as zero");
    Check(state.Status(0, 1) == 0 && state.Status(0, 4) == 0, "bad level leaves the row alone");
    Check(state.Lock(-5) == 0, "lock of a bad row is none");
    Check(state.Monitor() == (TLevelValues{0, 0, 0, 0}), "bad level monitor ignored");
}

} // namespace

int main() {
    ConcurrentReadWrite();
    Bounds();
    std::printf("%d passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
}
