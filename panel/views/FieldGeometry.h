#pragma once

#include <array>

// Dimensions of the cross-point field's cells for one zoom step and level count.
struct TFieldGeometry {
    int CellSize = 0;   // always odd
    int Centre = 0;     // centre coordinate inside a cell
    int HalfSpan = 0;   // Centre + 1: the reach of the marks from the centre
    int PieRadius = 0;  // radius of a multi-level pie
    int MarkRadius = 0; // radius of a single-level mark; inset of arrows and lock bars
    int NodeRadius = 0; // node radius; inset of logos
    int ArrowSize = 0;
    int LockBarWidth = 0; // one level's lock bar
};

TFieldGeometry ComputeFieldGeometry(int scale, int levelCount);

// First angle (radians, counter-clockwise from 3 o'clock) and step of n slices.
struct TSlices {
    double First;
    double Step;
};
TSlices SliceAngles(int n);

// Cells whose any part shows in the grid viewport, limited to the matrix.
struct TCellRange {
    int Left, Top, Right, Bottom;
};
TCellRange VisibleCellRange(int hPos, int vPos, int width, int height, int s, int inputs,
                            int outputs);

// x of the left edge of level k's lock bar (k = 1..levelCount).
int LockBarLeft(const TFieldGeometry& g, int levelCount, int k);
