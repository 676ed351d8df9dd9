#include "FieldGeometry.h"

#include <algorithm>
#include <numbers>

TFieldGeometry ComputeFieldGeometry(int scale, int levelCount) {
    TFieldGeometry g;
    g.s = 3 * scale + 17;
    if (g.s % 2 == 0)
        ++g.s;
    g.m = g.s / 2;
    g.h = g.m + 1;
    g.rP = g.h - g.h / 5;
    g.rM = g.h - g.h / 2;
    g.rN = g.rP / 6 + 1;
    g.a = (2 * g.rM) / 3;
    g.w = levelCount > 0 ? std::min((g.s - 2 * g.rN) / levelCount, 5) : 0;
    return g;
}

TSlices SliceAngles(int n) {
    const double step = 2 * std::numbers::pi / std::max(n, 1);
    double first = 0;
    if (n == 2)
        first = 0;
    else if (n % 2 == 1)
        first = std::numbers::pi / 2 - step / 2;
    else
        first = std::numbers::pi / 2 - step;
    return {first, step};
}

TCellRange VisibleCellRange(int hPos, int vPos, int width, int height, int s, int inputs,
                            int outputs) {
    auto ceilDiv = [](int a, int b) { return (a + b - 1) / b; };
    TCellRange r;
    r.Left = hPos / s;
    r.Top = vPos / s;
    r.Right = std::min(ceilDiv(hPos + width, s), inputs - 1);
    r.Bottom = std::min(ceilDiv(vPos + height, s), outputs - 1);
    return r;
}

int LockBarLeft(const TFieldGeometry& g, int levelCount, int k) {
    const int last = g.m - g.w + (g.w * levelCount) / 2;
    return last - (levelCount - k) * g.w;
}
