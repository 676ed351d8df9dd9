#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Packed IPv4 address: the first number of the dotted form sits in the least
// significant byte (192.168.0.10 -> 167815360).
std::int32_t ParseIP(std::string_view text, bool& ok);
std::string FormatIP(std::int32_t ip);
