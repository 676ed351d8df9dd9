#include "ConsoleKeypad.h"

#include "DigitalPanel.h"
#include "SpeedButton.h"

#include <initializer_list>

int DigitOf(int n, int p) {
    if (n <= 0)
        return -1;
    int c = 10;
    for (int i = 0; i < p; ++i)
        c *= 10;
    const int digit = p == 0 ? n % c : (n % c) / (c / 10);
    if (n / c == 0 && digit == 0)
        return -1;
    return digit;
}

TConsoleKeypad::TConsoleKeypad(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ConsoleKeypad"));
    // Read-outs: hundreds, tens, units of the output and of the input number.
    for (int i = 0; i < 3; ++i)
        for (bool output : {true, false}) {
            auto* d = new TDigitalPanel(this);
            d->setObjectName(
                (output ? QStringLiteral("DigitOutput") : QStringLiteral("DigitInput")) +
                QString::number(2 - i));
            d->setGeometry((output ? 8 : 98) + 16 * i, 23, 17, 25);
            d->WriteBorderSize(3);
            d->WriteScale(3);
            (output ? FOutputShown : FInputShown)[static_cast<std::size_t>(2 - i)] = d;
        }
    FOutputKey = MakeSpeedButton(this, QStringLiteral("SBtnConsoleOutput"),
                                 QStringLiteral("OUTPUT"), QRect(7, 51, 51, 17), true);
    FInputKey = MakeSpeedButton(this, QStringLiteral("SBtnConsoleInput"), QStringLiteral("INPUT"),
                                QRect(97, 51, 51, 17), true);
    FOutputKey->SetColor(clr::Green);
    FInputKey->SetColor(clr::Green);
    // Digits carry their value as Tag; "<-" is -1, ESC -2.
    const int lefts[3] = {7, 55, 103};
    const int tops[4] = {76, 96, 116, 136};
    for (int d = 1; d <= 9; ++d)
        FDigits[static_cast<std::size_t>(d)] =
            MakeSpeedButton(this, QStringLiteral("SBtn%1").arg(d), QString::number(d),
                            QRect(lefts[(d - 1) % 3], tops[(d - 1) / 3], 45, 17), false, d);
    FBack = MakeSpeedButton(this, QStringLiteral("SBtnBS"), QStringLiteral("<-"),
                            QRect(7, 136, 45, 17), false, -1);
    FDigits[0] = MakeSpeedButton(this, QStringLiteral("SBtn0"), QStringLiteral("0"),
                                 QRect(55, 136, 45, 17), false, 0);
    FEscape = MakeSpeedButton(this, QStringLiteral("SBtnESC"), QStringLiteral("ESC"),
                              QRect(103, 136, 45, 17), false, -2);
    FTake = MakeSpeedButton(this, QStringLiteral("SBtnConsoleTake"), QStringLiteral("TAKE"),
                            QRect(37, 162, 85, 16), true);
    FTake->setEnabled(false);
    for (TSpeedButton* key : findChildren<TSpeedButton*>())
        connect(key, &TSpeedButton::MouseDown, this, [this, key] { KeyDown(key); });
}

void TConsoleKeypad::Refresh(bool operating, int outputs, int inputs) {
    FOperating = operating;
    FOutputs = outputs;
    FInputs = inputs;
    const auto keys = findChildren<TSpeedButton*>();
    if (!operating) {
        for (TDigitalPanel* d : findChildren<TDigitalPanel*>())
            d->ShowDigit(-1);
        for (TSpeedButton* k : keys)
            k->setEnabled(false);
        FOutputKey->SetColor(clr::Silver);
        FInputKey->SetColor(clr::Silver);
        return;
    }
    if (!FDigits[1]->isEnabled())
        for (TSpeedButton* k : keys)
            k->setEnabled(true);
    Show();
}

void TConsoleKeypad::Show() {
    FOutputKey->SetColor(FEntry.ToOutput() ? clr::Lime : clr::Green);
    FInputKey->SetColor(FEntry.ToOutput() ? clr::Green : clr::Lime);
    const int output = FEntry.Output(), input = FEntry.Input();
    for (int p = 0; p < 3; ++p) {
        FOutputShown[static_cast<std::size_t>(p)]->ShowDigit(DigitOf(output, p));
        FInputShown[static_cast<std::size_t>(p)]->ShowDigit(DigitOf(input, p));
    }
    FTake->setEnabled(input >= 1 && input <= FInputs && output >= 1 && output <= FOutputs);
}

void TConsoleKeypad::KeyDown(TSpeedButton* key) {
    if (!FOperating)
        return;
    if (key == FInputKey || key == FOutputKey) {
        FEntry.Select(key == FOutputKey);
        Show();
        return;
    }
    if (key == FTake) {
        if (FEntry.Take(FOutputs, FInputs))
            Q_EMIT RouteRequested(FEntry.Output() - 1, FEntry.Input() - 1);
        return;
    }
    using K = TKeypadEntry::TKey;
    const K kind = key->Tag >= 0 ? K::Digit : key->Tag == -1 ? K::Back : K::Escape;
    if (FEntry.Press(kind, key->Tag, FEntry.ToOutput() ? FOutputs : FInputs))
        Show();
}
