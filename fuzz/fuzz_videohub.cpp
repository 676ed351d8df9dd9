// A Videohub client's bytes as the gateway reads them: split into blocks under
// the limits, each line through the request grammar. A parsed block sent back
// out parses to the same block.
#include "VideohubCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t MaxLine = 64, MaxLines = 16, MaxBytes = 512;
    videohub::TParser parser(MaxLine, MaxLines, MaxBytes);
    std::vector<videohub::TBlock> blocks;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // In two reads, as TCP may deliver them.
    const bool kept = parser.Feed(bytes.substr(0, size / 3), blocks) &&
                      parser.Feed(bytes.substr(size / 3), blocks);
    (void)kept;
    for (const videohub::TBlock& b : blocks) {
        std::size_t bytes = 0;
        for (const std::string& line : b.Lines)
            bytes += line.size();
        if (b.Lines.size() > MaxLines || bytes > MaxBytes ||
            (!b.Header.empty() && b.Header.back() != ':'))
            std::abort();
        for (const std::string& line : b.Lines) {
            if (line.size() > MaxLine || line.find('\n') != std::string::npos)
                std::abort();
            int a = 0, c = 0;
            std::string rest;
            if (videohub::ParsePair(line, a, c) && (a < 0 || c < 0 || a > 99999 || c > 99999))
                std::abort();
            if (videohub::ParseIndexed(line, a, rest))
                (void)videohub::PlainText(rest, 255);
        }
        if (b.Header.empty() || b.Oversized)
            continue;
        videohub::TParser again(MaxLine, MaxLines, MaxBytes);
        std::vector<videohub::TBlock> back;
        if (!again.Feed(videohub::Block(b.Header, b.Lines), back) || back.size() != 1 ||
            back[0].Header != b.Header || back[0].Lines != b.Lines)
            std::abort();
    }
    return 0;
}
