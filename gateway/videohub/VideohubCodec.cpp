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

bool PlainText(std::string_view text, std::size_t maxBytes) {
    if (text.size() > maxBytes)
        return false;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        // UTF-8: the lead byte says how many continuation bytes follow; no
        // overlong forms, surrogates or values beyond U+10FFFF.
        int more = 0;
        unsigned long cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(more) >= text.size())
            return false;
        for (int n = 1; n <= more; ++n) {
            const auto cc = static_cast<unsigned char>(text[i + static_cast<std::size_t>(n)]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0x80 && cp <= 0x9F))
            return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

} // namespace videohub
