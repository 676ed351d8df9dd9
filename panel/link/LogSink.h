#pragma once

#include <string>

// Where the Qt-free link and poll code sends its few log lines; the program
// installs a sink that writes them to its logging categories. Without one
// (plain tests) they go nowhere.
namespace logsink {

enum class TArea { Link, Poll };
using TSink = void (*)(TArea area, bool warning, const std::string& text);

void SetSink(TSink sink);
void Emit(TArea area, bool warning, const std::string& text);

} // namespace logsink
