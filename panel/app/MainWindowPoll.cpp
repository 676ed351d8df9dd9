#include "MainWindow.h"

#include "ColorTabBar.h"
#include "ConsoleKeypad.h"
#include "Field.h"
#include "FieldHover.h"
#include "HdmiWindow.h"
#include "IndicatorBox.h"
#include "LevelControl.h"
#include "MessageBox.h"
#include "MonitorWindow.h"
#include "OperatorColumn.h"
#include "Panel.h"
#include "ParamsWindow.h"
#include "PreviewField.h"
#include "ProgressWindow.h"
#include "SalvoSection.h"
#include "ScreenFit.h"
#include "SettingsWindow.h"
#include "SpeedButton.h"
#include "StatusWindow.h"

#include <QFontMetrics>
#include <QThread>
#include <QTimer>

QString ClientsCaption(int clients, const std::function<bool(const QString&)>& fits) {
    const QString full = QStringLiteral("Clients ") + QString::number(clients);
    if (fits(full))
        return full;
    const QString thousands = QStringLiteral("Clients %1k").arg(clients / 1000);
    return clients >= 1000 && fits(thousands) ? thousands : QStringLiteral("Clients");
}

void TMainWindow::ShowMode() {
    const int m = static_cast<int>(FSession->Mode());
    auto colour = [this](TSpeedButton* b, int entry) {
        b->SetColor(FButtonColors[static_cast<std::size_t>(entry)]);
    };
    colour(Column->SBtnOperate, 6 + m);
    colour(Column->SBtnSettings, 9 + m);
    colour(Column->SBtnOnLine, m);
    colour(Column->SBtnPreset, 3 + m);
    Column->SBtnOperate->setEnabled(true);
    Column->SBtnSettings->setEnabled(true);
    Column->SBtnOnLine->setEnabled(m > 0);
    Column->SBtnPreset->setEnabled(m > 0);

    Column->SBtnTake->setEnabled(m == 2);
    colour(Column->SBtnTake, 9 + m);
    Salvos->ShowMode(FSession->Mode(), FButtonColors[static_cast<std::size_t>(9 + m)]);
    Column->Keypad->Refresh(m > 0, Field->GetOutputCount(), Field->GetInputCount());

    if (m > 0) {
        SBtnZoomIn->setEnabled(!FSettings.FPreviewMode);
        SBtnZoomOut->setEnabled(!FSettings.FPreviewMode);
        Column->SBtnPreview->setEnabled(true);
        Column->SBtnHdmi->setEnabled(FSettings.HdmiEnabled);
        Column->SBtnStatus->setEnabled(FSettings.StatusEnabled);
        if (FSettings.FPreviewMode) {
            Column->SBtnHint->setEnabled(false);
            Column->SBtnHint->SetColor(clr::Silver);
        } else {
            Column->SBtnHint->setEnabled(true);
            const QColor tipBk = palette().color(QPalette::ToolTipBase);
            Column->SBtnHint->SetColor(FSettings.FHintsOn
                                           ? RGBColor(tipBk.red(), tipBk.green(), tipBk.blue())
                                           : clr::Silver);
        }
    } else {
        for (TSpeedButton* b :
             {SBtnZoomIn, SBtnZoomOut, Column->SBtnPreview, Column->SBtnHdmi, Column->SBtnHint}) {
            b->setEnabled(false);
            b->SetColor(clr::Silver);
        }
        Column->SBtnStatus->setEnabled(FSettings.StatusEnabled);
        PanelInOut->SetColor(clr::Silver);
        PanelInOut->SetCaption(QString());
        if (HdmiWindow)
            HdmiWindow->hide();
    }
    Column->LevelControl->SetEnabled(m > 0 ? 0x01010101u : 0u);
    Field->setVisible(m > 0 && !FSettings.FPreviewMode);
    PreviewField->setVisible(m > 0 && FSettings.FPreviewMode);
    Column->PanelMemoryBack->setVisible(!(m > 0 && FSettings.FPreviewMode));
    Column->PanelControlBack->setVisible(!(m > 0 && FSettings.FPreviewMode));
}

void TMainWindow::StatusTimerBeat() {
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
        Column->SBtnStatus->SetColor(Column->SBtnStatus->Color() == clr::Red ? clr::Silver
                                                                             : clr::Red);
    else
        Column->SBtnStatus->SetColor(clr::Silver);
}

void TMainWindow::MarkRunningUtilities() {
    if (FSettings.FSfpEnabled) {
        std::array<std::uint64_t, 4> found{};
        const bool running = FUtilities.FindWindows(FSession->Levels().SwitcherCount, found);
        const QColor tipBk = palette().color(QPalette::ToolTipBase);
        const TColor on = RGBColor(tipBk.red(), tipBk.green(), tipBk.blue());
        if (FMonitorDlg)
            for (int i = 1; i <= FSession->Levels().SwitcherCount; ++i)
                FMonitorDlg->SetRunning(i, FUtilities.Pid(i) != 0 ? on : clr::Silver);
        Column->SBtnMonitor->SetColor(running ? on : clr::Silver);
    } else {
        Column->SBtnMonitor->SetColor(clr::Silver);
        Column->SBtnMonitor->Tag = 0;
    }
}

void TMainWindow::ApplyIndicators() {
    const std::array<TIndicatorBox*, 4> boxes{Column->ShapeInit, Column->ShapeConfig,
                                              Column->ShapeState, Column->ShapeProc};
    for (std::size_t i = 0; i < boxes.size(); ++i)
        boxes[i]->SetColor(FIndicatorColors[static_cast<std::size_t>(
            FSession->IndicatorWanted(static_cast<int>(i)))]);
    const int clients = FSession->ClientsWanted();
    if (FSession->LostSwitchers() == 0 && clients >= 0 && clients != FClientsShown) {
        const QFontMetrics metrics(Column->LabelClients->font());
        Column->LabelClients->SetCaption(ClientsCaption(clients, [&](const QString& text) {
            return metrics.horizontalAdvance(text) <= Column->LabelClients->width();
        }));
        FClientsShown = clients;
        if (Column->LabelClients->isHidden())
            Column->LabelClients->show();
    }
}

void TMainWindow::ConnectSession() {
    TSession* session = FSession.get();
    connect(session, &TSession::ModeChanged, this, &TMainWindow::ShowMode);
    connect(&session->Names(), &TNames::Changed, this,
            [this](TNames::TSide side, int index) { ShowNames(side, index, true); });
    connect(&session->Names(), &TNames::Loaded, this, [this] {
        ShowNames(TNames::TSide::Input, -1, /*deferLogos*/ false);
        ShowNames(TNames::TSide::Output, -1, /*deferLogos*/ false);
    });
    connect(session, &TSession::SizeChanged, this, &TMainWindow::ShowSize);
    connect(session, &TSession::SalvosChanged, Salvos, &TSalvoSection::ShowSalvos);
    connect(session, &TSession::IndicatorsChanged, this, &TMainWindow::ApplyIndicators);
    connect(session, &TSession::PollingEnded, this, &TMainWindow::PollingEnded);
    connect(session, &TSession::LinkChanged, this, &TMainWindow::ShowLink);
    connect(session, &TSession::ProgressRequested, this, &TMainWindow::ShowProgress);
    connect(session, &TSession::FirstCycleStarted, this, [this](int levelCount) {
        Field->SetLevelCount(levelCount);
        PreviewField->SetLevelCount(levelCount);
    });
    connect(session, &TSession::StatusPainted, this,
            [this](bool force, const std::array<TSwitcherStatus, 4>& status, int count) {
                if (FSettings.StatusEnabled && StatusWindow)
                    StatusWindow->PaintStatus(force, status, count);
            });
    connect(session, &TSession::StatusRowsEnabled, this, [this] {
        if (StatusWindow)
            StatusWindow->EnableStatusRows();
    });
    connect(session, &TSession::StatusRowsReset, this, [this] {
        if (StatusWindow)
            StatusWindow->ResetStatusRows();
    });
    connect(session, &TSession::PreviewStatusChanged, this,
            [this](int output, const TLevelValues& inputs) {
                PreviewField->SetStatus(output, inputs);
            });
    connect(session, &TSession::CycleRateMeasured, this, [this](double cyclesPerSecond) {
        if (FShowCycleRate)
            PanelFieldCaption->SetCaption(QString::asprintf("%8.1f", cyclesPerSecond));
    });
    connect(session, &TSession::HdmiPublished, this,
            [this](int switcherIndex, const THdmiState& state, const THdmiState& shadow) {
                if (HdmiWindow)
                    HdmiWindow->PublishHdmi(switcherIndex, state, shadow);
            });
    connect(session, &TSession::Finished, this, [this] {
        FSettings.FLastState = static_cast<int>(FSession->LastMode());
        Column->LabelClients->SetCaption(QStringLiteral("Clients 0"));
        FClientsShown = 0;
        Column->LabelClients->hide();
    });
    connect(session, &TSession::OperatorLogFailed, this,
            [](const QString& fileName, const QString& why) {
                msgbox::Notify(QStringLiteral("Error:"),
                               QStringLiteral("The operator's log %1 cannot be written (%2). "
                                              "Routing goes on; this is reported once.")
                                   .arg(fileName, why),
                               msgbox::TIcon::Error);
            });
}

void TMainWindow::ShowSize(int inputs, int outputs) {
    ++FWorldVersion;
    Field->SetSize(inputs, outputs);
    PreviewField->SetSize(inputs, outputs);
    FCaptionText = QStringLiteral("KESTREL ROUTING SWITCHER %1 x %2").arg(inputs).arg(outputs);
    PanelFieldCaption->SetCaption(FCaptionText);
}

void TMainWindow::ShowLink() {
    if (FSession->LostSwitchers() != 0) {
        Column->LabelClients->SetFontColor(clr::Red);
        Column->LabelClients->SetCaption(QStringLiteral("LINK LOST"));
        Column->LabelClients->setToolTip(FSession->LinkLostText());
        Column->LabelClients->show();
    } else {
        Column->LabelClients->SetFontColor(clr::Black);
        Column->LabelClients->setToolTip(QString());
        FClientsShown = -1; // the next indicator step shows the count again
        ApplyIndicators();
    }
    Field->RedrawAllMarks();
    PreviewField->SetLevelsAway(FSession->CrossPoints().LevelsAway());
}

void TMainWindow::StartOperating() {
    FSession->SetResumeAfterLoss(FSettings.AutoResume);
    if (FSession->StartPolling(FSettings.OutputLimit))
        IndicatorTimer->start();
}

void TMainWindow::PollingEnded(const QString& errorText) {
    ++FWorldVersion;
    IndicatorTimer->stop();
    ApplyIndicators(); // the state the poll thread left
    // Open dialogs close as cancelled.
    if (FParamsDlg)
        FParamsDlg->reject();
    Salvos->CancelEdit();
    if (FSettingsDlg)
        FSettingsDlg->reject();

    Field->SetLevelCount(0);
    PreviewField->SetLevelCount(0);
    FCaptionText = QStringLiteral("KESTREL");
    PanelFieldCaption->SetCaption(FCaptionText);
    FHover->Hide();
    if (FProgress)
        FProgress->CloseByProgram(QDialog::Rejected);
    if (FClosing) {
        close();
        return;
    }
    if (errorText.isEmpty())
        return;
    Q_EMIT CommunicationErrorShown(errorText);
    msgbox::Show(QStringLiteral("Communication Error:"), errorText, msgbox::TIcon::Error);
}

void TMainWindow::ShowProgress(int percent, int show) {
    if (show == 1) {
        Q_EMIT ProgressShown(percent);
        if (FProgress) {
            FProgress->SetPosition(percent);
            return;
        }
        FHover->HideTip();
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
