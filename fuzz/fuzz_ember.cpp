// An Ember+ consumer's bytes as the gateway reads them: through the S101
// deframer (odd first byte) or straight into the Glow decoder (even), so the
// BER decoder is reached without a CRC in the way. A connection decoded and
// encoded again decodes to the same connection.
#include "Ber.h"
#include "Glow.h"
#include "S101.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Requests(std::string_view payload) {
    std::vector<glow::TRequest> requests;
    if (!glow::DecodeRequests(payload, requests, nullptr))
        return;
    for (const glow::TRequest& r : requests)
        for (const glow::TConnection& c : r.Connections) {
            std::vector<glow::TRequest> again;
            const std::string bytes = glow::Root(
                {glow::Qualified(glow::TKind::Matrix, r.Path, {}, {}, {glow::Connection(c)})});
            if (!glow::DecodeRequests(bytes, again, nullptr) || again.size() != 1 ||
                again[0].Connections.size() != 1 || again[0].Path != r.Path ||
                again[0].Connections[0].Target != c.Target ||
                again[0].Connections[0].Sources != c.Sources)
                std::abort();
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((data[0] & 1) == 0) {
        Requests(bytes);
        return 0;
    }
    s101::TDeframer deframer(64 * 1024);
    std::vector<s101::TMessage> messages;
    // In two reads, as TCP may deliver them.
    if (deframer.Feed(bytes.substr(0, bytes.size() / 2), messages))
        deframer.Feed(bytes.substr(bytes.size() / 2), messages);
    for (const s101::TMessage& m : messages)
        Requests(m.Payload);
    return 0;
}
