#pragma once

#include "Levels.h"
#include "StepBack.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

// matrixctl's last action, kept between runs beside the operator's log so
// that `matrixctl undo` can step back from it. The record names the levels
// (switcher and address) and the matrix size it was made on: on any other,
// it does not apply.
namespace undorecord {

constexpr const char* FileName = "matrixctl-undo.json";
constexpr std::size_t MaxBytes = 1u << 20;

struct TRecord {
    std::string Action;
    std::vector<TStepEntry> Entries;
};

QByteArray Write(const TStepBack& step, const TLevels& levels, int inputs, int outputs);
// False with the reason when the data is not a record of these levels and
// this matrix size (or not a record at all).
bool Read(const QByteArray& data, const TLevels& levels, int inputs, int outputs, TRecord& record,
          QString* error);

} // namespace undorecord
