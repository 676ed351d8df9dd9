#pragma once

#include "LabelText.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The Videohub Ethernet Protocol's text blocks: a header line ending in ':',
// one item per line, a blank line at the end. Plain C++, fuzzed.
namespace videohub {

struct TBlock {
    // Empty for text that is no block (garbage outside any block).
    std::string Header;
    std::vector<std::string> Lines;
    // More lines came than a block may hold; they were not kept.
    bool Oversized = false;
};

// Splits a client's bytes into blocks. Lines end in "\n" ("\r\n" too); a line
// longer than maxLine bytes means the client is to be dropped; a block keeps
// at most maxLines lines of at most maxBlockBytes in all.
class TParser {
public:
    TParser(std::size_t maxLine, std::size_t maxLines, std::size_t maxBlockBytes)
        : FMaxLine(maxLine), FMaxLines(maxLines), FMaxBlockBytes(maxBlockBytes) {}

    // Appends the blocks completed by `bytes` to `out`; false on a line over the limit.
    bool Feed(std::string_view bytes, std::vector<TBlock>& out);
    // Bytes held for an unfinished line or block.
    std::size_t Pending() const;

private:
    void EndLine(std::vector<TBlock>& out);

    std::size_t FMaxLine, FMaxLines, FMaxBlockBytes;
    std::string FLine;
    TBlock FBlock;
    bool FInBlock = false;
    std::size_t FBlockBytes = 0;
};

// A block as sent: the header, each line, and the blank line.
std::string Block(std::string_view header, const std::vector<std::string>& lines);

// "OUT IN": two indices of decimal digits (no sign, at most 5 digits) and one space.
bool ParsePair(std::string_view line, int& first, int& second);
// "INDEX REST": an index, one space, the rest of the line (may be empty).
bool ParseIndexed(std::string_view line, int& index, std::string& rest);
using gateway::PlainText;

} // namespace videohub
