#include "HdmiFields.h"

unsigned HdmiDifference(const THdmiState& a, const THdmiState& b) {
    unsigned mask = 0;
    ForEachHdmiField([&](const auto& field) {
        constexpr auto member = std::decay_t<decltype(field)>::State;
        if (a.*member != b.*member)
            mask |= field.Bit;
    });
    return mask;
}

THdmiState Differing(const THdmiState& s) {
    THdmiState d = s;
    ForEachHdmiField([&](const auto& field) {
        auto& v = d.*std::decay_t<decltype(field)>::State;
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, bool>)
            v = !v;
        else if constexpr (std::is_same_v<T, std::string>)
            v += "123";
        else if constexpr (std::is_integral_v<T>)
            v = static_cast<T>(v + 1);
        else
            for (auto& flag : v)
                flag = !flag;
    });
    return d;
}
