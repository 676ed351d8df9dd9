// matrixctl's step-back record as a damaged disk or a hand edit leaves it:
// read against a fixed level set and matrix, then written back and read again.
#include "UndoRecord.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TLevels levels;
    levels.Count = 2;
    levels.IP = {0, 0x0100007F, 0x0100007F, 0, 0};
    levels.Address = {0, 1, 2, 0, 0};
    undorecord::TRecord record;
    QString error;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!undorecord::Read(bytes, levels, 16, 16, record, &error))
        return 0;
    TFieldState state;
    TStepBack step;
    step.Record(record.Action, record.Entries, state);
    undorecord::TRecord again;
    if (!undorecord::Read(undorecord::Write(step, levels, 16, 16), levels, 16, 16, again, &error))
        __builtin_trap(); // what was accepted must survive its own round trip
    return 0;
}
