// The operator's files as a hand edit or a damaged disk leaves them: the INI
// (every value the window reads), the level set, a .mem salvo and the
// output-numbers grammar and a label CSV. The first byte picks the reader.
#include "IniFile.h"
#include "LabelFile.h"
#include "LevelSetFile.h"
#include "SalvoFile.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    static const std::string path = "/tmp/fuzz_files." + std::to_string(::getpid());
    switch (data[0] % 5) {
    case 0: {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        TIniFile ini(path);
        ini.Load();
        for (const char* section : {"WINDOW", "SWINDOW", "HWINDOW", "LEVELS", "INPUTS", "OUTPUTS"})
            for (const char* key : {"LEFT", "TOP", "WIDTH", "HEIGHT", "ZOOM", "SCALE", "APP",
                                    "NAME0", "LOGO255", "VISIBLE4"}) {
                (void)ini.ReadInteger(section, key, 1);
                (void)ini.ReadString(section, key, "");
            }
        break;
    }
    case 1: {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        (void)ReadLevelSet(path);
        break;
    }
    case 2: {
        TMemorySlot slot;
        (void)salvofile::Decode(text, slot);
        break;
    }
    case 3: {
        std::vector<int> outputs;
        if (salvofile::ParseOutputNumbers(text, outputs) && outputs.size() > 257)
            __builtin_trap(); // a record holds 257 entries
        (void)salvofile::ValidSalvoName(text);
        break;
    }
    case 4: {
        TLabels labels;
        QString error;
        if (!labelfile::Read(QByteArray::fromStdString(text), 16, 8, labels, &error))
            break;
        for (const auto* side : {&labels.Inputs, &labels.Outputs}) {
            std::set<int> numbers;
            for (const TLabel& l : *side)
                if (l.Number < 1 || l.Number > (side == &labels.Inputs ? 16 : 8) ||
                    !numbers.insert(l.Number).second)
                    __builtin_trap(); // a read row outside the matrix, or twice
        }
        break;
    }
    }
    return 0;
}
