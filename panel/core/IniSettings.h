#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <string>

class TIniFile;

// The main window's values kept in the INI file (WINDOW, SWINDOW, HWINDOW and
// LEVELS sections), with their defaults. Names and logos of inputs and outputs
// go straight to the views and are not held here.
struct TIniSettings {
    // WINDOW/LEFT, TOP, WIDTH, HEIGHT as stored (the client size), and STATE.
    int Left = 20, Top = 20, Width = 750, Height = 550;
    bool Maximized = false;
    int Zoom = 3;
    int PreviewScale = 64; // SCALE, never written
    int FLastState = 1;
    bool FPreviewMode = false;
    bool FHintsOn = false;
    int OutputLimit = 0; // never written
    bool FSfpEnabled = false;
    // Keep operating through a switcher's loss, retrying once a second,
    // instead of ending with a message (never written: set by hand).
    bool AutoResume = false;
    std::string FAppText;
    QPoint FStatusPos{100, 100};
    bool StatusShown = false;
    bool StatusEnabled = false;
    QPoint FHdmiPos{100, 100};
    bool HdmiEnabled = false;
    std::array<bool, 4> FVisibleLevels{true, true, true, true};
    std::array<bool, 4> FControlLevels{true, true, true, true};
};

// Names and logo paths of inputs and outputs, index 0..255 (INPUTS and OUTPUTS,
// NAMEn and LOGOn), as stored.
struct TIniNames {
    std::array<QString, 256> InputNames, InputLogos, OutputNames, OutputLogos;
};
TIniNames ReadIniNames(const TIniFile& ini);

// Reads every value of the struct; a missing or non-numeric value gives its default.
TIniSettings ReadIniSettings(const TIniFile& ini);
// Writes the values the program saves, in the file's order; SCALE and
// OUTPUTLIMIT are left as they stand.
void WriteIniSettings(TIniFile& ini, const TIniSettings& s);

// A stored window position pulled onto a screen of the given size: negative
// left/top become 0, and at least 100 pixels of the window stay on the screen
// (a left or top beyond that becomes screen size - 100).
QPoint ClampWindowPos(int left, int top, QSize screen);
// The stored bounds of the main window: the position as above, the size at
// most the screen's and at least `minimum`. Works on any stored integers.
QRect ClampWindowBounds(int left, int top, int width, int height, QSize screen, QSize minimum);
