// A request checked, written and validated one transfer at a time: the
// transfers are read from the dispositions as they are written and never held
// together, and the document goes out in pieces as it grows.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "findings/Findings.h"
#include "sepa/FromDispositions.h"
#include "sepa/Message.h"
#include "sepa/XmlLog.h"

namespace doz::sepa {

// Where the document goes as it grows, in pieces of about 256 KB.
using PieceOut = std::function<void(std::string_view piece)>;

struct StreamedRequest {
    bool checked = false;                  // no check found an error
    std::optional<std::string> complaint;  // the schema's (UTF-8), only for a request that passed its checks
    bool logged = false;                   // `log` was handed the whole document by the validation
};

// Walks the transfers of `reader` (header() done, `header` what it gave):
// checks `header` and each transfer into `sink` (MessageCheck), and while no
// check has failed writes the document, handing it to `out` and, with a
// schema, validating it against `xsd` on a second thread at the same time.
// With `stopAtError` (the OK command) the walk ends at the first error, and
// the notes of the transfers that passed are not kept; otherwise (the check) every transfer is checked, and the writing and the
// validation end at the first error. A schema that cannot be read and a
// control sum beyond 64 bits are thrown (doz::Error, DataError) only for a
// request that passed its checks, as when the whole message is written after
// PrepareMessage. Nothing is written when `out` is empty and there is no `xsd`.
// With `log`, the validation's reading of the document also makes its log
// lines (XmlLogLines; the caller finishes it). `seen`, when given, is handed
// every transfer the walk reads, before its checks.
StreamedRequest StreamRequest(RequestReader& reader, Message& header, CheckSink& sink, bool stopAtError,
                              const std::optional<std::filesystem::path>& xsd, const PieceOut& out,
                              XmlLogLines* log = nullptr, const std::function<void(const Transfer&)>& seen = {});

}  // namespace doz::sepa
