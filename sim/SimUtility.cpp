// The utility's commands (power supplies and optical modules): the readings
// of a healthy chassis, slowly wobbling, with the values a test has set.
#include "SimChassis.h"

#include "SimWords.h"

#include <QDateTime>
#include <QMutexLocker>

#include <cmath>

namespace sim {

using simframe::PutText;
using simframe::U;
using simframe::Words;

namespace {

// A slow wobble for the utility's readings: one period per minute.
int Wobble(int amplitude, int phase) {
    const double t = static_cast<double>(QDateTime::currentMSecsSinceEpoch() % 60000) / 60000.0;
    return static_cast<int>(std::lround(amplitude * std::sin(6.2831853 * t + phase)));
}

} // namespace

Words TChassis::UtilityPower() const {
    Words w{simword::CmdPower, 1, 1, 0, 0};
    const int nominal[10] = {1200, 1800, 3300, 5000, 3300, 3300, 3300, 3300, 2500, 2500};
    for (int i = 0; i < 10; ++i)
        w << U(nominal[i] + Wobble(nominal[i] / 100, i)) << U(800 + 40 * i + Wobble(30, i + 3));
    w << U(9500 + Wobble(400, 1)) << U(120 + Wobble(2, 2)) << U(167 + Wobble(5, 3))
      << U(38 + Wobble(2, 4));
    w << U(9300 + Wobble(400, 5)) << U(121 + Wobble(2, 6)) << U(165 + Wobble(5, 7))
      << U(39 + Wobble(2, 8));
    w << 0 << 0;
    // Called under FLock, as every answer is.
    for (const auto& [word, value] : FPowerWords)
        if (word >= 1 && word < w.size() + 1)
            w[word - 1] = U(value); // w holds the reply from word 1 on
    return w;
}

void TChassis::SetPowerWord(int word, int value) {
    QMutexLocker lock(&FLock);
    if (value < 0)
        FPowerWords.erase(word);
    else if (word >= 2 && word <= 35)
        FPowerWords[word] = value;
}

void TChassis::SetSfpSlot(bool transmit, int slot, const std::function<void(TSfpSlot&)>& change) {
    if (slot < 0 || slot >= 32)
        return;
    QMutexLocker lock(&FLock);
    change(FSfpSlots[transmit ? 1 : 0][static_cast<std::size_t>(slot)]);
}

Words TChassis::UtilitySfp(bool transmit) const {
    Words w{U(transmit ? simword::CmdSfpTransmit : simword::CmdSfpReceive)};
    for (int r = 0; r < 32; ++r) {
        const TSfpSlot& set = FSfpSlots[transmit ? 1 : 0][static_cast<std::size_t>(r)];
        // Slots 8 and 20 are empty, 13 holds an electrical module, the rest are optical.
        const int type = set.Type.value_or((r == 7 || r == 19) ? 0 : (r == 12 ? 1 : 7));
        w << U(type);
        const QByteArray name = set.Name.value_or(
            type == 0 ? QByteArray()
                      : (type == 7 ? "SFP-3G-LC " : "SFP-HD-BNC") + QByteArray::number(r + 1));
        // Module names are padded with blanks, as transceivers store them.
        PutText(w, name.leftJustified(20, ' ', true), 20);
        // A healthy chassis: transmitters at 0.5 to 2.5 dB, receivers at -9.5 to
        // -6.5 dB, inside the utility's default limits (0..3 and -23..-3 dB).
        const int power = transmit ? 15 + Wobble(10, r) : -80 + Wobble(15, r);
        w << U(set.Power.value_or(type == 7 ? power : 0));
        if (transmit)
            w << U(set.Wavelength.value_or(type == 7 ? (r % 2 ? 1310 : 1550) : 0));
    }
    return w;
}

} // namespace sim
