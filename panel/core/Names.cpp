#include "Names.h"

#include "IniFile.h"

#include <QFileInfo>

namespace {

bool ValidSlot(int index) {
    return index >= 0 && index < TNames::Slots;
}

// The INI file as it stands, for a writer that keeps every other key; false
// (with the reason) when a file that exists cannot be read: replacing it
// would lose its other keys.
bool OpenForWriting(TIniFile& ini, const QString& file, QString* error) {
    if (ini.Load() || !QFileInfo::exists(file))
        return true;
    *error = QString::fromStdString(ini.LastError());
    return false;
}

} // namespace

void TNames::Load(const TIniFile& ini) {
    FNames = ReadIniNames(ini);
    Q_EMIT Loaded();
}

const std::array<QString, TNames::Slots>& TNames::Names(TSide side) const {
    return side == TSide::Input ? FNames.InputNames : FNames.OutputNames;
}

const std::array<QString, TNames::Slots>& TNames::Logos(TSide side) const {
    return side == TSide::Input ? FNames.InputLogos : FNames.OutputLogos;
}

QString TNames::Name(TSide side, int index) const {
    return ValidSlot(index) ? Names(side)[static_cast<std::size_t>(index)] : QString();
}

QString TNames::Logo(TSide side, int index) const {
    return ValidSlot(index) ? Logos(side)[static_cast<std::size_t>(index)] : QString();
}

bool TNames::Set(TSide side, int index, const QString& name, const QString& logo, QString* error) {
    return Set(side, {{index, name, logo}}, error);
}

bool TNames::Set(TSide side, const std::vector<TEntry>& entries, QString* error) {
    std::vector<TEntry> valid;
    for (const TEntry& e : entries)
        if (ValidSlot(e.Index)) {
            const auto u = static_cast<std::size_t>(e.Index);
            (side == TSide::Input ? FNames.InputNames : FNames.OutputNames)[u] = e.Name;
            (side == TSide::Input ? FNames.InputLogos : FNames.OutputLogos)[u] = e.Logo;
            valid.push_back(e);
        }
    for (const TEntry& e : valid)
        Q_EMIT Changed(side, e.Index);
    if (FIniFile.isEmpty() || valid.empty())
        return true;
    // One save for all of them: every save of the INI file waits for the disk.
    TIniFile ini(FIniFile.toStdString());
    QString why;
    if (OpenForWriting(ini, FIniFile, &why)) {
        const char* section = side == TSide::Input ? "INPUTS" : "OUTPUTS";
        for (const TEntry& e : valid) {
            const std::string n = std::to_string(e.Index);
            ini.WriteString(section, "LOGO" + n, e.Logo.toStdString());
            ini.WriteString(section, "NAME" + n, e.Name.toStdString());
        }
        if (ini.Save())
            return true;
        why = QString::fromStdString(ini.LastError());
    }
    if (error)
        *error = why;
    return false;
}

bool TNames::Import(const TLabels& labels, QString* error) {
    if (!FIniFile.isEmpty()) {
        TIniFile ini(FIniFile.toStdString());
        QString why;
        if (!OpenForWriting(ini, FIniFile, &why) || !labelfile::Apply(ini, labels, &why)) {
            if (error)
                *error = why;
            return false;
        }
    }
    for (const TLabel& l : labels.Inputs)
        if (ValidSlot(l.Number - 1)) {
            FNames.InputNames[static_cast<std::size_t>(l.Number - 1)] = l.Name;
            FNames.InputLogos[static_cast<std::size_t>(l.Number - 1)] = l.Logo;
        }
    for (const TLabel& l : labels.Outputs)
        if (ValidSlot(l.Number - 1)) {
            FNames.OutputNames[static_cast<std::size_t>(l.Number - 1)] = l.Name;
            FNames.OutputLogos[static_cast<std::size_t>(l.Number - 1)] = l.Logo;
        }
    if (!labels.Inputs.empty())
        Q_EMIT Changed(TSide::Input, -1);
    if (!labels.Outputs.empty())
        Q_EMIT Changed(TSide::Output, -1);
    return true;
}
