#include "KeypadEntry.h"

void TKeypadEntry::Select(bool output) {
    FEntering = false;
    FToOutput = output;
}

bool TKeypadEntry::Press(TKey key, int digit, int limit) {
    int& target = FToOutput ? FOutput : FInput;
    if (!FEntering)
        target = 0;
    int n = target;
    if (key == TKey::Digit)
        n = n * 10 + digit;
    else if (key == TKey::Back)
        n = n / 10;
    else
        n = 0;
    FEntering = true;
    if (n > limit)
        return false; // refused; the read-outs keep what they showed
    target = n;
    return true;
}

bool TKeypadEntry::Take(int outputs, int inputs) {
    FEntering = false;
    return FInput >= 1 && FInput <= inputs && FOutput >= 1 && FOutput <= outputs;
}
