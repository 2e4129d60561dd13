// The filter language of the in-memory tables: parsing once per text, then
// evaluating against rows.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/Value.h"

namespace doz {

class CompiledFilter {
public:
    virtual ~CompiledFilter() = default;
    // True when the row passes. Throws DataError when the evaluation cannot be
    // done (a text compared with a number that is not a number: the message
    // names the field and the value).
    virtual bool matches(const Row& row) const = 0;
};

// Parses a filter text against the fields of a table (names resolved without
// regard to letter case). Throws DataError naming the filter text and the
// position of the problem for a text that does not parse, an unknown field or
// an unknown function.
std::unique_ptr<CompiledFilter> compileFilter(std::string_view text, const std::vector<FieldDef>& fields);

}  // namespace doz
