#include "MainWindow.h"

#include "ColorTabBar.h"
#include "Field.h"
#include "HdmiRequests.h"
#include "HdmiWindow.h"
#include "IndicatorBox.h"
#include "IpText.h"
#include "LevelControl.h"
#include "MessageBox.h"
#include "MonitorWindow.h"
#include "OperatorLog.h"
#include "Panel.h"
#include "ParamsWindow.h"
#include "PollThread.h"
#include "PreviewField.h"
#include "ProgressWindow.h"
#include "SalvoDialog.h"
#include "ScreenFit.h"
#include "SettingsWindow.h"
#include "SpeedButton.h"
#include "StatusWindow.h"
#include "TipForm.h"
#include "WindowMessages.h"

#include <QFontMetrics>
#include <QListWidget>
#include <QThread>
#include <QTimer>

namespace {
// Entries of FIndicatorColors.
enum { IndBusy, IndOk, IndError, IndIdle };
int IndicatorEntry(bool active, bool ok) {
    return !active ? IndIdle : ok ? IndOk : IndError;
}
} // namespace

QString ClientsCaption(int clients, const std::function<bool(const QString&)>& fits) {
    const QString full = QStringLiteral("Clients ") + QString::number(clients);
    if (fits(full))
        return full;
    const QString thousands = QStringLiteral("Clients %1k").arg(clients / 1000);
    return clients >= 1000 && fits(thousands) ? thousands : QStringLiteral("Clients");
}

QString CommunicationErrorText(std::uint32_t status, std::int32_t ip, int levelCount,
                               const std::array<std::string, 5>& levelNames,
                               const std::array<std::int32_t, 5>& levelAddresses) {
    const int op = status & 0xFF, error = (status >> 8) & 0xFF, detail = (status >> 16) & 0xFF,
              extra = (status >> 24) & 0xFF;
    if (error == 0)
        return {};
    const QString A =
        QStringLiteral(" (") + QString::fromStdString(FormatIP(ip)) + QStringLiteral(":10004)");
    const QString U =
        QStringLiteral("Unknown Error Code: ") +
        QString::asprintf("0x%2.2X 0x%2.2X 0x%2.2X 0x%2.2X", op, error, detail, extra);
    const QString C = QStringLiteral("CPU Error Code: ") + QString::asprintf("0x%2.2X", detail);
    QString L;
    for (int n = 1; n <= levelCount && n <= 4; ++n)
        if (levelAddresses[static_cast<std::size_t>(n)] == extra)
            L = QStringLiteral(" (") +
                QString::fromStdString(levelNames[static_cast<std::size_t>(n)]) +
                QStringLiteral(")");
    auto read = [&](const char* what) {
        // "<what>" + L + A for a missing reply, "<what>" + L + ". " + C + A for a wrong one.
        const QString w = QString::fromLatin1(what);
        if (error == 2)
            return w + L + A;
        if (error == 3)
            return w + L + QStringLiteral(". ") + C + A;
        return U + A;
    };
    switch (op) {
    case 1:
        return error == 1 ? QStringLiteral("Can not connect") + A : U + A;
    case 2:
        return (error == 2 || error == 3) ? QStringLiteral("Routing switcher not found at ") + A
                                          : U + A;
    case 4:
        if (error == 2)
            return QStringLiteral("Cannot read (extended) configuration at ") + A + L;
        if (error == 3)
            return QStringLiteral("Cannot read (extended) configuration at ") + A + L +
                   QStringLiteral(". ") + C;
        if (error == 5)
            return QStringLiteral("Invalid size of Routing Switcher") + L + A;
        return U + A;
    case 5:
        return read("Cannot read Routing Switcher State");
    case 13:
        return read("Cannot read Routing Switcher HDMI state");
    case 7:
        return read("Cannot switch data");
    case 14:
        return read("Cannot switch HDMI data");
    case 11:
        return read("Cannot send Preset salvo");
    case 12:
        if (error == 2)
            return QStringLiteral("Cannot Take Preset salvo") + A;
        if (error == 3)
            return QStringLiteral("Cannot Take Preset salvo") + QStringLiteral(". ") + C + A;
        return U + A;
    default:
        return U + A;
    }
}

void TMainWindow::SetAllIndicatorsIdle() {
    for (auto& wanted : FIndicatorWanted)
        wanted.store(IndIdle, std::memory_order_relaxed);
    ApplyIndicators();
}

void TMainWindow::SetMode(int m) {
    if (m != FMode)
        ++FWorldVersion;
    FMode = m;
    auto colour = [this](TSpeedButton* b, int entry) {
        b->SetColor(FButtonColors[static_cast<std::size_t>(entry)]);
    };
    colour(SBtnOperate, 6 + m);
    colour(SBtnSettings, 9 + m);
    colour(SBtnOnLine, m);
    colour(SBtnPreset, 3 + m);
    SBtnOperate->setEnabled(true);
    SBtnSettings->setEnabled(true);
    SBtnOnLine->setEnabled(m > 0);
    SBtnPreset->setEnabled(m > 0);

    const bool salvoSelected = !LBoxMemory->selectedItems().isEmpty();
    SBtnTake->setEnabled(m == 2);
    LBoxMemory->setEnabled(m == 2);
    SBtnNewSlot->setEnabled(m == 2);
    SBtnSaveSlot->setEnabled(m == 2 && salvoSelected);
    SBtnDelSlot->setEnabled(m == 2 && salvoSelected);
    for (TSpeedButton* b : {SBtnTake, SBtnNewSlot, SBtnSaveSlot, SBtnDelSlot})
        colour(b, 9 + m);
    RefreshConsole();

    if (m > 0) {
        SBtnZoomIn->setEnabled(!FSettings.FPreviewMode);
        SBtnZoomOut->setEnabled(!FSettings.FPreviewMode);
        SBtnPreview->setEnabled(true);
        SBtnHdmi->setEnabled(FSettings.HdmiEnabled);
        SBtnStatus->setEnabled(FSettings.StatusEnabled);
        if (FSettings.FPreviewMode) {
            SBtnHint->setEnabled(false);
            SBtnHint->SetColor(clr::Silver);
        } else {
            SBtnHint->setEnabled(true);
            const QColor tipBk = palette().color(QPalette::ToolTipBase);
            SBtnHint->SetColor(FSettings.FHintsOn
                                   ? RGBColor(tipBk.red(), tipBk.green(), tipBk.blue())
                                   : clr::Silver);
        }
    } else {
        for (TSpeedButton* b : {SBtnZoomIn, SBtnZoomOut, SBtnPreview, SBtnHdmi, SBtnHint}) {
            b->setEnabled(false);
            b->SetColor(clr::Silver);
        }
        SBtnStatus->setEnabled(FSettings.StatusEnabled);
        PanelInOut->SetColor(clr::Silver);
        PanelInOut->SetCaption(QString());
        if (HdmiWindow)
            HdmiWindow->hide();
    }
    Field->SetPresetMode(m == 2);
    LevelControl->SetEnabled(m > 0 ? 0x01010101u : 0u);
    Field->setVisible(m > 0 && !FSettings.FPreviewMode);
    PreviewField->setVisible(m > 0 && FSettings.FPreviewMode);
    PanelMemoryBack->setVisible(!(m > 0 && FSettings.FPreviewMode));
    PanelControlBack->setVisible(!(m > 0 && FSettings.FPreviewMode));
}

void TMainWindow::StatusTimerTimer() {
    StatusTimer->stop();
    FlashStatusButton();
    MarkRunningUtilities();
    StatusTimer->start();
}

void TMainWindow::FlashStatusButton() {
    bool alarm = false;
    if (StatusWindow)
        for (int i = 0; i < StatusWindow->StatusTab->count(); ++i)
            alarm = alarm || StatusWindow->StatusTab->TabColor(i) == clr::Red;
    if (FSettings.StatusEnabled && alarm)
        SBtnStatus->SetColor(SBtnStatus->Color() == clr::Red ? clr::Silver : clr::Red);
    else
        SBtnStatus->SetColor(clr::Silver);
}

void TMainWindow::MarkRunningUtilities() {
    if (FSettings.FSfpEnabled) {
        std::array<std::uint64_t, 4> found{};
        const bool running = FindUtilityWindows(found);
        const QColor tipBk = palette().color(QPalette::ToolTipBase);
        const TColor on = RGBColor(tipBk.red(), tipBk.green(), tipBk.blue());
        if (FMonitorDlg)
            for (int i = 1; i <= FSwitcherCount; ++i)
                FMonitorDlg->SetRunning(
                    i, FSwitcherPID[static_cast<std::size_t>(i - 1)] != 0 ? on : clr::Silver);
        SBtnMonitor->SetColor(running ? on : clr::Silver);
    } else {
        SBtnMonitor->SetColor(clr::Silver);
        SBtnMonitor->Tag = 0;
    }
}

void TMainWindow::WantIndicator(int index, int entry) {
    FIndicatorWanted[static_cast<std::size_t>(index)].store(entry, std::memory_order_relaxed);
    if (QThread::currentThread() == thread())
        ApplyIndicators();
}

void TMainWindow::ApplyIndicators() {
    const std::array<TIndicatorBox*, 4> boxes{ShapeInit, ShapeConfig, ShapeState, ShapeProc};
    for (std::size_t i = 0; i < boxes.size(); ++i)
        boxes[i]->SetColor(FIndicatorColors[static_cast<std::size_t>(
            FIndicatorWanted[i].load(std::memory_order_relaxed))]);
    const int clients = FClientsWanted.load(std::memory_order_relaxed);
    if (clients >= 0 && clients != FClientsShown) {
        const QFontMetrics metrics(LabelClients->font());
        LabelClients->SetCaption(ClientsCaption(clients, [&](const QString& text) {
            return metrics.horizontalAdvance(text) <= LabelClients->width();
        }));
        FClientsShown = clients;
        if (LabelClients->isHidden())
            LabelClients->show();
    }
}

// The indicator setters are called on the poll thread hundreds of times a
// second: they only store, and IndicatorTimer shows the stored state once per
// frame (a GUI-thread caller sees it at once).
void TMainWindow::SetInitIndicator(bool active, bool ok) {
    WantIndicator(0, IndicatorEntry(active, ok));
}

void TMainWindow::SetConfigIndicator(bool active, bool ok, int clients) {
    FClientsWanted.store(clients, std::memory_order_relaxed);
    WantIndicator(1, IndicatorEntry(active, ok));
}

void TMainWindow::SetStateIndicator(bool active, bool ok) {
    WantIndicator(2, IndicatorEntry(active, ok));
}

void TMainWindow::SetProcIndicator(bool busy) {
    WantIndicator(3, busy ? IndBusy : IndIdle);
}

const TFieldState& TMainWindow::FieldState() const {
    return Field->State();
}

// Poll thread: only the requests' own lock is taken, no Qt object is touched.
bool TMainWindow::HdmiWanted(int& switcherIndex, THdmiWanted& wanted) const {
    return FHdmiRequests && FHdmiRequests->Snapshot(switcherIndex, wanted);
}

void TMainWindow::PaintStatus(bool force, const std::array<TSwitcherStatus, 4>& status, int count) {
    if (FSettings.StatusEnabled && StatusWindow)
        StatusWindow->PaintStatus(force, status, count);
}

void TMainWindow::EnableStatusRows() {
    if (StatusWindow)
        StatusWindow->EnableStatusRows();
}

void TMainWindow::ResetStatusRows() {
    if (StatusWindow)
        StatusWindow->ResetStatusRows();
}

void TMainWindow::ApplySize(int inputs, int outputs) {
    ++FWorldVersion;
    Field->SetSize(inputs, outputs);
    PreviewField->SetSize(inputs, outputs);
    PrepareMemoryDir();
    LoadMemory();
    FCaptionText = QStringLiteral("KESTREL ROUTING SWITCHER %1 x %2").arg(inputs).arg(outputs);
    PanelFieldCaption->SetCaption(FCaptionText);
}

void TMainWindow::FirstCycle(int levelCount) {
    SetAllIndicatorsIdle();
    Field->SetLevelCount(levelCount);
    PreviewField->SetLevelCount(levelCount);
    SetMode(FSettings.FLastState == 2 ? 2 : 1);
    EnableStatusRows();
}

void TMainWindow::SetFieldStatus(int output, const TLevelValues& inputs) {
    Field->SetStatus(output, inputs);
}

void TMainWindow::SetPreviewStatus(int output, const TLevelValues& inputs) {
    PreviewField->SetStatus(output, inputs);
}

void TMainWindow::SetFieldLock(int output, std::uint32_t lockBytes) {
    Field->SetLock(output, lockBytes);
}

void TMainWindow::SetFieldMonitor(const TLevelValues& outputs) {
    Field->SetMonitor(outputs);
}

void TMainWindow::ShowCycleRate(double cyclesPerSecond) {
    if (FShowCycleRate)
        PanelFieldCaption->SetCaption(QString::asprintf("%8.1f", cyclesPerSecond));
}

void TMainWindow::PublishHdmi(int switcherIndex, const THdmiState& state,
                              const THdmiState& shadow) {
    if (HdmiWindow)
        HdmiWindow->PublishHdmi(switcherIndex, state, shadow);
}

void TMainWindow::Finish() {
    SetAllIndicatorsIdle();
    FSettings.FLastState = FMode == 0 ? 1 : FMode;
    LabelClients->SetCaption(QStringLiteral("Clients 0"));
    FClientsShown = 0;
    FClientsWanted.store(-1, std::memory_order_relaxed);
    LabelClients->hide();
    ResetStatusRows();
    if (FHdmiRequests)
        FHdmiRequests->ResetTag();
}

void TMainWindow::PostProgress(int percent, int show) {
    PostWindowMessage(this, WM_PROGRESS, percent, show);
}

void TMainWindow::PostPollDone() {
    PostWindowMessage(this, WM_POLLDONE);
}

void TMainWindow::WMStartPoll() {
    if (PollThread)
        return;
    TPollLevels levels;
    levels.LevelCount = FLevelCount;
    levels.LevelIP = FLevelIP;
    levels.LevelAddress = FLevelAddress;
    levels.TcpPort = 10004;
    levels.OutputLimit = FSettings.OutputLimit;
    ++FWorldVersion;
    PollThread = new TPollThread(levels, *this, this);
    PollThread->start();
    IndicatorTimer->start();
}

void TMainWindow::WMPollDone() {
    if (!PollThread)
        return;
    const std::uint32_t error = PollThread->Cycle().FLastError;
    const std::int32_t ip = PollThread->Cycle().FLastErrorIP;
    // The message is the thread's last action: it ends at once.
    if (PollThread->wait(10000))
        delete PollThread;
    else
        connect(PollThread, &QThread::finished, PollThread, &QObject::deleteLater);
    PollThread = nullptr;
    ++FWorldVersion;
    IndicatorTimer->stop();
    ApplyIndicators(); // the state Finish left
    // Open dialogs close as cancelled.
    if (FParamsDlg)
        FParamsDlg->reject();
    if (FSalvoDlg)
        FSalvoDlg->reject();
    if (FSettingsDlg)
        FSettingsDlg->reject();

    Field->SetLevelCount(0);
    PreviewField->SetLevelCount(0);
    FCaptionText = QStringLiteral("KESTREL");
    PanelFieldCaption->SetCaption(FCaptionText);
    SetMode(0);
    HideHover();
    if (FProgress)
        FProgress->CloseByProgram(QDialog::Rejected);
    if (FClosing) {
        close();
        return;
    }
    const QString text = CommunicationErrorText(error, ip, FLevelCount, FLevelNames, FLevelAddress);
    if (text.isEmpty())
        return;
    Q_EMIT CommunicationErrorShown(text);
    if (FOperatorLog)
        FOperatorLog->Append(QStringLiteral("COMMUNICATION ERROR"), text);
    msgbox::Show(QStringLiteral("Communication Error:"), text, msgbox::TIcon::Error);
}

void TMainWindow::WMProgress(std::intptr_t percent, std::intptr_t show) {
    if (show == 1) {
        Q_EMIT ProgressShown(static_cast<int>(percent));
        if (FProgress) {
            FProgress->SetPosition(static_cast<int>(percent));
            return;
        }
        if (Tip && Tip->width() != 0)
            HideHover();
        TProgressWindow window(this);
        FProgress = &window;
        window.SetText(QStringLiteral("Wait..."));
        window.SetPosition(0);
        window.move(geometry().center() - window.rect().center());
        screenfit::KeepInside(window);
        // Further progress messages and the poll thread's steps are served in this loop.
        window.exec();
        FProgress = nullptr;
    } else if (FProgress) {
        FProgress->CloseByProgram(QDialog::Accepted);
    }
}
