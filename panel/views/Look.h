#pragma once

#include <QColor>
#include <QFont>

#include <cstdint>

// Colour value as stored in files and state: 0x00BBGGRR.
using TColor = std::uint32_t;

constexpr TColor RGBColor(int r, int g, int b) {
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
inline QColor ToQColor(TColor c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

namespace clr {
constexpr TColor Black = RGBColor(0, 0, 0);
constexpr TColor White = RGBColor(255, 255, 255);
constexpr TColor Silver = RGBColor(192, 192, 192);
constexpr TColor Grey = RGBColor(128, 128, 128);
constexpr TColor Red = RGBColor(255, 0, 0);
constexpr TColor Lime = RGBColor(0, 255, 0);
constexpr TColor Green = RGBColor(0, 128, 0);
constexpr TColor Aqua = RGBColor(0, 255, 255);
constexpr TColor Navy = RGBColor(0, 0, 128);
} // namespace clr

// Maps the Windows font names the program uses to installed fonts; call once at start.
void InstallFontSubstitutions();

// A font by its Windows name and pixel height.
QFont MakeFont(const char* family, int pixelHeight, bool bold = false);
