#include "reports/TextColumns.h"

#include "platform/Regional.h"

namespace doz {

std::string PadText(const std::string& text, int width, bool rightAligned) {
    const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
    if (rightAligned) {
        // Filled in front, never cut: a longer text widens the column.
        if (text.size() >= w) return text;
        return std::string(w - text.size(), ' ') + text;
    }
    // Filled behind and cut: always exactly the width.
    std::string out = text.substr(0, w);
    out.append(w - out.size(), ' ');
    return out;
}

std::string PadLabel(const std::string& text) { return PadText(text, 35, false); }

std::string FormatAmount(std::int64_t scaled) { return PadText(formatCurrencyGrouped(scaled), 15, true); }

}  // namespace doz
