#include "CyclePause.h"

#include <algorithm>
#include <thread>

#ifdef __linux__
#include <cerrno>
#include <ctime>
#endif

TCyclePause::TCyclePause(Clock::duration length, TSleeper sleeper)
    : FLength(length), FSleeper(std::move(sleeper)) {}

TCyclePause::Clock::duration TCyclePause::Lead() const {
    // A lead of more than a quarter of the pause would mean the system is
    // overloaded, not that it wakes late by habit.
    return std::clamp(*std::min_element(FLateness.begin(), FLateness.end()),
                      Clock::duration::zero(), FLength / 4);
}

TCyclePause::Clock::time_point TCyclePause::SleepFrom(Clock::time_point start) {
    const Clock::time_point end = start + FLength;
    const Clock::time_point asked = end - Lead();
    Clock::time_point woke = FSleeper(asked);
    FLateness[FNext] = woke - asked;
    FNext = (FNext + 1) % Window;
    while (woke < end)
        woke = FSleeper(end);
    return woke;
}

TCyclePause::TSleeper TCyclePause::SystemSleeper() {
    return [](Clock::time_point until) {
#ifdef __linux__
        // steady_clock is CLOCK_MONOTONIC here; an absolute deadline is not
        // lengthened by the time spent computing a relative one.
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
        timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
#else
        std::this_thread::sleep_until(until);
#endif
        return Clock::now();
    };
}
