#pragma once

#include <QString>

#include <array>
#include <vector>

class TIniFile;

// Names and logos of inputs and outputs as a CSV file (UTF-8, RFC 4180
// quoting). A block per side begins with its header line, "input,name,logo"
// or "output,name,logo"; each row below it is number,name[,logo] with numbers
// from 1. A file may hold either block or both.
struct TLabel {
    int Number = 0; // from 1
    QString Name, Logo;
};

struct TLabels {
    std::vector<TLabel> Inputs, Outputs;
    bool HasInputs = false, HasOutputs = false; // the file had the block
};

namespace labelfile {

// The CSV text of every number 1..count of each side.
QByteArray Write(const std::array<QString, 256>& inputNames,
                 const std::array<QString, 256>& inputLogos, int inputs,
                 const std::array<QString, 256>& outputNames,
                 const std::array<QString, 256>& outputLogos, int outputs);

// Checks every row: numbers within 1..inputs (or outputs), no number twice in
// a side, no control characters in names and logos, valid UTF-8. False with
// the first fault and its line number in error; nothing is half read.
bool Read(const QByteArray& text, int inputs, int outputs, TLabels& labels, QString* error);

// Writes the labels into the INI's INPUTS and OUTPUTS sections (NAMEn and
// LOGOn, n from 0) and saves it (atomically); false with the reason.
bool Apply(TIniFile& ini, const TLabels& labels, QString* error);

} // namespace labelfile
