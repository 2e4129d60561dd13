// Checking a written request against the schema of its message.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct _xmlSAXHandler;

namespace doz::sepa {

// The folder of the schemas shipped with the program (the ISO one): next to
// the installed program (../share/pzt-export-banche/xsd) or, for builds and
// tests, in the source tree (data/xsd). Empty when neither exists.
std::filesystem::path BundledSchemaFolder();

// A file or address the schema library asked for while a schema was loaded.
struct SchemaRequest {
    std::string reference;  // as the library asked for it (UTF-8)
    bool opened = false;    // false: refused, never opened
};
// What the last load of a schema in this process asked for, in order.
std::vector<SchemaRequest> SchemaRequestsOfLastLoad();

// A loaded schema. It is read without the network and without external
// entities; the schemas it includes or imports are read from its own folder
// only (links resolved), anything else is refused.
class SchemaValidator {
public:
    // Throws doz::Error with an Italian message when the file cannot be read,
    // is not a schema, or refers to anything outside its folder (naming the
    // reference); a broken schema it includes or imports is named itself.
    explicit SchemaValidator(const std::filesystem::path& xsdFile);
    ~SchemaValidator();
    SchemaValidator(const SchemaValidator&) = delete;
    SchemaValidator& operator=(const SchemaValidator&) = delete;

    // Nothing when the document is valid; else the schema's first complaint
    // with its line ("riga 12: ..."), UTF-8 as the schema library gives it.
    // The document is read as a stream; no tree of it is built.
    std::optional<std::string> validate(std::string_view document) const;
    // The same for a document read through `read` (as read(2): bytes copied,
    // 0 at the end), called from the calling thread only. With `events` the
    // parse also hands the document's elements and texts to those handlers
    // (libxml2 SAX2, with `user`), as it reads it once for both.
    std::optional<std::string> validateStream(int (*read)(void* source, char* buffer, int length), void* source,
                                              const _xmlSAXHandler* events = nullptr, void* user = nullptr) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Validates a document handed over in pieces, on a thread of its own, while
// the pieces are still being written.
class PieceValidation {
public:
    // With `maxWaiting` above 0, feed() waits while that many bytes handed
    // over are still unread: a writer faster than the validation holds no
    // more than that of the document.
    // `events` and `user`: as for SchemaValidator::validateStream, called on
    // the validation's thread.
    explicit PieceValidation(const SchemaValidator& validator, std::size_t maxWaiting = 0,
                             const _xmlSAXHandler* events = nullptr, void* user = nullptr);
    ~PieceValidation();  // ends the document and waits for the thread
    PieceValidation(const PieceValidation&) = delete;
    PieceValidation& operator=(const PieceValidation&) = delete;

    void feed(std::string piece);
    // An empty string with the room of a piece already read, when there is
    // one: the next piece can be written into it without a new allocation.
    std::string spare();
    // Ends the document and gives what validate() would give for it whole.
    std::optional<std::string> finish();

private:
    void end();
    struct Queue;
    std::unique_ptr<Queue> queue_;
    std::size_t maxWaiting_ = 0;
    std::optional<std::string> result_;
    std::thread worker_;
};

}  // namespace doz::sepa
