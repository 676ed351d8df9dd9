// Router replies as a hostile switcher might send them: the bytes arrive on a
// socket pair and one of the link's read or command operations decodes them.
#include "SwitcherConnection.h"
#include "TcpSocket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 60000)
        return 0;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        return 0;
    ::fcntl(pair[0], F_SETFL, ::fcntl(pair[0], F_GETFL) | O_NONBLOCK);
    // The reply is all there, then the peer stops sending: a short reply
    // fails at once instead of after the time-out.
    [[maybe_unused]] const auto written = ::write(pair[1], data + 1, size - 1);
    ::shutdown(pair[1], SHUT_WR);
    TSwitcherConnection port;
    port.Attach(pair[0]);
    const TLevelEntry entries[2] = {{1, 3}, {2, 4}};
    const int addresses[2] = {1, 2};
    const int inputs[4] = {0, 1, 2, 3};
    // Several operations one after the other read the stream as the poll cycle does.
    for (std::uint8_t op = data[0]; op != 0; op >>= 3) {
        switch (op & 7) {
        case 0: {
            std::array<std::uint8_t, 8> id{};
            port.Identify(id);
            break;
        }
        case 1: {
            TSwitcherConfig config;
            config.Inputs = 16;
            config.Outputs = 16;
            port.ReadConfig(config);
            break;
        }
        case 2:
            if (port.ReadState())
                for (int k = 0; k < 300; ++k)
                    (void)port.ReplyWord(k);
            break;
        case 3: {
            THdmiState hdmi;
            port.ReadHdmi(hdmi);
            break;
        }
        case 4:
            port.SwitchOutputs(3, 2, entries);
            break;
        case 5:
            port.SendPresetTable(1, 4, inputs);
            break;
        case 6:
            port.TakePreset(2, addresses);
            break;
        case 7:
            port.SetScaleMode(1);
            break;
        }
    }
    port.Disconnect();
    ::close(pair[1]);
    return 0;
}
