#include "FieldGeometry.h"

#include <algorithm>
#include <numbers>

TFieldGeometry ComputeFieldGeometry(int scale, int levelCount) {
    TFieldGeometry g;
    g.CellSize = 3 * scale + 17;
    if (g.CellSize % 2 == 0)
        ++g.CellSize;
    g.Centre = g.CellSize / 2;
    g.HalfSpan = g.Centre + 1;
    g.PieRadius = g.HalfSpan - g.HalfSpan / 5;
    g.MarkRadius = g.HalfSpan - g.HalfSpan / 2;
    g.NodeRadius = g.PieRadius / 6 + 1;
    g.ArrowSize = (2 * g.MarkRadius) / 3;
    g.LockBarWidth = levelCount > 0 ? std::min((g.CellSize - 2 * g.NodeRadius) / levelCount, 5) : 0;
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
    const int last = g.Centre - g.LockBarWidth + (g.LockBarWidth * levelCount) / 2;
    return last - (levelCount - k) * g.LockBarWidth;
}
