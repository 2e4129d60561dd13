#include "sepa/Schema.h"

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/Ansi.h"
#include "platform/Error.h"

namespace doz::sepa {

namespace {

// The first complaint of the schema library, in place of its printing.
struct FirstError {
    std::optional<std::string> text;

    static void take(void* self, xmlErrorPtr error) {
        auto& first = *static_cast<FirstError*>(self);
        if (first.text || error == nullptr || error->level == XML_ERR_WARNING) return;
        std::string message = error->message ? error->message : "errore sconosciuto";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        first.text = error->line > 0 ? "riga " + std::to_string(error->line) + ": " + message : message;
    }
    static void ignore(void*, const char*, ...) {}
};

// The library's global error handlers of this thread, turned to `sink` while
// one object lives.
class ErrorsTo {
public:
    explicit ErrorsTo(FirstError& sink) {
        xmlSetStructuredErrorFunc(&sink, &FirstError::take);
        xmlSetGenericErrorFunc(nullptr, &FirstError::ignore);
    }
    ~ErrorsTo() {
        xmlSetStructuredErrorFunc(nullptr, nullptr);
        xmlSetGenericErrorFunc(nullptr, nullptr);
    }
    ErrorsTo(const ErrorsTo&) = delete;
    ErrorsTo& operator=(const ErrorsTo&) = delete;
};

// The document handed to the parser in pieces as it asks, without a copy.
struct MemoryStream {
    std::string_view rest;

    static int read(void* self, char* buffer, int length) {
        auto& s = *static_cast<MemoryStream*>(self);
        const std::size_t n = std::min(s.rest.size(), static_cast<std::size_t>(length));
        std::memcpy(buffer, s.rest.data(), n);
        s.rest.remove_prefix(n);
        return static_cast<int>(n);
    }
    static int close(void*) { return 0; }
};

std::filesystem::path programFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

}  // namespace

std::filesystem::path BundledSchemaFolder() {
    std::error_code ec;
    const std::filesystem::path installed = programFolder() / "../share/pzt-export-banche/xsd";
    if (std::filesystem::is_directory(installed, ec)) return installed.lexically_normal();
#ifdef DOZ_SCHEMA_SOURCE_DIR
    const std::filesystem::path source = DOZ_SCHEMA_SOURCE_DIR;
    if (std::filesystem::is_directory(source, ec)) return source;
#endif
    return {};
}

struct SchemaValidator::Impl {
    xmlSchemaPtr schema = nullptr;
    ~Impl() {
        if (schema) xmlSchemaFree(schema);
    }
};

SchemaValidator::SchemaValidator(const std::filesystem::path& xsdFile) : impl_(std::make_unique<Impl>()) {
    xmlInitParser();  // once, before any thread of the library's
    const std::string path = xsdFile.string();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(xsdFile, ec))
        throw IoError("Impossibile leggere lo schema XML '" + path + "': file non trovato");
    FirstError first;
    {
        const ErrorsTo redirect(first);
        xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(path.c_str());
        if (parser) {
            xmlSchemaSetParserStructuredErrors(parser, &FirstError::take, &first);
            impl_->schema = xmlSchemaParse(parser);
            xmlSchemaFreeParserCtxt(parser);
        }
    }
    if (!impl_->schema)
        throw Error("Lo schema XML '" + path + "' non \xE8 leggibile: " +
                    utf8ToAnsi(first.text.value_or("errore sconosciuto")));
}

SchemaValidator::~SchemaValidator() = default;

std::optional<std::string> SchemaValidator::validate(std::string_view document) const {
    MemoryStream stream{document};
    return validateStream(&MemoryStream::read, &stream);
}

std::optional<std::string> SchemaValidator::validateStream(int (*read)(void*, char*, int), void* source,
                                                           const xmlSAXHandler* events, void* user) const {
    FirstError first;
    const ErrorsTo redirect(first);
    xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(impl_->schema);
    if (!context) return std::string("memoria insufficiente per la convalida");
    xmlSchemaSetValidStructuredErrors(context, &FirstError::take, &first);
    xmlParserInputBufferPtr input =
        xmlParserInputBufferCreateIO(read, &MemoryStream::close, source, XML_CHAR_ENCODING_NONE);
    // Handlers that do nothing, or the caller's: the parser builds no tree of the document.
    xmlSAXHandler handlers;
    if (events) {
        handlers = *events;
        handlers.serror = nullptr;  // the parse's errors are the validation's to tell
    } else {
        std::memset(&handlers, 0, sizeof handlers);
    }
    handlers.initialized = XML_SAX2_MAGIC;
    int result = -1;
    if (input) result = xmlSchemaValidateStream(context, input, XML_CHAR_ENCODING_NONE, &handlers, user);
    xmlSchemaFreeValidCtxt(context);
    if (result == 0) return std::nullopt;
    return first.text.value_or("documento XML non valido");
}

// ---- validation beside the writing ---------------------------------------------

struct PieceValidation::Queue {
    std::mutex lock;
    std::condition_variable ready;  // a piece came, or the end
    std::condition_variable room;   // a piece was read, or the validation stopped
    std::deque<std::string> pieces;
    std::size_t offset = 0;  // into the first piece
    std::size_t waiting = 0;  // bytes handed over and not yet read
    std::vector<std::string> spares;  // pieces read, their room kept for the next ones
    bool ended = false;      // no piece will follow
    bool stopped = false;    // the validation has finished reading

    // The parser's read: waits for the next piece; 0 at the end.
    static int read(void* self, char* buffer, int length) {
        auto& q = *static_cast<Queue*>(self);
        std::unique_lock<std::mutex> guard(q.lock);
        q.ready.wait(guard, [&] { return !q.pieces.empty() || q.ended; });
        if (q.pieces.empty()) return 0;
        std::string& front = q.pieces.front();
        const std::size_t n = std::min(front.size() - q.offset, static_cast<std::size_t>(length));
        std::memcpy(buffer, front.data() + q.offset, n);
        q.offset += n;
        q.waiting -= n;
        if (q.offset == front.size()) {
            if (q.spares.size() < 2) {
                front.clear();
                q.spares.push_back(std::move(front));
            }
            q.pieces.pop_front();
            q.offset = 0;
            guard.unlock();
            q.room.notify_one();
        }
        return static_cast<int>(n);
    }
};

PieceValidation::PieceValidation(const SchemaValidator& validator, std::size_t maxWaiting,
                                 const xmlSAXHandler* events, void* user)
    : queue_(std::make_unique<Queue>()), maxWaiting_(maxWaiting) {
    worker_ = std::thread([this, &validator, events, user] {
        result_ = validator.validateStream(&Queue::read, queue_.get(), events, user);
        {
            const std::lock_guard<std::mutex> guard(queue_->lock);
            queue_->stopped = true;
            queue_->pieces.clear();
            queue_->waiting = 0;
        }
        queue_->room.notify_all();
    });
}

PieceValidation::~PieceValidation() {
    if (worker_.joinable()) {
        end();
        worker_.join();
    }
}

void PieceValidation::feed(std::string piece) {
    if (piece.empty()) return;
    {
        std::unique_lock<std::mutex> guard(queue_->lock);
        if (maxWaiting_ > 0)
            queue_->room.wait(guard, [&] { return queue_->stopped || queue_->waiting < maxWaiting_; });
        if (queue_->stopped) return;  // a complaint is already there
        queue_->waiting += piece.size();
        queue_->pieces.push_back(std::move(piece));
    }
    queue_->ready.notify_one();
}

std::string PieceValidation::spare() {
    const std::lock_guard<std::mutex> guard(queue_->lock);
    if (queue_->spares.empty()) return {};
    std::string piece = std::move(queue_->spares.back());
    queue_->spares.pop_back();
    return piece;
}

void PieceValidation::end() {
    {
        const std::lock_guard<std::mutex> guard(queue_->lock);
        queue_->ended = true;
    }
    queue_->ready.notify_one();
}

std::optional<std::string> PieceValidation::finish() {
    end();
    worker_.join();
    return result_;
}

}  // namespace doz::sepa
