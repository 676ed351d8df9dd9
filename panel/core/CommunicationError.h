#pragma once

#include "LinkError.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string>

// Text of the "Communication Error:" report for a failed exchange; empty when
// nothing failed.
QString CommunicationErrorText(const TLinkError& failure, int levelCount,
                               const std::array<std::string, 5>& levelNames,
                               const std::array<std::int32_t, 5>& levelAddresses);
