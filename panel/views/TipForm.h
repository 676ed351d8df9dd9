#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

// Borderless, always-on-top tip window that shows the hovered output and input
// in two columns. It stays "visible" from start-up and is hidden by a width of 0;
// mouse input passes through it to the window below.
class TTip : public QWidget {
    Q_OBJECT
public:
    explicit TTip(QWidget* parent = nullptr);

    QString InNumberText, InNameText, OutNumberText, OutNameText;
    QImage InLogo, OutLogo; // 33 x 33

    int ColWidth = 0;
    int RowHeight = 0;
    int Margin = 0;

    // Window opacity for the translucent state (230 of 255), where the platform has it.
    static bool TranslucencySupported();

protected:
    void paintEvent(QPaintEvent*) override;
};

// Set when the tip form is created; read by the main window.
extern int TipWidth;
extern int TipHeight;
