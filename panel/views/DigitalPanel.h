#pragma once

#include "Look.h"

#include <QPolygon>
#include <QWidget>

#include <array>
#include <functional>

// Vertices of the seven segments (index 1..7; 0 unused) of a W x H digit with
// border B and stroke divisor S.
std::array<QPolygon, 8> DigitSegments(int width, int height, int borderSize, int scale);

// Lit segments of a digit 0..9, in segment order 1..7.
std::array<bool, 8> DigitPattern(int digit);

// A single-digit seven-segment display.
class TDigitalPanel : public QWidget {
    Q_OBJECT
public:
    explicit TDigitalPanel(QWidget* parent = nullptr);

    // 0..9 lights that digit, -1 blanks it; anything else is refused with a message.
    void ShowDigit(int value);
    void WriteLed(int index, bool state);
    bool ReadLed(int index) const;
    // 0 LedColorOFF, 1 LedColorON, 10 LedBorderColorOFF, 11 LedBorderColorON, 21 BorderColor, 31
    // Color.
    void WriteColor(int index, TColor colour);
    void WriteBorderSize(int value);
    void WriteScale(int value);
    int BorderSize() const { return FBorderSize; }
    int Scale() const { return FScale; }

    TColor LedColorON = clr::Lime, LedColorOFF = clr::Green;
    TColor LedBorderColorON = clr::Lime, LedBorderColorOFF = clr::Green;
    TColor BorderColor = clr::Grey, Color = clr::Black;

    // Called for every segment drawn on its own (tests record the redraws).
    std::function<void(int)> OnDrawSegment;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void DrawSegment(int i);

    std::array<bool, 8> FLit{};
    int FBorderSize = 3;
    int FScale = 1;
    int FMinScale = 1;
};
