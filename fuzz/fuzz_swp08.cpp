// A router protocol client's bytes as the gateway reads them: frames through
// the deframer in two reads, each message's crosspoint parsed and encoded
// again to the same crosspoint, and its bytes as a name in each width.
#include "Swp08Codec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    swp08::TDeframer deframer;
    std::vector<swp08::TEvent> events;
    deframer.Feed(bytes.substr(0, size / 2), events);
    deframer.Feed(bytes.substr(size / 2), events);
    if (deframer.Pending() > 600)
        std::abort();
    for (const swp08::TEvent& e : events) {
        if (e.Type != swp08::TEvent::TType::Message)
            continue;
        swp08::TCrosspoint x, again;
        if (swp08::ParseCrosspoint(std::string_view(e.Message).substr(1), x)) {
            const std::string m = swp08::Crosspoint(0x02, x);
            if (!swp08::ParseCrosspoint(std::string_view(m).substr(1), again) ||
                again.Destination != x.Destination || again.Source != x.Source ||
                again.Level != x.Level || again.Matrix != x.Matrix)
                std::abort();
            std::vector<swp08::TEvent> framed;
            swp08::TDeframer check;
            check.Feed(swp08::Frame(m), framed);
            if (framed.size() != 1 || framed[0].Message != m)
                std::abort();
        }
        for (int code = 0; code < 3; ++code) {
            const std::size_t width = swp08::NameWidth(code);
            if (swp08::FixedName(e.Message, width).size() != width)
                std::abort();
        }
    }
    return 0;
}
