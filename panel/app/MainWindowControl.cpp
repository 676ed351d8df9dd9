#include "MainWindow.h"

#include "DigitalPanel.h"
#include "Field.h"
#include "HdmiRequests.h"
#include "HdmiWindow.h"
#include "HoverPanel.h"
#include "IniFile.h"
#include "LevelControl.h"
#include "LogCategories.h"
#include "MessageBox.h"
#include "Panel.h"
#include "ParamsWindow.h"
#include "PreviewField.h"
#include "SettingsWindow.h"
#include "SpeedButton.h"
#include "StatusWindow.h"
#include "TipForm.h"

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

int DigitOf(int n, int p) {
    if (n <= 0)
        return -1;
    int c = 10;
    for (int i = 0; i < p; ++i)
        c *= 10;
    const int digit = p == 0 ? n % c : (n % c) / (c / 10);
    if (n / c == 0 && digit == 0)
        return -1;
    return digit;
}

QPoint TipPosition(QPoint cell, int s, QSize tip, QRect workArea) {
    int x = cell.x() + s + 2, y = cell.y() + s + 2;
    if (x + tip.width() >= workArea.right() + 1)
        x = cell.x() - tip.width() - 2;
    if (y + tip.height() >= workArea.bottom() + 1)
        y = cell.y() - tip.height() - 2;
    return {x, y};
}

QRect TMainWindow::WorkArea() const {
    if (FWorkArea.isValid())
        return FWorkArea;
    if (const QScreen* sc = screen())
        return sc->availableGeometry();
    return {0, 0, 1024, 768};
}

void TMainWindow::ConnectOperatorControls() {
    auto left = [](auto handler) {
        return [handler](Qt::MouseButton b, Qt::KeyboardModifiers) { handler(b); };
    };
    connect(SBtnOperate, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnOperateMouseDown(b); }));
    connect(SBtnSettings, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnSettingsMouseDown(b); }));
    connect(SBtnOnLine, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnOnLineMouseDown(b); }));
    connect(SBtnPreset, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnPresetMouseDown(b); }));
    connect(SBtnTake, &TSpeedButton::MouseDown, this, &TMainWindow::SBtnTakeMouseDown);
    connect(SBtnZoomIn, &TSpeedButton::MouseDown, this, [this] { SBtnZoomInMouseDown(); });
    connect(SBtnZoomOut, &TSpeedButton::MouseDown, this, [this] { SBtnZoomOutMouseDown(); });
    connect(SBtnPreview, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnPreviewMouseDown(b); }));
    connect(SBtnHint, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnHintMouseDown(b); }));
    connect(SBtnStatus, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnStatusMouseDown(b); }));
    connect(SBtnHdmi, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnHdmiMouseDown(b); }));
    connect(WindowMenu, &QMenu::aboutToShow, this, [this] { WindowMenuPopup(); });
    connect(WindowMenuStatus, &QAction::triggered, this, [this] { WindowMenuStatusClick(); });
    connect(WindowMenuHdmi, &QAction::triggered, this, [this] { WindowMenuHdmiClick(); });
    connect(WindowMenuMonitor, &QAction::triggered, this, [this] { WindowMenuMonitorClick(); });
    connect(WindowMenuExportNames, &QAction::triggered, this,
            [this] { WindowMenuExportNamesClick(); });
    connect(WindowMenuImportNames, &QAction::triggered, this,
            [this] { WindowMenuImportNamesClick(); });
    connect(SBtnMonitor, &TSpeedButton::MouseDown, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers) { SBtnMonitorMouseDown(b); });
    connect(PanelFieldCaption, &TPanel::MouseDown, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers m, QPoint) {
                PanelFieldCaptionMouseDown(b, m);
            });
    connect(TimerMon, &QTimer::timeout, this, &TMainWindow::TimerMonTimer);
    std::vector<TSpeedButton*> keys(SBtnDigits.begin(), SBtnDigits.end());
    keys.insert(keys.end(),
                {SBtnBS, SBtnESC, SBtnConsoleOutput, SBtnConsoleInput, SBtnConsoleTake});
    for (TSpeedButton* key : keys)
        connect(key, &TSpeedButton::MouseDown, this, [this, key] { KeypadKeyDown(key); });

    connect(SBtnNewSlot, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnNewSlotMouseDown(b); }));
    connect(SBtnSaveSlot, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnSaveSlotMouseDown(b); }));
    connect(SBtnDelSlot, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnDelSlotMouseDown(b); }));
    connect(LBoxMemory, &QListWidget::itemClicked, this, [this] { LBoxMemoryClick(); });
    // Save and Del follow the selection however it changes (arrow keys, Del).
    connect(LBoxMemory, &QListWidget::itemSelectionChanged, this, [this] {
        if (FSession->Mode() != TMode::Off)
            ShowMode();
    });
    connect(LBoxMemory, &QListWidget::itemDoubleClicked, this, [this] { LBoxMemoryDblClick(); });

    Field->OnCellHover = [this](QWidget* sender, QPoint cell, int col, int row) {
        ShowHover(sender, cell, col, row);
    };
    Field->OnHoverLeave = [this](QWidget*) { HideHover(); };
    PanelFieldBack->OnMouseEnter = [this](THoverPanel*) { PanelFieldBackMouseEnter(); };
    PanelFieldBack->OnMouseHover = [this](THoverPanel*, int x, int y) {
        PanelFieldBackMouseHover(x, y);
    };

    // The form sees every key before the focused control, and mouse moves over
    // the rest of the window take the hover display away.
    qApp->installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        if (!Field->isAncestorOf(w) && w != Field)
            w->setMouseTracking(true);
    LBoxMemory->viewport()->setMouseTracking(true);
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
        if (FormKeyDown(k->key(), k->modifiers()))
            return true;
        if (w == LBoxMemory && LBoxMemoryKeyDown(k->key()))
            return true;
    } else if (e->type() == QEvent::MouseMove) {
        if (w != Field && !Field->isAncestorOf(w))
            PanelFieldBackMouseMove();
    } else if (e->type() == QEvent::WindowDeactivate && w == this) {
        FormDeactivate();
    }
    return QWidget::eventFilter(watched, e);
}

void TMainWindow::SBtnOperateMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    if (FSession->Mode() != TMode::Off) {
        SBtnOperate->setEnabled(false);
        SBtnSettings->setEnabled(false);
        FSession->StopPolling();
        return;
    }
    LoadLevelSet();
    if (FSession->Levels().Count > 0) {
        SBtnOperate->setEnabled(false);
        SBtnSettings->setEnabled(false);
        // Started from the event loop, after this click has been handled.
        QMetaObject::invokeMethod(this, &TMainWindow::StartOperating, Qt::QueuedConnection);
        return;
    }
    if (RunModal([] {
            msgbox::Show(QStringLiteral("Error"), QStringLiteral("None selected Routing Switchers"),
                         msgbox::TIcon::Error);
        }))
        SBtnSettingsMouseDown(Qt::LeftButton);
}

void TMainWindow::SBtnSettingsMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton || FSettingsDlg)
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

void TMainWindow::SBtnOnLineMouseDown(Qt::MouseButton button) {
    if (button == Qt::LeftButton && FSession->Mode() == TMode::Preset)
        FSession->SetMode(TMode::OnLine);
}

void TMainWindow::SBtnPresetMouseDown(Qt::MouseButton button) {
    if (button == Qt::LeftButton && FSession->Mode() == TMode::OnLine)
        FSession->SetMode(TMode::Preset);
}

void TMainWindow::SBtnTakeMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    if (button != Qt::LeftButton || FSession->Mode() == TMode::Off || !FSession->Polling())
        return;
    bool ignore = false;
    if ((mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) ==
        Qt::ControlModifier) {
        msgbox::TAnswer answer = msgbox::TAnswer::Cancel;
        if (!RunModal([&] {
                answer = msgbox::Show(QStringLiteral("Confirm"),
                                      QStringLiteral("Press OK if you want to Ignore locks."),
                                      msgbox::TIcon::Question, msgbox::TButtons::OkCancel);
            }))
            return; // polling ended or the mode changed while the box was open
        if (answer != msgbox::TAnswer::Ok)
            return;
        ignore = true;
    }
    FSession->Take(ignore);
}

void TMainWindow::SBtnZoomInMouseDown() {
    Field->SetScale(Field->GetScale() + 1);
}
void TMainWindow::SBtnZoomOutMouseDown() {
    Field->SetScale(Field->GetScale() - 1);
}

void TMainWindow::SBtnPreviewMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    HideHover();
    FSettings.FPreviewMode = !FSettings.FPreviewMode;
    ShowMode();
}

void TMainWindow::SBtnHintMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton || FSession->Mode() == TMode::Off)
        return;
    FSettings.FHintsOn = !FSettings.FHintsOn;
    ShowMode();
}

void TMainWindow::PanelFieldCaptionMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    if (button != Qt::LeftButton || FSession->Mode() == TMode::Off)
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

void TMainWindow::TimerMonTimer() {
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

void TMainWindow::RefreshConsole() {
    std::vector<TSpeedButton*> keys(SBtnDigits.begin(), SBtnDigits.end());
    keys.insert(keys.end(),
                {SBtnBS, SBtnESC, SBtnConsoleOutput, SBtnConsoleInput, SBtnConsoleTake});
    if (FSession->Mode() == TMode::Off) {
        for (TDigitalPanel* d : {DigitOutput[0], DigitOutput[1], DigitOutput[2], DigitInput[0],
                                 DigitInput[1], DigitInput[2]})
            d->ShowDigit(-1);
        for (TSpeedButton* k : keys)
            k->setEnabled(false);
        SBtnConsoleOutput->SetColor(clr::Silver);
        SBtnConsoleInput->SetColor(clr::Silver);
        return;
    }
    if (!SBtnDigits[1]->isEnabled())
        for (TSpeedButton* k : keys)
            k->setEnabled(true);
    SBtnConsoleOutput->SetColor(FKeypad.ToOutput() ? clr::Lime : clr::Green);
    SBtnConsoleInput->SetColor(FKeypad.ToOutput() ? clr::Green : clr::Lime);
    const int output = FKeypad.Output(), input = FKeypad.Input();
    for (int p = 0; p < 3; ++p) {
        DigitOutput[static_cast<std::size_t>(p)]->ShowDigit(output <= 0 ? -1 : DigitOf(output, p));
        DigitInput[static_cast<std::size_t>(p)]->ShowDigit(input <= 0 ? -1 : DigitOf(input, p));
    }
    SBtnConsoleTake->setEnabled(input >= 1 && input <= Field->GetInputCount() && output >= 1 &&
                                output <= Field->GetOutputCount());
}

void TMainWindow::KeypadKeyDown(TSpeedButton* key) {
    if (FSession->Mode() == TMode::Off)
        return;
    if (key == SBtnConsoleInput || key == SBtnConsoleOutput) {
        FKeypad.Select(key == SBtnConsoleOutput);
        RefreshConsole();
        return;
    }
    if (key == SBtnConsoleTake) {
        if (FKeypad.Take(Field->GetOutputCount(), Field->GetInputCount()))
            FSession->CrossPoints().KeypadRoute(FKeypad.Output() - 1, FKeypad.Input() - 1);
        return;
    }
    // Digits carry their value as Tag; "<-" is -1, ESC -2.
    using K = TKeypadEntry::TKey;
    const K kind = key->Tag >= 0 ? K::Digit : key->Tag == -1 ? K::Back : K::Escape;
    const int limit = FKeypad.ToOutput() ? Field->GetOutputCount() : Field->GetInputCount();
    if (FKeypad.Press(kind, key->Tag, limit))
        RefreshConsole();
}

void TMainWindow::MonitorStep(int delta) {
    const int last = FSession->CrossPoints().StepMonitor(delta);
    if (last >= 0)
        Field->ScrollToRow(last);
}

bool TMainWindow::FormKeyDown(int key, Qt::KeyboardModifiers mods) {
    if (FSession->Mode() != TMode::Off && !FSession->Polling())
        return false;
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
            SBtnOnLineMouseDown(Qt::LeftButton);
            return true;
        case Qt::Key_P:
            SBtnPresetMouseDown(Qt::LeftButton);
            return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            SBtnZoomInMouseDown();
            return false;
        case Qt::Key_Insert:
            SBtnZoomOutMouseDown();
            return false;
        case Qt::Key_Minus:
            if (keypad)
                SBtnZoomOutMouseDown();
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
        SBtnPreviewMouseDown(Qt::LeftButton);
        return true;
    }
    if (FSession->Mode() == TMode::Off && key == Qt::Key_S) {
        SBtnSettingsMouseDown(Qt::LeftButton);
        return true;
    }
    if (key == Qt::Key_W) {
        SBtnOperateMouseDown(Qt::LeftButton);
        return true;
    }
    return false;
}

void TMainWindow::FormDeactivate() {
    PanelFieldBackMouseMove();
}

void TMainWindow::PanelFieldBackMouseMove() {
    if (Tip && Tip->width() != 0)
        HideHover();
    if (Field->HoverCol() != -10)
        Field->SetHoverCol(-10);
    if (Field->HoverRow() != -10)
        Field->SetHoverRow(-10);
}

void TMainWindow::PanelFieldBackMouseEnter() {
    if (!FSettings.FPreviewMode)
        PanelFieldBack->RequestHover(300);
}

void TMainWindow::PanelFieldBackMouseHover(int x, int y) {
    if (FSettings.FPreviewMode)
        return;
    const int margin = PanelFieldBack->BevelInset() + 10;
    if (x > PanelFieldBack->width() - margin)
        Field->ScrollColumns(2);
    else if (x < margin)
        Field->ScrollColumns(-2);
    if (y > PanelFieldBack->height() - margin)
        Field->ScrollRows(2);
    else if (y < margin)
        Field->ScrollRows(-2);
    PanelFieldBack->RequestHover(50);
}

void TMainWindow::ShowHover(QWidget*, QPoint cell, int col, int row) {
    QString in, out;
    if (col >= 0) {
        in = QStringLiteral("IN") + Field->GetInputNumber(col);
        if (!Field->GetInputName(col).isEmpty())
            in += QLatin1Char(' ') + Field->GetInputName(col);
    }
    if (row >= 0) {
        out = QStringLiteral("OUT") + Field->GetOutputNumber(row);
        if (!Field->GetOutputName(row).isEmpty())
            out += QLatin1Char(' ') + Field->GetOutputName(row);
    }
    PanelInOut->SetCaption(!in.isEmpty() && !out.isEmpty() ? in + QStringLiteral(" --> ") + out
                                                           : (in.isEmpty() ? out : in));
    PanelInOut->SetColor(RGBColor(0xEE, 0xEE, 0xEE));
    if (!FSettings.FHintsOn || !Tip)
        return;
    Tip->move(
        TipPosition(cell, Field->Geometry().CellSize, QSize(TipWidth, TipHeight), WorkArea()));
    if (Tip->width() != TipWidth) {
        Tip->resize(TipWidth, TipHeight);
        if (TTip::TranslucencySupported())
            Tip->setWindowOpacity(230 / 255.0);
    }
    Tip->InNumberText = col >= 0 ? Field->GetInputNumber(col) : QString();
    Tip->InNameText = col >= 0 ? Field->GetInputName(col) : QString();
    Field->CopyInputLogo(col, Tip->InLogo);
    Tip->OutNumberText = row >= 0 ? Field->GetOutputNumber(row) : QString();
    Tip->OutNameText = row >= 0 ? Field->GetOutputName(row) : QString();
    Field->CopyOutputLogo(row, Tip->OutLogo);
    Tip->update();
}

void TMainWindow::HideHover() {
    if (Tip) {
        if (TTip::TranslucencySupported())
            Tip->setWindowOpacity(1.0);
        Tip->setGeometry(0, Tip->y(), 0, Tip->height());
    }
    PanelInOut->SetCaption(QString());
    PanelInOut->SetColor(clr::Silver);
}

void TMainWindow::SBtnStatusMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton || !FSettings.StatusEnabled || !StatusWindow)
        return;
    StatusWindow->setVisible(!StatusWindow->isVisible());
}

void TMainWindow::SBtnHdmiMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton || !FSettings.HdmiEnabled || !HdmiWindow)
        return;
    HdmiWindow->setVisible(!HdmiWindow->isVisible());
}

void TMainWindow::WindowMenuPopup() {
    WindowMenuStatus->setChecked(FSettings.StatusEnabled);
    WindowMenuHdmi->setChecked(FSettings.HdmiEnabled);
    WindowMenuMonitor->setChecked(FSettings.FSfpEnabled);
}

void TMainWindow::WindowMenuStatusClick() {
    FSettings.StatusEnabled = !FSettings.StatusEnabled;
    if (!FSettings.StatusEnabled && StatusWindow && StatusWindow->isVisible())
        StatusWindow->close();
    SBtnStatus->setEnabled(FSettings.StatusEnabled);
    // Painting resumes with every row.
    if (FSettings.StatusEnabled)
        FSession->RequestStatus();
}

void TMainWindow::WindowMenuHdmiClick() {
    FSettings.HdmiEnabled = !FSettings.HdmiEnabled;
    FSession->HdmiRequests()->SetEnabled(FSettings.HdmiEnabled);
    if (!FSettings.HdmiEnabled && HdmiWindow && HdmiWindow->isVisible())
        HdmiWindow->close();
    SBtnHdmi->setEnabled(FSettings.HdmiEnabled && FSession->Polling());
    ShowHdmiTip();
    if (FSettings.HdmiEnabled)
        FSession->RequestHdmiRefresh();
}

void TMainWindow::ShowHdmiTip() {
    // The grey button says what is missing: the tick in the menu, or operation.
    SBtnHdmi->SetDisabledTip(
        FSettings.HdmiEnabled
            ? QStringLiteral("HDMI opens while operating: press OPERATE.")
            : QStringLiteral("Right-click this WINDOW panel and tick HDMI to use it; it opens "
                             "while operating."));
}

void TMainWindow::LevelsVisibleChanged(TLevelControl* sender, int) {
    const std::uint32_t visible = sender->GetVisible();
    Field->SetVisible(visible);
    PreviewField->SetVisible(visible);
}

void TMainWindow::LevelsControlChanged(TLevelControl* sender, int) {
    Field->SetControl(sender->GetControl());
}

void TMainWindow::EditInputParams(int i) {
    EditParams(true, i);
}

void TMainWindow::EditOutputParams(int o) {
    EditParams(false, o);
}

void TMainWindow::EditParams(bool input, int index) {
    if (index < 0 || index >= 256 || FParamsDlg)
        return;
    if (Tip && Tip->width() != 0)
        HideHover();
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
