#pragma once

#include "Look.h"

#include <QAbstractButton>

// Flat push button that paints the colour the program gives it and its caption
// centred. It acts on the left button only; MouseDown reports every press with
// its modifiers for handlers that need them.
class TSpeedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget* parent = nullptr);

    void SetColor(TColor c);
    TColor Color() const { return FColor; }
    void SetHandPointer(bool on);
    // A tooltip shown only while the button is disabled (how to enable it).
    void SetDisabledTip(const QString& tip);
    QSize sizeHint() const override { return size(); }

    int Tag = 0;

Q_SIGNALS:
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    TColor FColor = clr::Silver;
    QString FDisabledTip;
};

// A speed button named `name` (its object name) with its caption, place and
// pointer; tag is the button's Tag.
TSpeedButton* MakeSpeedButton(QWidget* parent, const QString& name, const QString& caption,
                              QRect geometry, bool handPointer, int tag = 0);
