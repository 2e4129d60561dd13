#include "sepa/Stream.h"

#include <exception>

#include "platform/Error.h"
#include "sepa/Prepare.h"
#include "sepa/Schema.h"
#include "sepa/Writer.h"

namespace doz::sepa {

namespace {

// The document goes out in pieces of this size; at most a few of them wait
// for the validation, so a writer ahead of it holds little of the document.
constexpr std::size_t kPiece = std::size_t{1} << 18;
constexpr std::size_t kMostWaiting = 4 * kPiece;

}  // namespace

StreamedRequest StreamRequest(RequestReader& reader, Message& header, CheckSink& sink, bool stopAtError,
                              const std::optional<std::filesystem::path>& xsd, const PieceOut& out,
                              XmlLogLines* log, const std::function<void(const Transfer&)>& seen) {
    StreamedRequest result;
    MessageCheck check(header, sink, reader.transferCount());
    check.header();
    if (stopAtError && check.errors() > 0) return result;

    std::int64_t total = 0;
    const bool totalFits = reader.totalCents(total);
    const bool wanted = out || xsd;
    // A schema that cannot be read is told only for a request that passes its checks.
    std::exception_ptr schemaFailure;
    std::optional<SchemaValidator> validator;
    if (xsd && totalFits && check.errors() == 0) {
        try {
            validator.emplace(*xsd);
        } catch (...) {
            schemaFailure = std::current_exception();
        }
    }
    bool writing = wanted && totalFits && check.errors() == 0 && !schemaFailure;

    std::optional<PieceValidation> validation;
    if (writing && validator)
        validation.emplace(*validator, kMostWaiting, log ? log->events() : nullptr, log ? log->user() : nullptr);
    std::string piece;
    piece.reserve(kPiece + kPiece / 8);
    auto handOver = [&] {
        if (out) out(piece);
        if (validation) {
            std::string next = validation->spare();
            validation->feed(std::move(piece));
            piece = std::move(next);
            piece.reserve(kPiece + kPiece / 8);
        } else {
            piece.clear();
        }
    };
    std::optional<DocumentWriter> writer;
    if (writing) writer.emplace(header, reader.transferCount(), total, piece);

    // The OK command reads only the error: the notes of transfers that passed are not kept.
    const std::size_t kept = sink.findings().size();
    Transfer t;
    while (reader.next(t)) {
        if (seen) seen(t);
        check.transfer(t);
        if (check.errors() > 0) {
            if (stopAtError) return result;
            writing = false;
            continue;
        }
        if (stopAtError) sink.findings().resize(kept);
        if (!writing) continue;
        writer->transfer(t);
        if (piece.size() >= kPiece) handOver();
    }
    result.checked = check.finish();
    if (!result.checked) return result;
    if (schemaFailure) std::rethrow_exception(schemaFailure);
    if (wanted && !totalFits) throw DataError("Totale degli importi oltre il limite del programma.");
    if (!writing) return result;
    writer->finish();
    handOver();
    if (validation) {
        result.complaint = validation->finish();
        result.logged = log && !result.complaint;
    }
    return result;
}

}  // namespace doz::sepa
