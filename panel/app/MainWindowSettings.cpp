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
#include <functional>
#include <vector>

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

namespace {

// One value of the INI file and where it lives in TIniSettings; exactly one of
// Int, Bool and Text is set.
struct TIniKey {
    const char* Section;
    std::string Key;
    std::function<int*(TIniSettings&)> Int;
    std::function<bool*(TIniSettings&)> Bool;
    std::function<std::string*(TIniSettings&)> Text;
    bool Written = true;
};

// Every key, in the order the file is written.
const std::vector<TIniKey>& IniKeys() {
    static const std::vector<TIniKey> keys = [] {
        std::vector<TIniKey> k;
        auto number = [&](const char* section, const char* key, auto get, bool written = true) {
            k.push_back({section, key, get, {}, {}, written});
        };
        auto flag = [&](const char* section, std::string key, auto get) {
            k.push_back({section, std::move(key), {}, get, {}, true});
        };
        number("WINDOW", "LEFT", [](TIniSettings& s) { return &s.Left; });
        number("WINDOW", "TOP", [](TIniSettings& s) { return &s.Top; });
        number("WINDOW", "WIDTH", [](TIniSettings& s) { return &s.Width; });
        number("WINDOW", "HEIGHT", [](TIniSettings& s) { return &s.Height; });
        flag("WINDOW", "STATE", [](TIniSettings& s) { return &s.Maximized; });
        number("WINDOW", "ZOOM", [](TIniSettings& s) { return &s.Zoom; });
        number(
            "WINDOW", "SCALE", [](TIniSettings& s) { return &s.PreviewScale; }, false);
        number("WINDOW", "LASTSTATE", [](TIniSettings& s) { return &s.FLastState; });
        flag("WINDOW", "PREVIEW", [](TIniSettings& s) { return &s.FPreviewMode; });
        flag("WINDOW", "HINT", [](TIniSettings& s) { return &s.FHintsOn; });
        number(
            "WINDOW", "OUTPUTLIMIT", [](TIniSettings& s) { return &s.OutputLimit; }, false);
        flag("WINDOW", "SFP", [](TIniSettings& s) { return &s.FSfpEnabled; });
        number("SWINDOW", "LEFT", [](TIniSettings& s) { return &s.FStatusPos.rx(); });
        number("SWINDOW", "TOP", [](TIniSettings& s) { return &s.FStatusPos.ry(); });
        flag("SWINDOW", "SHOW", [](TIniSettings& s) { return &s.StatusShown; });
        flag("SWINDOW", "ENABLED", [](TIniSettings& s) { return &s.StatusEnabled; });
        number("HWINDOW", "LEFT", [](TIniSettings& s) { return &s.FHdmiPos.rx(); });
        number("HWINDOW", "TOP", [](TIniSettings& s) { return &s.FHdmiPos.ry(); });
        flag("HWINDOW", "ENABLED", [](TIniSettings& s) { return &s.HdmiEnabled; });
        for (std::size_t n = 0; n < 4; ++n) {
            const std::string level = std::to_string(n + 1);
            flag("LEVELS", "VISIBLE" + level,
                 [n](TIniSettings& s) { return &s.FVisibleLevels[n]; });
            flag("LEVELS", "CONTROL" + level,
                 [n](TIniSettings& s) { return &s.FControlLevels[n]; });
        }
        k.push_back({"WINDOW", "APP", {}, {}, [](TIniSettings& s) { return &s.FAppText; }, true});
        return k;
    }();
    return keys;
}

} // namespace

TIniSettings ReadIniSettings(const TIniFile& ini) {
    TIniSettings s;
    for (const TIniKey& k : IniKeys()) {
        if (k.Int)
            *k.Int(s) = ini.ReadInteger(k.Section, k.Key, *k.Int(s));
        else if (k.Bool)
            *k.Bool(s) = ini.ReadBool(k.Section, k.Key, *k.Bool(s));
        else
            *k.Text(s) = QString::fromStdString(ini.ReadString(k.Section, k.Key, *k.Text(s)))
                             .trimmed()
                             .toStdString();
    }
    return s;
}

void WriteIniSettings(TIniFile& ini, const TIniSettings& settings) {
    TIniSettings s = settings; // the accessors hand out pointers into a settings value
    for (const TIniKey& k : IniKeys()) {
        if (!k.Written)
            continue;
        if (k.Int)
            ini.WriteInteger(k.Section, k.Key, *k.Int(s));
        else if (k.Bool)
            ini.WriteBool(k.Section, k.Key, *k.Bool(s));
        else
            ini.WriteString(k.Section, k.Key, *k.Text(s));
    }
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
