#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

// The simulator's own frame codec: little-endian 16-bit words, word 0 = N (the
// number of words after it), word 1 = command, last word = checksum so that
// words 1..N sum to 0 modulo 65536.
namespace simframe {

using Words = QList<std::uint16_t>;

// An int as one 16-bit word (its low 16 bits).
inline std::uint16_t U(int v) {
    return static_cast<std::uint16_t>(v);
}

// Builds a frame from the command and data words; appends N and the checksum.
QByteArray Encode(const Words& commandAndData);
// Serialises words as they are (no checksum or length fixing), for faulty replies.
QByteArray Raw(const Words& allWords);
// Takes one complete frame off the front of buffer; false while incomplete.
bool TakeFrame(QByteArray& buffer, Words& frame);
std::uint16_t Checksum(const Words& commandAndData);
// Appends text as `bytes` bytes of words, low byte first, zero padded.
void PutText(Words& w, const QByteArray& text, int bytes);

} // namespace simframe
