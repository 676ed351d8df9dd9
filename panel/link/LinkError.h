#pragma once

#include <cstdint>

// Why an exchange with a switcher failed: its connection's four status bytes
// (operation, error code, detail, extra) and the switcher's packed address.
struct TLinkError {
    int Operation = 0, Code = 0, Detail = 0, Extra = 0;
    std::int32_t IP = 0;
    bool Failed() const { return Code != 0; }

    // From a connection's status word: operation in the lowest byte.
    static TLinkError FromStatus(std::uint32_t status, std::int32_t ip) {
        return {static_cast<int>(status & 0xFF), static_cast<int>((status >> 8) & 0xFF),
                static_cast<int>((status >> 16) & 0xFF), static_cast<int>(status >> 24), ip};
    }
};
