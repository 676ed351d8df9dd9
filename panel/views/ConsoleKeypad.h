#pragma once

#include "KeypadEntry.h"

#include <QWidget>

#include <array>

class TDigitalPanel;
class TSpeedButton;

// Digit p (0 units, 1 tens, 2 hundreds) of n, or -1 for a blank (leading zero, n <= 0).
int DigitOf(int n, int p);

// The CONSOLE keypad: output and input read-outs, OUTPUT / INPUT, the digits,
// "<-", ESC and TAKE. It keeps the numbers typed (TKeypadEntry) and asks for a
// route with RouteRequested; the matrix's size bounds the numbers.
class TConsoleKeypad : public QWidget {
    Q_OBJECT
public:
    explicit TConsoleKeypad(QWidget* parent = nullptr);

    // Keys work while operating; the read-outs are blank otherwise.
    void Refresh(bool operating, int outputs, int inputs);
    const TKeypadEntry& Entry() const { return FEntry; }

Q_SIGNALS:
    // TAKE on a complete entry: 0-based output and input.
    void RouteRequested(int output, int input);

private:
    void KeyDown(TSpeedButton* key);
    void Show();

    TKeypadEntry FEntry;
    bool FOperating = false;
    int FOutputs = 0, FInputs = 0;
    std::array<TSpeedButton*, 10> FDigits{};
    TSpeedButton *FBack, *FEscape, *FOutputKey, *FInputKey, *FTake;
    std::array<TDigitalPanel*, 3> FOutputShown{}, FInputShown{}; // units, tens, hundreds
};
