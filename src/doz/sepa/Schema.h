// Checking a written request against the schema of its message.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace doz::sepa {

// The folder of the schemas shipped with the program (the ISO one): next to
// the installed program (../share/pzt-export-banche/xsd) or, for builds and
// tests, in the source tree (data/xsd). Empty when neither exists.
std::filesystem::path BundledSchemaFolder();

// A loaded schema. Schemas it imports are read from the same folder.
class SchemaValidator {
public:
    // Throws doz::Error with an Italian message when the file cannot be read
    // or is not a schema.
    explicit SchemaValidator(const std::filesystem::path& xsdFile);
    ~SchemaValidator();
    SchemaValidator(const SchemaValidator&) = delete;
    SchemaValidator& operator=(const SchemaValidator&) = delete;

    // Nothing when the document is valid; else the schema's first complaint
    // with its line ("riga 12: ..."), UTF-8 as the schema library gives it.
    // The document is read as a stream; no tree of it is built.
    std::optional<std::string> validate(std::string_view document) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace doz::sepa
