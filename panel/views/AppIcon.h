#pragma once

#include <QImage>

// The program's icon, in the panel's own look: a small cross-point grid on
// silver with a mark in each level colour. Painted, so it needs no file.
QImage PaintAppIcon(int size);
