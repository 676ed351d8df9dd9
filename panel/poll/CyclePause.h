#pragma once

#include <array>
#include <chrono>
#include <functional>

// The poll cycle's pause. It never ends before its length, yet ends close to
// it: the system wakes a sleeper some tens of microseconds late, so the pause
// asks to be woken that much early, by the least lateness seen in recent
// pauses, and sleeps again in the rare case it woke before the end.
class TCyclePause {
public:
    using Clock = std::chrono::steady_clock;
    // Sleeps until the time given and returns the time it woke.
    using TSleeper = std::function<Clock::time_point(Clock::time_point)>;

    explicit TCyclePause(Clock::duration length, TSleeper sleeper = SystemSleeper());

    // Pauses from now; returns when the pause ended.
    Clock::time_point Sleep() { return SleepFrom(Clock::now()); }
    Clock::time_point SleepFrom(Clock::time_point start);
    // How early the next pause asks to be woken.
    Clock::duration Lead() const;

    static TSleeper SystemSleeper();

private:
    static constexpr std::size_t Window = 32;
    Clock::duration FLength;
    TSleeper FSleeper;
    std::array<Clock::duration, Window> FLateness{}; // zero until learned: no lead at first
    std::size_t FNext = 0;
};
