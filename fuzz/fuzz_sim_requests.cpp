// The simulator's request parser: any bytes a client sends, taken frame by
// frame and answered.
#include "SimChassis.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static sim::TChassis* chassis = [] {
        sim::TChassisConfig c;
        c.Levels = {1, 2, 3, 4};
        c.Inputs = 256;
        c.Outputs = 256;
        return new sim::TChassis(c); // never listens
    }();
    QByteArray buffer(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)chassis->Serve(buffer);
    return 0;
}
