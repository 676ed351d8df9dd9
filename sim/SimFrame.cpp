#include "SimFrame.h"

namespace simframe {

std::uint16_t Checksum(const Words& commandAndData) {
    unsigned sum = 0;
    for (std::uint16_t w : commandAndData)
        sum += w;
    return static_cast<std::uint16_t>((0x10000u - (sum & 0xFFFFu)) & 0xFFFFu);
}

QByteArray Raw(const Words& allWords) {
    QByteArray out;
    out.reserve(allWords.size() * 2);
    for (std::uint16_t w : allWords) {
        out.append(static_cast<char>(w & 0xFF));
        out.append(static_cast<char>(w >> 8));
    }
    return out;
}

QByteArray Encode(const Words& commandAndData) {
    Words all;
    all.reserve(commandAndData.size() + 2);
    all.append(static_cast<std::uint16_t>(commandAndData.size() + 1));
    all.append(commandAndData);
    all.append(Checksum(commandAndData));
    return Raw(all);
}

bool TakeFrame(QByteArray& buffer, Words& frame) {
    if (buffer.size() < 2)
        return false;
    auto byteAt = [&](qsizetype i) { return static_cast<std::uint8_t>(buffer[i]); };
    const int n = byteAt(0) | (byteAt(1) << 8);
    const qsizetype total = 2 + 2 * static_cast<qsizetype>(n);
    if (buffer.size() < total)
        return false;
    frame.clear();
    for (qsizetype i = 0; i < total; i += 2)
        frame.append(static_cast<std::uint16_t>(byteAt(i) | (byteAt(i + 1) << 8)));
    buffer.remove(0, total);
    return true;
}

void PutText(Words& w, const QByteArray& text, int bytes) {
    for (int i = 0; i < bytes; i += 2) {
        const auto lo = static_cast<std::uint8_t>(i < text.size() ? text[i] : 0);
        const auto hi = static_cast<std::uint8_t>(i + 1 < text.size() ? text[i + 1] : 0);
        w.append(static_cast<std::uint16_t>(lo | (hi << 8)));
    }
}

} // namespace simframe
