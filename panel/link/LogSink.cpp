#include "LogSink.h"

#include <atomic>

namespace logsink {

namespace {
std::atomic<TSink> Sink{nullptr};
} // namespace

void SetSink(TSink sink) {
    Sink.store(sink);
}

void Emit(TArea area, bool warning, const std::string& text) {
    if (const TSink s = Sink.load())
        s(area, warning, text);
}

} // namespace logsink
