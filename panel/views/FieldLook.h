#pragma once

// The field's colours and logo size, shared by its layout and its painting.
#include "Look.h"

namespace fieldlook {

// Colour scheme: Ink, Back, Frame, Highlight per group.
struct TGroup {
    TColor Ink, Back, Frame, Highlight;
};
inline constexpr TGroup Logos{clr::Silver, clr::Silver, clr::Silver, clr::Silver};
inline constexpr TGroup Names{clr::Black, RGBColor(255, 255, 0), clr::Silver, clr::White};
inline constexpr TGroup LockG{clr::Black, clr::Silver, clr::Silver, clr::White};
inline constexpr TGroup Arrows{clr::Black, clr::Silver, clr::Silver, clr::White};
inline constexpr TGroup GridG{clr::Black, clr::Silver, clr::Silver, clr::White};
inline constexpr TGroup CornerG{clr::Black, clr::Silver, clr::Silver, clr::White};
inline constexpr TGroup MonitorG{clr::Black, clr::Silver, clr::Silver, clr::White};

inline constexpr int LogoSize = 33;

} // namespace fieldlook
