#pragma once

// A minimal harness for the plain C++ tests that run under ThreadSanitizer
// (no toolkit in the process): checks count, failures print where they happened.
#include <cstdio>

namespace plain {
inline int& Passed() {
    static int n = 0;
    return n;
}
inline int& Failed() {
    static int n = 0;
    return n;
}
inline bool Check(bool ok, const char* what, const char* file, int line) {
    if (ok) {
        ++Passed();
    } else {
        ++Failed();
        std::printf("FAIL: %s (%s:%d)\n", what, file, line);
        std::fflush(stdout);
    }
    return ok;
}
inline int Summary() {
    std::printf("%d passed, %d failed\n", Passed(), Failed());
    return Failed() == 0 ? 0 : 1;
}
} // namespace plain

#define CHECK(cond) plain::Check((cond), #cond, __FILE__, __LINE__)
