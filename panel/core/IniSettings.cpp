#include "IniSettings.h"

#include "IniFile.h"

#include <QString>

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
        auto flag = [&](const char* section, std::string key, auto get, bool written = true) {
            k.push_back({section, std::move(key), {}, get, {}, written});
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
        flag(
            "WINDOW", "AUTORESUME", [](TIniSettings& s) { return &s.AutoResume; }, false);
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

TIniNames ReadIniNames(const TIniFile& ini) {
    TIniNames names;
    for (std::size_t n = 0; n < 256; ++n) {
        const std::string i = std::to_string(n);
        auto text = [&](const char* section, const std::string& key) {
            return QString::fromStdString(ini.ReadString(section, key, ""));
        };
        names.InputLogos[n] = text("INPUTS", "LOGO" + i);
        names.InputNames[n] = text("INPUTS", "NAME" + i);
        names.OutputLogos[n] = text("OUTPUTS", "LOGO" + i);
        names.OutputNames[n] = text("OUTPUTS", "NAME" + i);
    }
    return names;
}
