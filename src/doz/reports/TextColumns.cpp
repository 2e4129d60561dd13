#include "reports/TextColumns.h"

#include "platform/Ansi.h"
#include "platform/Regional.h"

namespace doz {

std::string PadText(const std::string& text, int width, bool rightAligned) {
    const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
    std::string out;
    if (rightAligned) {
        // Filled in front, never cut: a longer text widens the column.
        if (text.size() < w) out.assign(w - text.size(), ' ');
        out += text;
    } else {
        // Filled behind and cut: always exactly the width.
        out = text.substr(0, w);
        out.append(w - out.size(), ' ');
    }
    // A value's control character would break the report's line.
    blankControlCharacters(out);
    return out;
}

std::string PadLabel(const std::string& text) { return PadText(text, 35, false); }

std::string FormatAmount(std::int64_t scaled) { return PadText(formatCurrencyGrouped(scaled), 15, true); }

}  // namespace doz
