#pragma once

// The CONSOLE keypad's entry: an output number and an input number built
// digit by digit (1-based, 0 for none), and which of the two the digits go to.
// Plain C++; the window shows it and forwards the keys.
class TKeypadEntry {
public:
    enum class TKey { Digit, Back, Escape };

    int Output() const { return FOutput; }
    int Input() const { return FInput; }
    bool ToOutput() const { return FToOutput; }

    // OUTPUT or INPUT: the digits go there, and the next digit starts a new number.
    void Select(bool output);
    // A digit (0..9), "<-" or ESC for the selected number. The first key after
    // OUTPUT, INPUT or TAKE starts from 0; a result over `limit` (the matrix's
    // outputs or inputs) is refused and changes nothing but that start.
    // Returns false when the key was refused (the read-outs keep what they show).
    bool Press(TKey key, int digit, int limit);
    // TAKE: true when both numbers lie in the matrix; the next digit starts anew.
    bool Take(int outputs, int inputs);

private:
    int FOutput = 0, FInput = 0;
    bool FToOutput = true;
    bool FEntering = false;
};
