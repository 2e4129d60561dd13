// Writing a credit-transfer request as XML.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sepa/Message.h"
#include "sepa/Schema.h"

namespace doz::sepa {

// The whole document, UTF-8, written in one pass into `out` (appended). The
// transaction count and the control sum are computed from the integer cents.
// Texts are expected prepared (PrepareMessage): they are only escaped here.
void WriteMessage(const Message& message, std::string& out);

// The same document written piece by piece, for a request whose transfers
// are checked and written one at a time and never held together: the
// constructor writes everything before the first transfer (the transaction
// count and the control sum are given), transfer() one transfer, finish() the
// rest. Each piece is appended to `out`, which the caller may empty between
// pieces.
class DocumentWriter {
public:
    DocumentWriter(const Message& header, std::size_t transfers, std::int64_t totalCents, std::string& out);
    ~DocumentWriter();
    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;

    void transfer(const Transfer& t);
    void finish();

private:
    struct Out;
    Form form_;
    std::unique_ptr<Out> out_;
};

// WriteMessage, with the document validated against `validator` while it is
// being written (on a second thread): nothing when it is valid, else the
// schema's first complaint (SchemaValidator::validate). `out` holds the whole
// document either way.
std::optional<std::string> WriteAndValidate(const Message& message, const SchemaValidator& validator,
                                            std::string& out);

// The sum of the message's amounts in cents; DataError beyond 64 bits.
std::int64_t ControlSumCents(const Message& message);
// Cents as the XML amount: "1234.50".
std::string AmountText(std::int64_t cents);

// The schema file a form is checked against.
std::string_view SchemaFileName(Form form);

}  // namespace doz::sepa
