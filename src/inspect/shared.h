// What the report's gathering, its text and its JSON share: the reads as
// the report shows them, and how it writes numbers and quoted text.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "common/text.h"
#include "inspect/inspection.h"

namespace ssdprep {

// A JSON string literal; also how the report quotes text read from the
// machine, so that nothing in it can pass for something else.
template <typename Text>
std::string Quoted(const Text& text) {
    std::string out = "\"";
    for (const auto c : text) {
        const auto unit =
            static_cast<std::uint16_t>(static_cast<std::make_unsigned_t<decltype(c)>>(c));
        switch (unit) {
            case u'"':
                out += "\\\"";
                break;
            case u'\\':
                out += "\\\\";
                break;
            case u'\r':
                out += "\\r";
                break;
            case u'\n':
                out += "\\n";
                break;
            case u'\t':
                out += "\\t";
                break;
            default:
                if (unit >= 0x20 && unit < 0x7F) {
                    out.push_back(static_cast<char>(unit));
                } else {
                    out += "\\u" + Hex(unit, 4);
                }
        }
    }
    return out + "\"";
}

inline std::optional<int> Word217(const IdentifyAnswer& answer) {
    return answer.exchanged ? std::optional<int>(RotationRate(answer.data)) : std::nullopt;
}

inline const char* Kind(const LayoutEntry& entry) {
    return entry.index < kPrimaryEntries ? "primary" : "logical";
}

inline const char* StyleName(const StyleAnswer& style) {
    if (!style.read) {
        return nullptr;
    }
    switch (style.style) {
        case kPartitionStyleMbr:
            return "MBR";
        case kPartitionStyleGpt:
            return "GPT";
        case kPartitionStyleRaw:
            return "RAW";
        default:
            return "unknown";
    }
}

// The check the tool would stop at, or null.
inline const StepCheck* FirstFailedStep(const Inspection& in) {
    for (const StepCheck& step : in.steps) {
        if (!step.ok) {
            return &step;
        }
    }
    return nullptr;
}

}  // namespace ssdprep
