#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <string>

// Text of the "Communication Error:" report for a connection status (operation,
// error, detail, extra from the low byte up) and the switcher's packed IP;
// empty when the status holds no error.
QString CommunicationErrorText(std::uint32_t status, std::int32_t ip, int levelCount,
                               const std::array<std::string, 5>& levelNames,
                               const std::array<std::int32_t, 5>& levelAddresses);
