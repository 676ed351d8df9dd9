#include "MainWindow.h"

#include "ColorTabBar.h"
#include "Field.h"
#include "HdmiWindow.h"
#include "IniFile.h"
#include "IpText.h"
#include "LevelControl.h"
#include "LogCategories.h"
#include "OperatorColumn.h"
#include "PreviewField.h"
#include "ScreenFit.h"
#include "SpeedButton.h"
#include "StatusWindow.h"

#include <QDebug>
#include <QFileInfo>

#include <climits>
#include <cstdint>

void TMainWindow::LoadIni() {
    TIniFile ini(FIniFileName.toStdString());
    if (!ini.Load() && QFileInfo::exists(FIniFileName))
        qCWarning(lcFiles).noquote() << "Cannot read" << FIniFileName << "("
                                     << ini.LastError().c_str() << "): the defaults are used";
    FSettings = ReadIniSettings(ini);
    FSession->SetLastMode(FSettings.FLastState == 2 ? TMode::Preset : TMode::OnLine);
    const QSize screen = ScreenSize();
    if (FSettings.Maximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        const QRect r = ClampWindowBounds(FSettings.Left, FSettings.Top, FSettings.Width,
                                          FSettings.Height, screen, minimumSize());
        move(r.topLeft());
        resize(r.size());
        FIniBounds = r;
    }
    // STATUS or HDMI without a position in the INI gets a free place at the first idle.
    FStatusPosFromIni = ini.ReadInteger("SWINDOW", "LEFT", INT_MIN) != INT_MIN ||
                        ini.ReadInteger("SWINDOW", "TOP", INT_MIN) != INT_MIN;
    FHdmiPosFromIni = ini.ReadInteger("HWINDOW", "LEFT", INT_MIN) != INT_MIN ||
                      ini.ReadInteger("HWINDOW", "TOP", INT_MIN) != INT_MIN;
    Field->SetScale(FSettings.Zoom);
    PreviewField->SetScale(FSettings.PreviewScale);
    Column->SBtnMonitor->setEnabled(FSettings.FSfpEnabled);
    ShowHdmiTip();
    FSettings.FStatusPos =
        ClampWindowPos(FSettings.FStatusPos.x(), FSettings.FStatusPos.y(), screen);
    FSettings.FHdmiPos = ClampWindowPos(FSettings.FHdmiPos.x(), FSettings.FHdmiPos.y(), screen);

    // Names and logos: the field and the preview show them as the model reports them.
    FSession->Names().SetIniFile(FIniFileName);
    FSession->Names().Load(ini);
    const std::uint32_t visible = PackLevelFlags(FSettings.FVisibleLevels);
    const std::uint32_t control = PackLevelFlags(FSettings.FControlLevels);
    Column->LevelControl->SetVisible(visible);
    Field->SetVisible(visible);
    PreviewField->SetVisible(visible);
    Column->LevelControl->SetControl(control);
    Field->SetControl(control);
}

void TMainWindow::ShowNames(TNames::TSide side, int index, bool deferLogos) {
    // A whole side changed by an import has its logos decoded a few at a time,
    // so hundreds of large pictures never stall the window.
    const bool deferred = deferLogos && index < 0;
    const bool input = side == TNames::TSide::Input;
    const TNames& names = FSession->Names();
    const int first = index < 0 ? 0 : index, last = index < 0 ? TNames::Slots - 1 : index;
    for (int n = first; n <= last; ++n) {
        if (input) {
            Field->SetInputLogo(n, names.Logo(side, n), deferred);
            Field->SetInputName(n, names.Name(side, n));
            PreviewField->SetInputName(n, Field->GetInputName(n));
        } else {
            Field->SetOutputLogo(n, names.Logo(side, n), deferred);
            Field->SetOutputName(n, names.Name(side, n));
            PreviewField->SetOutputName(n, Field->GetOutputName(n));
        }
    }
}

bool TMainWindow::SaveIni() {
    // Start from the file as it stands so that keys the program never writes
    // (SCALE, OUTPUTLIMIT, names and logos, hand-written extras) survive.
    TIniFile ini(FIniFileName.toStdString());
    if (!ini.Load() && QFileInfo::exists(FIniFileName)) {
        // Replacing a file we could not read would lose its names and extras.
        qCWarning(lcFiles).noquote()
            << "Cannot read" << FIniFileName << "(" << ini.LastError().c_str()
            << "): it is left as it is and the layout of this run is not kept";
        Q_EMIT IniSaved();
        return false;
    }
    FSettings.Maximized = isMaximized();
    // Moved onto this screen but not by the operator: the INI keeps its bounds.
    const QRect bounds =
        !FSettings.Maximized && WhereIniPutIt() ? FIniBounds : QRect(pos(), size());
    FSettings.Left = bounds.x();
    FSettings.Top = bounds.y();
    FSettings.Width = bounds.width();
    FSettings.Height = bounds.height();
    FSettings.Zoom = Field->GetScale();
    FSettings.FVisibleLevels = UnpackLevelFlags(Column->LevelControl->GetVisible());
    FSettings.FControlLevels = UnpackLevelFlags(Column->LevelControl->GetControl());
    if (StatusWindow) {
        FSettings.FStatusPos = StatusWindow->pos();
        FSettings.StatusShown = StatusWindow->isVisible();
    } else {
        FSettings.StatusShown = false;
    }
    if (HdmiWindow)
        FSettings.FHdmiPos = HdmiWindow->pos();
    WriteIniSettings(ini, FSettings);
    const bool saved = ini.Save();
    if (!saved)
        qCWarning(lcFiles).noquote()
            << "Cannot save" << FIniFileName << "(" << ini.LastError().c_str()
            << "): the window layout and options of this run are not kept";
    Q_EMIT IniSaved();
    return saved;
}

bool TMainWindow::WhereIniPutIt() const {
    if (FIniBounds.isNull())
        return false;
    // Where LoadIni put the window and the first show moved it onto the screen.
    const QRect& r = FIniBounds;
    if (!FShownOnce)
        return geometry() == r;
    const QMargins m = screenfit::ExpectedFrameMargins(*this);
    const QRect client(r.topLeft() + QPoint(m.left(), m.top()), r.size());
    const QRect fitted = screenfit::FitClient(
        client, m, screenfit::AvailableFor(*this, client.marginsAdded(m)), minimumSize());
    return geometry() == fitted;
}

void TMainWindow::LoadLevelSet() {
    FSession->LoadLevelSet();
    const TLevels& levels = FSession->Levels();
    std::array<TColor, 4> colours = StandardLevelColors();
    std::array<TColor, 4> textColours{};
    for (int n = 1; n <= levels.Count; ++n) {
        colours[static_cast<std::size_t>(n - 1)] = levels.Colors[static_cast<std::size_t>(n)];
        textColours[static_cast<std::size_t>(n - 1)] =
            levels.TextColors[static_cast<std::size_t>(n)];
    }
    Column->LevelControl->SetLevelCount(levels.Count);
    for (int n = 1; n <= levels.Count; ++n)
        Column->LevelControl->SetLevelName(
            n, QString::fromStdString(levels.Names[static_cast<std::size_t>(n)]));
    Column->LevelControl->SetLevelColors(colours);
    Field->SetLevelColors(colours);
    PreviewField->SetLevelColors(colours);
    PreviewField->SetTextColors(textColours);
    Field->SetSize(1, 1);
    PreviewField->SetSize(1, 1);
    SizeLevelsPanel();

    QStringList captions;
    for (int i = 0; i < levels.SwitcherCount; ++i)
        captions << QString::fromStdString(
            FormatIP(levels.SwitcherIP[static_cast<std::size_t>(i)]));
    if (StatusWindow)
        StatusWindow->StatusTab->Rebuild(captions);
    if (HdmiWindow) {
        HdmiWindow->HdmiTab->Rebuild(captions);
        HdmiWindow->Requests()->SetTab(HdmiWindow->HdmiTab->currentIndex());
    }
}
