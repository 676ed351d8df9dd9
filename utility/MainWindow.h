#pragma once

#include "TcpThread.h"

#include <QMainWindow>
#include <QMessageBox>

#include <array>
#include <cstdint>

class Ui_MainWindow;
class QCheckBox;
class QDoubleSpinBox;
class QHBoxLayout;
class QLabel;
class QTableWidget;
class QVBoxLayout;

// Word 2 of the device's error reply [3][code][marker][ks]. The classification
// compares it with 99, so the decimal value is the one that rule accepts; the
// log lines' "99h" is taken as a label, not as 0x99.
constexpr std::int16_t ErrorReplyMarker = 99;

enum class TReplyClass { Undefined, Error, Checksum, Valid };

// Classifies the stored words of one command (undefined, then error, then
// checksum); `sum` receives the 16-bit sum of words 1..last.
TReplyClass ClassifyReply(const std::int16_t* words, int wordCount, std::uint16_t& sum);

// The window of fibrewatch: three tables filled from the worker's replies.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const QString& deviceAddress, QWidget* parent = nullptr,
                        bool startWorker = true);
    ~MainWindow() override;

    QMessageBox mbx;
    Ui_MainWindow* ui;
    TcpThread tcpThread;

    void createLimitCell(int t, int r);
    void removeLimitCell(int t, int r);

    std::array<QWidget*, 64> limitCell{};
    std::array<QDoubleSpinBox*, 64> spinLow{}, spinHigh{};
    std::array<QWidget*, 64> ignorePanel{};
    std::array<QLabel*, 64> ignoreLabel{};
    std::array<QCheckBox*, 64> ignoreBox{};
    std::array<QVBoxLayout*, 64> ignoreLayout{};
    std::array<QHBoxLayout*, 64> limitLayout{};
    std::array<int, 64> limitCellCreated{};
    std::array<int, 64> ignoreFlag{};

public Q_SLOTS:
    void slot_SpinValueChanged();
    void slot_CheckStateChanged();
    void ShowReply();
    void ShowConnectionState();

protected:
    bool event(QEvent* e) override { return QMainWindow::event(e); }

private:
    void ShowMessage(const QString& text);
    void CloseMessage();
    void FillPower(const TPendingReply& reply);
    void FillSfp(const TPendingReply& reply, int t);
    void CheckRow(int t, int r);
    QTableWidget* TableOf(int t) const;
    bool RowOfSender(int& t, int& r) const;
};
