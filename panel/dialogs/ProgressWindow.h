#pragma once

#include <QDialog>

class QLabel;

// Percentage bar: navy fill on white, the percentage drawn so that it stays
// readable on both parts (exclusive-or of white text with the bar).
class TGauge : public QWidget {
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr) : QWidget(parent) {}
    void SetPosition(int percent);
    int Position() const { return FPosition; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int FPosition = 0;
};

// "Wait..." window of a preset salvo: modal, without caption, and closed only by the program.
class TProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit TProgressWindow(QWidget* parent = nullptr);

    void SetText(const QString& text);
    void SetPosition(int percent);
    int Position() const;
    // Lets the window close and ends its modal loop with the given result.
    void CloseByProgram(int result);

    bool FCanClose = false;
    QLabel* PanelCaption;
    TGauge* Gauge;

public Q_SLOTS:
    void done(int r) override;

protected:
    void closeEvent(QCloseEvent* e) override;
};
