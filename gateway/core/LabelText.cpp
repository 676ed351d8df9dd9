#include "LabelText.h"

namespace gateway {

bool PlainText(std::string_view text, std::size_t maxBytes) {
    if (text.size() > maxBytes)
        return false;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        // UTF-8: the lead byte says how many continuation bytes follow; no
        // overlong forms, surrogates or values beyond U+10FFFF.
        int more = 0;
        unsigned long cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(more) >= text.size())
            return false;
        for (int n = 1; n <= more; ++n) {
            const auto cc = static_cast<unsigned char>(text[i + static_cast<std::size_t>(n)]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0x80 && cp <= 0x9F))
            return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

} // namespace gateway
