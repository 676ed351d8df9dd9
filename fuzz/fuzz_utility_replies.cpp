// The utility's replies: classification and the three tables filled from
// whatever a device sends (stored as the worker stores it).
#include "MainWindow.h"

#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
QApplication* gApp = nullptr;
MainWindow* gWindow = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    gApp = new QApplication(*argc, *argv);
    gWindow = new MainWindow(QStringLiteral("127.0.0.1"), nullptr, /*startWorker*/ false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    static const int commands[3] = {102, 100, 101};
    const int command = commands[data[0] % 3];
    const QByteArray reply(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    std::int16_t words[420] = {};
    std::uint16_t sum = 0;
    const int count = static_cast<int>(std::min<std::size_t>((size - 1) / 2, 420));
    for (int i = 0; i < count; ++i)
        words[i] = static_cast<std::int16_t>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
    (void)ClassifyReply(words, count, sum);
    gWindow->tcpThread.StoreReply(command, reply);
    gWindow->ShowReply();
    return 0;
}
