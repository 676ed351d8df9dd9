#include "IniFile.h"

#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include "SafeFile.h"

#include <charconv>

struct TIniFile::Impl {
    CSimpleIniA Ini{/*isUtf8*/ true, /*multiKey*/ false, /*multiLine*/ false};
};

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)), FImpl(new Impl) {
    FImpl->Ini.SetSpaces(false);
}

TIniFile::~TIniFile() = default;

bool TIniFile::Load() {
    FImpl->Ini.Reset();
    FError.clear();
    std::string text;
    if (!safefile::ReadRegular(FFileName, MaxFileBytes, text, &FError))
        return false;
    if (FImpl->Ini.LoadData(text) != SI_OK) {
        FImpl->Ini.Reset();
        FError = "cannot be read as an INI file";
        return false;
    }
    return true;
}

bool TIniFile::Save() {
    std::string text;
    FError.clear();
    if (FImpl->Ini.Save(text) != SI_OK) {
        FError = "cannot be formatted";
        return false;
    }
    return safefile::Save(FFileName, text, &FError);
}

void TIniFile::Clear() {
    FImpl->Ini.Reset();
}

std::string TIniFile::ReadString(const char* section, const std::string& key,
                                 const std::string& def) const {
    const char* v = FImpl->Ini.GetValue(section, key.c_str(), nullptr);
    return v ? std::string(v) : def;
}

bool ParseIniInteger(const std::string& text, int& value) {
    std::size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t'))
        ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t'))
        --e;
    if (b < e && text[b] == '+')
        ++b;
    if (b == e)
        return false;
    int v = 0;
    auto [ptr, ec] = std::from_chars(text.data() + b, text.data() + e, v);
    if (ec != std::errc() || ptr != text.data() + e)
        return false;
    value = v;
    return true;
}

int TIniFile::ReadInteger(const char* section, const std::string& key, int def) const {
    const char* v = FImpl->Ini.GetValue(section, key.c_str(), nullptr);
    int value = def;
    if (!v || !ParseIniInteger(v, value))
        return def;
    return value;
}

bool TIniFile::ReadBool(const char* section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const char* section, const std::string& key, const std::string& value) {
    FImpl->Ini.SetValue(section, key.c_str(), value.c_str());
}

void TIniFile::WriteInteger(const char* section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const char* section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}
