#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One salvo: for Count outputs (0-based, repeats allowed) the preset inputs of
// levels 1..4 (0-based; -1 none). Entries at Count and beyond are not significant.
struct TMemorySlot {
    static constexpr int MaxEntries = 257;
    std::string Name;
    // The file the salvo was read from when its extension is not written
    // ".mem" exactly ("X.MEM"); empty: Name + ".mem".
    std::string FileName;
    std::int32_t Count = 0;
    std::array<std::int32_t, MaxEntries> Outputs{};
    std::array<std::array<std::int32_t, 4>, MaxEntries> Sources{};
};

namespace salvofile {

// A .mem file: Count, 257 outputs, 257 x 4 sources, 32-bit little-endian.
constexpr std::size_t FileBytes = 4 + 4 * 257 + 16 * 257; // 5144
constexpr const char* Extension = ".mem";

std::string Encode(const TMemorySlot& slot);
// False (with the reason) for a file of the wrong size, a Count outside 0..257,
// or, below Count, an output outside 0..256 or an input outside -1..256: such a
// file must never reach the field or the wire.
bool Decode(const std::string& bytes, TMemorySlot& slot, std::string* why = nullptr);

// The most salvos one folder lists; more files are left out (with a warning),
// so that a folder filled by accident or on purpose cannot stall the panel.
constexpr std::size_t MaxListed = 20000;

// The names of the files in folder (a path ending in '/') whose extension is
// ".mem" in any case, sorted by their bytes; folders and names without a
// base are left out. Names are taken as bytes, whatever their encoding.
std::vector<std::string> SalvoFileNames(const std::string& folder);

// "Memory/<inputs>x<outputs>-4/" below base (a folder path without a trailing slash).
std::string FolderFor(const std::string& base, int inputs, int outputs);

// The salvos a new folder receives: "001-ALL" .. "<I>-ALL", "N-N", "<I>-N".
std::vector<TMemorySlot> DefaultSalvos(int inputs);

// One number of the output list: 1..256, else 0 (invalid), overflow included.
int ParseOutputNumber(const std::string& text);
// The output list grammar ("1-4,9"); 0-based outputs in the given order. False
// for an invalid piece, for no output at all, and for more than 257 entries.
bool ParseOutputNumbers(const std::string& text, std::vector<int>& outputs);

// Letters A to Z folded to lower case; every other byte as it is.
std::string FoldAZ(std::string text);
// Trims characters with codes up to 32 at both ends.
std::string TrimControls(const std::string& text);
// A name that makes a file of its own in the folder: not empty, not "." or
// "..", no '/', '\\' or character below 32. Its length is checked apart
// (LongestSalvoName), as it depends on the folder's file system.
bool ValidSalvoName(const std::string& name);
// The most bytes a salvo name may have where file names take at most nameMax
// bytes (pathconf's NAME_MAX): the name plus ".mem" must fit. Save's temporary
// file has a short name of its own, so only the final name counts.
std::size_t LongestSalvoName(long nameMax);

} // namespace salvofile
