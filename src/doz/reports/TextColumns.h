// Fitting texts to the columns of the reports.
#pragma once

#include <cstdint>
#include <string>

namespace doz {

std::string PadText(const std::string& text, int width, bool rightAligned);
std::string PadLabel(const std::string& text);
// A currency value (ten-thousandths) as "#,###.00", right-aligned in 15.
std::string FormatAmount(std::int64_t scaled);

}  // namespace doz
