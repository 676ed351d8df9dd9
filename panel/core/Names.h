#pragma once

#include "IniSettings.h"
#include "LabelFile.h"

#include <QObject>
#include <QString>

#include <vector>

// The names and logos of the inputs and outputs: one model for every reader
// (the field, the preview, the operator's log, matrixctl) and every writer
// (the parameters dialog, label files, later a gateway client). It is the one
// writer of the INI file's INPUTS and OUTPUTS sections.
class TNames : public QObject {
    Q_OBJECT
public:
    enum class TSide { Input, Output };
    static constexpr int Slots = 256;

    explicit TNames(QObject* parent = nullptr) : QObject(parent) {}

    // The INI file the names live in; empty: kept in memory only.
    void SetIniFile(const QString& file) { FIniFile = file; }
    const QString& IniFile() const { return FIniFile; }
    // Takes every name and logo from an INI file already read; Loaded follows.
    void Load(const TIniFile& ini);

    QString Name(TSide side, int index) const;
    QString Logo(TSide side, int index) const;
    const std::array<QString, Slots>& Names(TSide side) const;
    const std::array<QString, Slots>& Logos(TSide side) const;

    // Renames one input or output and writes it to the INI file. The new name
    // shows at once even when the file cannot be written: false then, with
    // the reason in `error`.
    bool Set(TSide side, int index, const QString& name, const QString& logo, QString* error);
    // Several of one side at once, with one save of the INI file.
    struct TEntry {
        int Index;
        QString Name, Logo;
    };
    bool Set(TSide side, const std::vector<TEntry>& entries, QString* error);
    // A label file's rows, all or nothing: the INI file is written first (a
    // file that cannot be read is not replaced), then the model changes.
    bool Import(const TLabels& labels, QString* error);

Q_SIGNALS:
    // One name and logo changed, or (index -1) any number of that side.
    void Changed(TNames::TSide side, int index);
    // Every name and logo was read anew.
    void Loaded();

private:
    TIniNames FNames;
    QString FIniFile;
};
