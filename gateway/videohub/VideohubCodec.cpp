#include "VideohubCodec.h"

namespace videohub {

bool TParser::Feed(std::string_view bytes, std::vector<TBlock>& out) {
    for (char c : bytes) {
        if (c == '\n') {
            EndLine(out);
            continue;
        }
        if (FLine.size() >= FMaxLine)
            return false;
        FLine.push_back(c);
    }
    return true;
}

std::size_t TParser::Pending() const {
    return FLine.size() + FBlockBytes;
}

void TParser::EndLine(std::vector<TBlock>& out) {
    std::string line = std::move(FLine);
    FLine.clear();
    // "\r\n" ends a line too (and a stray "\r" before it is no part of it).
    while (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty()) {
        // A blank line ends the block; blank lines between blocks mean nothing.
        if (FInBlock)
            out.push_back(std::move(FBlock));
        FBlock = {};
        FInBlock = false;
        FBlockBytes = 0;
        return;
    }
    if (!FInBlock) {
        FInBlock = true;
        FBlock = {};
        if (line.back() == ':') {
            FBlock.Header = std::move(line);
            return;
        }
        // Text outside a block: kept as a block without header, answered as garbage.
    }
    if (FBlock.Lines.size() >= FMaxLines || FBlockBytes + line.size() > FMaxBlockBytes) {
        FBlock.Oversized = true;
        return;
    }
    FBlockBytes += line.size();
    FBlock.Lines.push_back(std::move(line));
}

std::string Block(std::string_view header, const std::vector<std::string>& lines) {
    std::string out;
    std::size_t size = header.size() + 2;
    for (const std::string& l : lines)
        size += l.size() + 1;
    out.reserve(size);
    out.append(header).push_back('\n');
    for (const std::string& l : lines)
        out.append(l).push_back('\n');
    out.push_back('\n');
    return out;
}

namespace {

bool Index(std::string_view text, int& value) {
    if (text.empty() || text.size() > 5)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

} // namespace

bool ParsePair(std::string_view line, int& first, int& second) {
    const std::size_t space = line.find(' ');
    return space != std::string_view::npos && Index(line.substr(0, space), first) &&
           Index(line.substr(space + 1), second);
}

bool ParseIndexed(std::string_view line, int& index, std::string& rest) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || !Index(line.substr(0, space), index))
        return false;
    rest.assign(line.substr(space + 1));
    return true;
}

} // namespace videohub
