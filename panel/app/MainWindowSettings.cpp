#include "MainWindow.h"

#include "ColorTabBar.h"
#include "Field.h"
#include "HdmiWindow.h"
#include "IniFile.h"
#include "IpText.h"
#include "LevelControl.h"
#include "LogCategories.h"
#include "PreviewField.h"
#include "SpeedButton.h"
#include "StatusWindow.h"

#include <QDebug>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>

namespace {

QPoint ClampPos(std::int64_t left, std::int64_t top, QSize screen) {
    // At least 100 pixels of the window on the screen; a screen smaller than
    // that keeps the window at its top-left corner.
    const std::int64_t maxLeft = std::max(0, screen.width() - 100);
    const std::int64_t maxTop = std::max(0, screen.height() - 100);
    return {static_cast<int>(std::clamp<std::int64_t>(left, 0, maxLeft)),
            static_cast<int>(std::clamp<std::int64_t>(top, 0, maxTop))};
}

} // namespace

QPoint ClampWindowPos(int left, int top, QSize screen) {
    return ClampPos(left, top, screen);
}

QRect ClampWindowBounds(int left, int top, int width, int height, QSize screen, QSize minimum) {
    const QPoint pos = ClampPos(left, top, screen);
    const int w = std::max(std::min(width, screen.width()), minimum.width());
    const int h = std::max(std::min(height, screen.height()), minimum.height());
    return {pos, QSize(w, h)};
}

TIniSettings ReadIniSettings(const TIniFile& ini) {
    TIniSettings s;
    s.Left = ini.ReadInteger("WINDOW", "LEFT", s.Left);
    s.Top = ini.ReadInteger("WINDOW", "TOP", s.Top);
    s.Width = ini.ReadInteger("WINDOW", "WIDTH", s.Width);
    s.Height = ini.ReadInteger("WINDOW", "HEIGHT", s.Height);
    s.Maximized = ini.ReadBool("WINDOW", "STATE", s.Maximized);
    s.Zoom = ini.ReadInteger("WINDOW", "ZOOM", s.Zoom);
    s.PreviewScale = ini.ReadInteger("WINDOW", "SCALE", s.PreviewScale);
    s.FLastState = ini.ReadInteger("WINDOW", "LASTSTATE", s.FLastState);
    s.FPreviewMode = ini.ReadBool("WINDOW", "PREVIEW", s.FPreviewMode);
    s.FHintsOn = ini.ReadBool("WINDOW", "HINT", s.FHintsOn);
    s.OutputLimit = ini.ReadInteger("WINDOW", "OUTPUTLIMIT", s.OutputLimit);
    s.FSfpEnabled = ini.ReadBool("WINDOW", "SFP", s.FSfpEnabled);
    s.FStatusPos = {ini.ReadInteger("SWINDOW", "LEFT", 100),
                    ini.ReadInteger("SWINDOW", "TOP", 100)};
    s.StatusShown = ini.ReadBool("SWINDOW", "SHOW", s.StatusShown);
    s.StatusEnabled = ini.ReadBool("SWINDOW", "ENABLED", s.StatusEnabled);
    s.FHdmiPos = {ini.ReadInteger("HWINDOW", "LEFT", 100), ini.ReadInteger("HWINDOW", "TOP", 100)};
    s.HdmiEnabled = ini.ReadBool("HWINDOW", "ENABLED", s.HdmiEnabled);
    for (std::size_t k = 0; k < 4; ++k) {
        const std::string n = std::to_string(k + 1);
        s.FVisibleLevels[k] = ini.ReadBool("LEVELS", "VISIBLE" + n, true);
        s.FControlLevels[k] = ini.ReadBool("LEVELS", "CONTROL" + n, true);
    }
    s.FAppText =
        QString::fromStdString(ini.ReadString("WINDOW", "APP", "")).trimmed().toStdString();
    return s;
}

void WriteIniSettings(TIniFile& ini, const TIniSettings& s) {
    ini.WriteInteger("WINDOW", "LEFT", s.Left);
    ini.WriteInteger("WINDOW", "TOP", s.Top);
    ini.WriteInteger("WINDOW", "WIDTH", s.Width);
    ini.WriteInteger("WINDOW", "HEIGHT", s.Height);
    ini.WriteBool("WINDOW", "STATE", s.Maximized);
    ini.WriteInteger("WINDOW", "ZOOM", s.Zoom);
    ini.WriteInteger("WINDOW", "LASTSTATE", s.FLastState);
    ini.WriteBool("WINDOW", "PREVIEW", s.FPreviewMode);
    ini.WriteBool("WINDOW", "HINT", s.FHintsOn);
    ini.WriteBool("WINDOW", "SFP", s.FSfpEnabled);
    ini.WriteInteger("SWINDOW", "LEFT", s.FStatusPos.x());
    ini.WriteInteger("SWINDOW", "TOP", s.FStatusPos.y());
    ini.WriteBool("SWINDOW", "SHOW", s.StatusShown);
    ini.WriteBool("SWINDOW", "ENABLED", s.StatusEnabled);
    ini.WriteInteger("HWINDOW", "LEFT", s.FHdmiPos.x());
    ini.WriteInteger("HWINDOW", "TOP", s.FHdmiPos.y());
    ini.WriteBool("HWINDOW", "ENABLED", s.HdmiEnabled);
    for (std::size_t k = 0; k < 4; ++k) {
        const std::string n = std::to_string(k + 1);
        ini.WriteBool("LEVELS", "VISIBLE" + n, s.FVisibleLevels[k]);
        ini.WriteBool("LEVELS", "CONTROL" + n, s.FControlLevels[k]);
    }
    ini.WriteString("WINDOW", "APP", s.FAppText);
}

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
    }
    Field->SetScale(FSettings.Zoom);
    PreviewField->SetScale(FSettings.PreviewScale);
    SBtnMonitor->setEnabled(FSettings.FSfpEnabled);
    FSettings.FStatusPos =
        ClampWindowPos(FSettings.FStatusPos.x(), FSettings.FStatusPos.y(), screen);
    FSettings.FHdmiPos = ClampWindowPos(FSettings.FHdmiPos.x(), FSettings.FHdmiPos.y(), screen);

    for (int n = 0; n < 256; ++n) {
        const std::string i = std::to_string(n);
        auto text = [&](const char* section, const std::string& key) {
            return QString::fromStdString(ini.ReadString(section, key, ""));
        };
        Field->SetInputLogo(n, text("INPUTS", "LOGO" + i));
        Field->SetInputName(n, text("INPUTS", "NAME" + i));
        FSession->SetInputName(n, Field->GetInputName(n));
        Field->SetOutputLogo(n, text("OUTPUTS", "LOGO" + i));
        Field->SetOutputName(n, text("OUTPUTS", "NAME" + i));
        FSession->SetOutputName(n, Field->GetOutputName(n));
    }
    const std::uint32_t visible = PackLevelFlags(FSettings.FVisibleLevels);
    const std::uint32_t control = PackLevelFlags(FSettings.FControlLevels);
    LevelControl->SetVisible(visible);
    Field->SetVisible(visible);
    PreviewField->SetVisible(visible);
    LevelControl->SetControl(control);
    Field->SetControl(control);
    for (int n = 0; n < 256; ++n) {
        PreviewField->SetInputName(n, Field->GetInputName(n));
        PreviewField->SetOutputName(n, Field->GetOutputName(n));
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
    FSettings.Left = x();
    FSettings.Top = y();
    FSettings.Width = width();
    FSettings.Height = height();
    FSettings.Zoom = Field->GetScale();
    FSettings.FVisibleLevels = UnpackLevelFlags(LevelControl->GetVisible());
    FSettings.FControlLevels = UnpackLevelFlags(LevelControl->GetControl());
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
    LevelControl->SetLevelCount(levels.Count);
    for (int n = 1; n <= levels.Count; ++n)
        LevelControl->SetLevelName(
            n, QString::fromStdString(levels.Names[static_cast<std::size_t>(n)]));
    LevelControl->SetLevelColors(colours);
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
