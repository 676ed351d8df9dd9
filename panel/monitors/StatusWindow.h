#pragma once

#include "Look.h"
#include "SwitcherConnection.h"

#include <QLocale>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class QTimer;
class TColorTabBar;

// Lamp images of the status panes.
enum class TStatusLamp { Red = 0, Green = 1, Grey = 2 };

// Rows of the status window, top to bottom.
enum TStatusRow { RowRef, RowTemp, RowRpm, RowVoltage, RowPwr1, RowPwr2, StatusRowCount };

// What a row shows for one switcher's status.
struct TStatusRowView {
    int Word = 0;      // the word the row compares
    bool Shown = true; // false: empty text, grey lamp
    QString Text;
    TStatusLamp Lamp = TStatusLamp::Grey;
    bool Blinking = false;
};

TStatusRowView StatusRowView(TStatusRow row, const TSwitcherStatus& s, const QLocale& locale);
// Alarm of one switcher: a measured word with bit 15 set that counts.
bool SwitcherAlarm(const TSwitcherStatus& s);

// A status pane: a lamp and a text; it can blink red.
class TStatusPane : public QWidget {
    Q_OBJECT
public:
    explicit TStatusPane(QWidget* parent = nullptr);
    void SetView(const QString& text, TStatusLamp lamp, bool blinking);
    const QString& Text() const { return FText; }
    TStatusLamp Lamp() const { return FLamp; }
    bool Blinking() const { return FBlinking; }
    // The blink phase; only a blinking pane repaints.
    void SetPhase(bool on);
    QSize sizeHint() const override { return {150, 20}; }

    // What was last painted: word, show condition, and the reference name.
    int LastWord = -1;
    bool LastShown = false;
    QString LastName;
    int Paints = 0; // counts repaints by PaintStatus; for tests

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent* e) override;

private:
    QString FText;
    TStatusLamp FLamp = TStatusLamp::Grey;
    bool FBlinking = false;
    bool FPhase = false;
};

// "STATUS MONITOR": health of each switcher, one tab per switcher.
class TStatusWindow : public QWidget {
    Q_OBJECT
public:
    explicit TStatusWindow(QWidget* parent = nullptr);

    // GUI thread, inside the poll cycle's synchronised step.
    void PaintStatus(bool force, const std::array<TSwitcherStatus, 4>& status, int count);
    void EnableStatusRows();
    void ResetStatusRows();
    // The locale of the numbers (the user's by default).
    void SetNumberLocale(const QLocale& l) { FLocale = l; }

    TStatusPane* Pane(TStatusRow row) const { return FPanes[static_cast<std::size_t>(row)]; }
    QLabel* Label(TStatusRow row) const { return FLabels[static_cast<std::size_t>(row)]; }

    TColorTabBar* StatusTab;
    TStatusPane *StatusREF, *StatusTEMP, *StatusRPM, *StatusV, *StatusPWR1, *StatusPWR2;
    QLabel *LabelREF, *LabelTEMP, *LabelRPM, *LabelV, *LabelPWR1, *LabelPWR2;
    QTimer* BlinkTimer;
    static constexpr int BlinkMs = 500;

    // Showing the window or a tab change asks for a full repaint.
    std::function<void()> OnStatusRequest;

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    std::array<TStatusPane*, StatusRowCount> FPanes{};
    std::array<QLabel*, StatusRowCount> FLabels{};
    QLocale FLocale;
    bool FPhase = false;
};
