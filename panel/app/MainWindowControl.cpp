#include "MainWindow.h"

#include "Field.h"
#include "FieldHover.h"
#include "HdmiRequests.h"
#include "HdmiWindow.h"
#include "IniFile.h"
#include "LevelControl.h"
#include "LogCategories.h"
#include "MessageBox.h"
#include "OperatorColumn.h"
#include "Panel.h"
#include "ParamsWindow.h"
#include "PreviewField.h"
#include "SalvoSection.h"
#include "SettingsWindow.h"
#include "SpeedButton.h"
#include "StatusWindow.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QTimer>

void TMainWindow::ConnectOperatorControls() {
    // Most buttons act on the left button; the zoom buttons and MONITOR on any.
    const auto onLeft = [this](TSpeedButton* button, void (TMainWindow::*handler)()) {
        connect(button, &TSpeedButton::MouseDown, this, [this, handler](Qt::MouseButton b) {
            if (b == Qt::LeftButton)
                (this->*handler)();
        });
    };
    onLeft(Column->SBtnOperate, &TMainWindow::ToggleOperate);
    onLeft(Column->SBtnSettings, &TMainWindow::OpenSettings);
    onLeft(Column->SBtnOnLine, &TMainWindow::GoOnLine);
    onLeft(Column->SBtnPreset, &TMainWindow::GoPreset);
    onLeft(Column->SBtnPreview, &TMainWindow::TogglePreview);
    onLeft(Column->SBtnHint, &TMainWindow::ToggleHints);
    onLeft(Column->SBtnStatus, &TMainWindow::ToggleStatusWindow);
    onLeft(Column->SBtnHdmi, &TMainWindow::ToggleHdmiWindow);
    connect(Column->SBtnTake, &TSpeedButton::MouseDown, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers m) {
                if (b == Qt::LeftButton)
                    Take(m);
            });
    connect(PanelFieldCaption, &TPanel::MouseDown, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers m, QPoint) {
                if (b == Qt::LeftButton)
                    CaptionClicked(m);
            });
    connect(SBtnZoomIn, &TSpeedButton::MouseDown, this, &TMainWindow::ZoomIn);
    connect(SBtnZoomOut, &TSpeedButton::MouseDown, this, &TMainWindow::ZoomOut);
    connect(Column->SBtnMonitor, &TSpeedButton::MouseDown, this, &TMainWindow::OpenMonitorList);
    connect(WindowMenu, &QMenu::aboutToShow, this, &TMainWindow::TickWindowMenu);
    connect(WindowMenuStatus, &QAction::triggered, this, &TMainWindow::ToggleStatusEnabled);
    connect(WindowMenuHdmi, &QAction::triggered, this, &TMainWindow::ToggleHdmiEnabled);
    connect(WindowMenuMonitor, &QAction::triggered, this, &TMainWindow::ToggleMonitorEnabled);
    connect(WindowMenuExportNames, &QAction::triggered, this, &TMainWindow::ExportNames);
    connect(WindowMenuImportNames, &QAction::triggered, this, &TMainWindow::ImportNames);
    connect(WindowMenuUndo, &QAction::triggered, this, &TMainWindow::StepBack);
    connect(TimerMon, &QTimer::timeout, this, &TMainWindow::MonitorTestStep);

    // The form sees every key before the focused control, and mouse moves over
    // the rest of the window take the hover display away.
    qApp->installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        if (!Field->isAncestorOf(w) && w != Field)
            w->setMouseTracking(true);
    if (auto* list = findChild<QAbstractItemView*>(QStringLiteral("LBoxMemory")))
        list->viewport()->setMouseTracking(true);
}

namespace {

bool IsArrowKey(int key) {
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

// Widgets that move their own selection, value or cursor with the arrow keys.
bool UsesArrowKeys(const QWidget* w) {
    for (; w; w = w->parentWidget()) {
        if (qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
            qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QLineEdit*>(w) ||
            qobject_cast<const QComboBox*>(w))
            return true;
        if (w->isWindow())
            break;
    }
    return false;
}

} // namespace

bool TMainWindow::eventFilter(QObject* watched, QEvent* e) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != this)
        return QWidget::eventFilter(watched, e);
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        // A key a child does not take travels on to its parents as the same
        // event: the form handles it once, at its first delivery. A new press
        // may reuse the address and the time stamp, so it is the step to the
        // previous receiver's parent that tells a key travelling on.
        const bool travelling = k == FLastKeyEvent && k->timestamp() == FLastKeyTime &&
                                FLastKeyReceiver && w == FLastKeyReceiver->parentWidget();
        FLastKeyEvent = k;
        FLastKeyTime = k->timestamp();
        FLastKeyReceiver = w;
        if (travelling)
            return false;
        // A control that moves with the arrow keys (the salvo list) has them to
        // itself: the field does not scroll as well.
        if (IsArrowKey(k->key()) && UsesArrowKeys(w))
            return false;
        if (KeyPressed(k->key(), k->modifiers()))
            return true;
        if (Salvos->ListKey(w, k->key()))
            return true;
    } else if (e->type() == QEvent::MouseMove) {
        if (w != Field && !Field->isAncestorOf(w))
            FHover->PointerLeft();
    } else if (e->type() == QEvent::WindowDeactivate && w == this) {
        FHover->PointerLeft();
    }
    return QWidget::eventFilter(watched, e);
}

void TMainWindow::ToggleOperate() {
    if (FSession->Mode() != TMode::Off) {
        Column->SBtnOperate->setEnabled(false);
        Column->SBtnSettings->setEnabled(false);
        FSession->StopPolling();
        return;
    }
    LoadLevelSet();
    if (FSession->Levels().Count > 0) {
        Column->SBtnOperate->setEnabled(false);
        Column->SBtnSettings->setEnabled(false);
        // Started from the event loop, after this click has been handled.
        QMetaObject::invokeMethod(this, &TMainWindow::StartOperating, Qt::QueuedConnection);
        return;
    }
    if (RunModal([] {
            msgbox::Show(QStringLiteral("Error"), QStringLiteral("None selected Routing Switchers"),
                         msgbox::TIcon::Error);
        }))
        OpenSettings();
}

void TMainWindow::OpenSettings() {
    if (FSettingsDlg)
        return;
    TSettingsWindow dialog(FSession->LevelSetFileName(), this);
    dialog.SetReadOnly(FSession->Polling());
    dialog.move(geometry().center() - dialog.rect().center());
    FSettingsDlg = &dialog;
    int result = QDialog::Rejected;
    RunModal([&] { result = msgbox::ExecDialog(dialog); });
    FSettingsDlg = nullptr;
    // Polling ending meanwhile closes the dialog as cancelled.
    if (result != QDialog::Accepted || FClosing)
        return;
    FUtilities.QuitAll(); // the switchers may have changed
    LoadLevelSet();
}

void TMainWindow::GoOnLine() {
    if (FSession->Mode() == TMode::Preset)
        FSession->SetMode(TMode::OnLine);
}

void TMainWindow::GoPreset() {
    if (FSession->Mode() == TMode::OnLine)
        FSession->SetMode(TMode::Preset);
}

void TMainWindow::Take(Qt::KeyboardModifiers mods) {
    if (FSession->Mode() == TMode::Off || !FSession->Polling())
        return;
    bool ignore = false;
    if ((mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) ==
        Qt::ControlModifier) {
        msgbox::TAnswer answer = msgbox::TAnswer::Cancel;
        QString text = QStringLiteral("Press OK if you want to Ignore locks.");
        // Even ignoring locks, a TAKE leaves some presets out: say how many.
        const std::size_t held = FSession->PlanTake(true).Held.size();
        if (held == 1)
            text += QStringLiteral("\n\n1 preset cross-point will not be taken.");
        else if (held > 1)
            text += QStringLiteral("\n\n%1 preset cross-points will not be taken.").arg(held);
        if (!RunModal([&] {
                answer = msgbox::Show(QStringLiteral("Confirm"), text, msgbox::TIcon::Question,
                                      msgbox::TButtons::OkCancel);
            }))
            return; // polling ended or the mode changed while the box was open
        if (answer != msgbox::TAnswer::Ok)
            return;
        ignore = true;
    }
    FSession->Take(ignore);
}

void TMainWindow::StepBack() {
    QString report;
    if (!FSession->StepBackNow(&report) || report.isEmpty())
        return;
    if (report.size() > 600)
        report = report.left(600) + QStringLiteral("...");
    msgbox::Notify(QStringLiteral("Undo"), QStringLiteral("Not restored: ") + report,
                   msgbox::TIcon::Warning);
}

void TMainWindow::ZoomIn() {
    Field->SetScale(Field->GetScale() + 1);
}
void TMainWindow::ZoomOut() {
    Field->SetScale(Field->GetScale() - 1);
}

void TMainWindow::TogglePreview() {
    FHover->Hide();
    FSettings.FPreviewMode = !FSettings.FPreviewMode;
    ShowMode();
}

void TMainWindow::ToggleHints() {
    if (FSession->Mode() == TMode::Off)
        return;
    FSettings.FHintsOn = !FSettings.FHintsOn;
    ShowMode();
}

void TMainWindow::CaptionClicked(Qt::KeyboardModifiers mods) {
    if (FSession->Mode() == TMode::Off)
        return;
    const auto only =
        mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (only == Qt::ShiftModifier) {
        FShowCycleRate = !FShowCycleRate;
        FSession->SetCycleRateWanted(FShowCycleRate);
        if (!FShowCycleRate)
            PanelFieldCaption->SetCaption(FCaptionText);
    } else if (only == Qt::ControlModifier) {
        FMonitorTestOn = !FMonitorTestOn;
        TimerMon->setProperty("Tag", 0);
        if (FMonitorTestOn)
            TimerMon->start();
        else
            TimerMon->stop();
        PanelFieldCaption->SetCaption(FMonitorTestOn ? QStringLiteral("MONITOR TEST")
                                                     : FCaptionText);
    }
}

void TMainWindow::MonitorTestStep() {
    TimerMon->stop();
    const int t = TimerMon->property("Tag").toInt();
    Field->ScrollToRow(t);
    Field->SetMonitor({t, t, t, t});
    PanelFieldCaption->SetCaption(QStringLiteral("MONITOR ON ") + QString::number(t + 1));
    TimerMon->setProperty("Tag", t + 1);
    if (t + 1 > Field->GetOutputCount() - 1 || FSession->Mode() == TMode::Off) {
        FMonitorTestOn = false;
        PanelFieldCaption->SetCaption(FCaptionText);
    }
    if (FMonitorTestOn)
        TimerMon->start();
}

void TMainWindow::MonitorStep(int delta) {
    const int last = FSession->CrossPoints().StepMonitor(delta);
    if (last >= 0)
        Field->ScrollToRow(last);
}

bool TMainWindow::KeyPressed(int key, Qt::KeyboardModifiers mods) {
    if (FSession->Mode() != TMode::Off && !FSession->Polling())
        return false;
    const auto only =
        mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (FSession->Mode() != TMode::Off && key == Qt::Key_Z && only == Qt::ControlModifier) {
        StepBack();
        return true;
    }
    if (FSession->Mode() != TMode::Off && !FSettings.FPreviewMode) {
        const bool keypad = mods & Qt::KeypadModifier;
        switch (key) {
        case Qt::Key_PageUp:
            MonitorStep(-1);
            return true;
        case Qt::Key_PageDown:
            MonitorStep(1);
            return true;
        case Qt::Key_Space:
            // A key carries no mouse button: the lock confirmation is never asked.
            FSession->Take(false);
            return true;
        case Qt::Key_O:
            GoOnLine();
            return true;
        case Qt::Key_P:
            GoPreset();
            return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomIn();
            return false;
        case Qt::Key_Insert:
            ZoomOut();
            return false;
        case Qt::Key_Minus:
            if (keypad)
                ZoomOut();
            return false;
        case Qt::Key_Left:
            Field->ScrollColumns(-1);
            return false;
        case Qt::Key_Right:
            Field->ScrollColumns(1);
            return false;
        case Qt::Key_Up:
            Field->ScrollRows(-1);
            return false;
        case Qt::Key_Down:
            Field->ScrollRows(1);
            return false;
        default:
            break;
        }
    }
    if (FSession->Mode() != TMode::Off && key == Qt::Key_M) {
        TogglePreview();
        return true;
    }
    if (FSession->Mode() == TMode::Off && key == Qt::Key_S) {
        OpenSettings();
        return true;
    }
    if (key == Qt::Key_W) {
        ToggleOperate();
        return true;
    }
    return false;
}

void TMainWindow::ToggleStatusWindow() {
    if (!FSettings.StatusEnabled || !StatusWindow)
        return;
    StatusWindow->setVisible(!StatusWindow->isVisible());
}

void TMainWindow::ToggleHdmiWindow() {
    if (!FSettings.HdmiEnabled || !HdmiWindow)
        return;
    HdmiWindow->setVisible(!HdmiWindow->isVisible());
}

void TMainWindow::TickWindowMenu() {
    WindowMenuStatus->setChecked(FSettings.StatusEnabled);
    WindowMenuHdmi->setChecked(FSettings.HdmiEnabled);
    WindowMenuMonitor->setChecked(FSettings.FSfpEnabled);
    // Enabled while the last action can be stepped back from: something it
    // changed differs from before and no report since showed another change.
    const bool undo = FSession->CanStepBack();
    WindowMenuUndo->setEnabled(undo);
    WindowMenuUndo->setText(
        (undo ? QStringLiteral("Undo ") + QString::fromStdString(FSession->StepBack().Action())
              : QStringLiteral("Undo")) +
        QStringLiteral("\tCtrl+Z"));
}

void TMainWindow::ToggleStatusEnabled() {
    FSettings.StatusEnabled = !FSettings.StatusEnabled;
    if (!FSettings.StatusEnabled && StatusWindow && StatusWindow->isVisible())
        StatusWindow->close();
    Column->SBtnStatus->setEnabled(FSettings.StatusEnabled);
    // Painting resumes with every row.
    if (FSettings.StatusEnabled)
        FSession->RequestStatus();
}

void TMainWindow::ToggleHdmiEnabled() {
    FSettings.HdmiEnabled = !FSettings.HdmiEnabled;
    FSession->HdmiRequests()->SetEnabled(FSettings.HdmiEnabled);
    if (!FSettings.HdmiEnabled && HdmiWindow && HdmiWindow->isVisible())
        HdmiWindow->close();
    Column->SBtnHdmi->setEnabled(FSettings.HdmiEnabled && FSession->Polling());
    ShowHdmiTip();
    if (FSettings.HdmiEnabled)
        FSession->RequestHdmiRefresh();
}

void TMainWindow::ShowHdmiTip() {
    // The grey button says what is missing: the tick in the menu, or operation.
    Column->SBtnHdmi->SetDisabledTip(
        FSettings.HdmiEnabled
            ? QStringLiteral("HDMI opens while operating: press OPERATE.")
            : QStringLiteral("Right-click this WINDOW panel and tick HDMI to use it; it opens "
                             "while operating."));
}

void TMainWindow::VisibleLevelsChanged(TLevelControl* sender, int) {
    const std::uint32_t visible = sender->GetVisible();
    Field->SetVisible(visible);
    PreviewField->SetVisible(visible);
}

void TMainWindow::ControlLevelsChanged(TLevelControl* sender, int) {
    Field->SetControl(sender->GetControl());
}

void TMainWindow::EditParams(bool input, int index) {
    if (index < 0 || index >= 256 || FParamsDlg)
        return;
    FHover->HideTip();
    TParamsWindow dialog(this);
    dialog.setWindowTitle((input ? QStringLiteral("Input ") : QStringLiteral("Output ")) +
                          QString::number(index + 1));
    dialog.SetLogoFile(input ? Field->GetInputLogo(index) : Field->GetOutputLogo(index));
    dialog.EditName->setText(input ? Field->GetInputName(index) : Field->GetOutputName(index));
    dialog.move(geometry().center() - dialog.rect().center());
    FParamsDlg = &dialog;
    const TPollThread* polling = FSession->PollThread();
    int result = QDialog::Rejected;
    RunModal([&] { result = msgbox::ExecDialog(dialog); });
    FParamsDlg = nullptr;
    // Ending polling cancels the dialog; a resize or mode change meanwhile does
    // not touch names, which are kept for every index.
    if (result != QDialog::Accepted || FClosing || !FSession->Polling() ||
        FSession->PollThread() != polling)
        return;
    const QString name = CleanParamsName(dialog.EditName->text());
    dialog.EditName->setText(name);
    const QString logo = dialog.LogoFile();
    // The model shows the change everywhere and writes it to the INI file.
    QString failure;
    if (FSession->Names().Set(input ? TNames::TSide::Input : TNames::TSide::Output, index, name,
                              logo, &failure))
        return;
    qCWarning(lcFiles).noquote() << "Cannot save" << FIniFileName << "(" << failure << ")";
    msgbox::Show(QStringLiteral("Error:"),
                 QStringLiteral("The name could not be saved to %1:\n%2\nIt is shown until the "
                                "panel closes.")
                     .arg(FIniFileName, failure),
                 msgbox::TIcon::Error);
}

bool TMainWindow::RunModal(const std::function<void()>& step) {
    const quint64 before = FWorldVersion, sessionBefore = FSession->WorldVersion();
    step();
    return FWorldVersion == before && FSession->WorldVersion() == sessionBefore && !FClosing;
}
