#include "sepa/Schema.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/SystemErrors.h"

namespace doz::sepa {

namespace {

// The error number behind one of the library's input/output errors; 0 for
// the others.
int systemErrorOf(const xmlError& error) {
    if (error.domain != XML_FROM_IO) return 0;
    switch (error.code) {
        case XML_IO_EACCES: return EACCES;
        case XML_IO_EAGAIN: return EAGAIN;
        case XML_IO_EBUSY: return EBUSY;
        case XML_IO_EEXIST: return EEXIST;
        case XML_IO_EFBIG: return EFBIG;
        case XML_IO_EINPROGRESS: return EINPROGRESS;
        case XML_IO_EINTR: return EINTR;
        case XML_IO_EINVAL: return EINVAL;
        case XML_IO_EIO: return EIO;
        case XML_IO_EISDIR: return EISDIR;
        case XML_IO_EMFILE: return EMFILE;
        case XML_IO_ENAMETOOLONG: return ENAMETOOLONG;
        case XML_IO_ENFILE: return ENFILE;
        case XML_IO_ENOENT: return ENOENT;
        case XML_IO_ENOMEM: return ENOMEM;
        case XML_IO_ENOSPC: return ENOSPC;
        case XML_IO_ENOTDIR: return ENOTDIR;
        case XML_IO_EPERM: return EPERM;
        case XML_IO_EROFS: return EROFS;
        case XML_IO_ETIMEDOUT: return ETIMEDOUT;
        case XML_IO_ECONNREFUSED: return ECONNREFUSED;
        case XML_IO_ENETUNREACH: return ENETUNREACH;
        default: return 0;
    }
}

// The first complaint of the schema library, in place of its printing: the
// file and line it names, and its text (UTF-8). The library's own words are
// English; they are quoted and marked as the schema checker's, while a failure
// of the system is said in Italian.
struct FirstError {
    bool taken = false;
    std::string file;
    int line = 0;
    std::string text;

    static void take(void* self, xmlErrorPtr error) {
        auto& first = *static_cast<FirstError*>(self);
        if (first.taken || error == nullptr || error->level == XML_ERR_WARNING) return;
        first.taken = true;
        first.file = error->file ? error->file : "";
        first.line = error->line;
        if (const int err = systemErrorOf(*error)) {
            first.text = ansiToUtf8(systemErrorText(err));
            return;
        }
        std::string message = error->message ? error->message : "errore sconosciuto";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        first.text = "(messaggio del controllo dello schema: \"" + message + "\")";
    }
    static void ignore(void*, const char*, ...) {}

    // "riga 12 (messaggio del controllo dello schema: "...")"; nothing when
    // the library said nothing.
    std::optional<std::string> complaint() const {
        if (!taken) return std::nullopt;
        if (line <= 0) return text;
        return "riga " + std::to_string(line) + (text.starts_with("(") ? " " : ": ") + text;
    }
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

// ---- loading a schema from its own folder only -----------------------------------------

namespace {

// What one load asked the library for. A schema is data handed over by a bank
// or a colleague: it is read with no network and no external entities, and
// the files it includes or imports are read only from its own folder.
struct LoadGuard {
    std::filesystem::path folder;  // resolved
    std::vector<SchemaRequest> requests;
    std::optional<std::string> refused;  // the first refusal, Windows-1252
};

// One load at a time in the process: the library's entity loader is global.
std::mutex g_loadLock;
std::vector<SchemaRequest> g_lastRequests;
// The load running on this thread; a request from any other thread is refused.
thread_local LoadGuard* t_load = nullptr;

bool inside(const std::filesystem::path& folder, const std::filesystem::path& file) {
    auto f = folder.begin();
    auto p = file.begin();
    for (; f != folder.end(); ++f, ++p)
        if (p == file.end() || *f != *p) return false;
    return p != file.end();
}

// Why a reference may not be read, or nothing when it may; `file` is then the
// file to open, its links resolved.
std::optional<std::string> refusal(const LoadGuard& load, const std::string& reference, bool fromDocument,
                                   std::filesystem::path& file) {
    if (fromDocument) return std::string("entit\xE0 esterna: non ammessa negli schemi");
    std::string path = reference;
    const std::size_t colon = reference.find(':');
    const std::size_t slash = reference.find('/');
    if (colon != std::string::npos && colon > 1 && (slash == std::string::npos || colon < slash)) {
        // An address: only a file one, and that as the file it names.
        if (!reference.starts_with("file:")) return std::string("indirizzo di rete: gli schemi si leggono solo dalla loro cartella");
        std::string rest = reference.substr(5);
        if (rest.starts_with("//")) {
            rest.erase(0, 2);
            if (rest.starts_with("localhost/")) rest.erase(0, 9);
            if (!rest.starts_with("/")) return std::string("indirizzo di rete: gli schemi si leggono solo dalla loro cartella");
        }
        char* unescaped = xmlURIUnescapeString(rest.c_str(), 0, nullptr);
        if (!unescaped) return std::string("indirizzo non valido");
        path = unescaped;
        xmlFree(unescaped);
    }
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) return std::string("percorso non valido");
    if (!std::filesystem::exists(absolute, ec)) {
        // A name the library built from the including schema's comes escaped ("%20").
        if (char* unescaped = xmlURIUnescapeString(path.c_str(), 0, nullptr)) {
            absolute = std::filesystem::absolute(std::string(unescaped), ec);
            xmlFree(unescaped);
        }
    }
    file = std::filesystem::weakly_canonical(absolute, ec);
    if (ec || !inside(load.folder, file)) return std::string("file fuori dalla cartella dello schema");
    return std::nullopt;
}

extern "C" xmlParserInputPtr loadFromSchemaFolder(const char* url, const char*, xmlParserCtxtPtr context) {
    LoadGuard* load = t_load;
    const std::string reference = url ? url : "";
    if (!load) return nullptr;
    // A document being read asks for an entity or its DTD; a fresh parser asks
    // for a document: the schema itself, or one it includes or imports.
    const bool fromDocument = context && context->inputNr > 0;
    std::filesystem::path file;
    const std::optional<std::string> why = refusal(*load, reference, fromDocument, file);
    if (why) {
        load->requests.push_back({reference, false});
        if (!load->refused) {
            std::string asker;
            if (fromDocument && context->input && context->input->filename)
                asker = " (in '" + utf8ToAnsi(context->input->filename) + "')";
            load->refused = "riferimento " + quotedValue(utf8ToAnsi(reference)) + asker + " rifiutato, " + *why;
        }
        return nullptr;
    }
    load->requests.push_back({reference, true});
    return xmlNewInputFromFile(context, file.c_str());
}

// Our entity loader, in place of the library's for the life of one object;
// one such object at a time in the process.
class LoaderInstalled {
public:
    explicit LoaderInstalled(LoadGuard& load) : guard_(g_loadLock), previous_(xmlGetExternalEntityLoader()) {
        t_load = &load;
        xmlSetExternalEntityLoader(&loadFromSchemaFolder);
    }
    ~LoaderInstalled() {
        xmlSetExternalEntityLoader(previous_);
        g_lastRequests = std::move(t_load->requests);
        t_load = nullptr;
    }
    LoaderInstalled(const LoaderInstalled&) = delete;
    LoaderInstalled& operator=(const LoaderInstalled&) = delete;

private:
    std::lock_guard<std::mutex> guard_;
    xmlExternalEntityLoader previous_;
};

// The first external entity a document declares (its system name), if any:
// a schema declares none.
std::optional<std::string> externalEntity(xmlDocPtr doc) {
    for (xmlDtdPtr dtd : {doc->intSubset, doc->extSubset}) {
        if (!dtd) continue;
        for (xmlNodePtr n = dtd->children; n; n = n->next) {
            if (n->type != XML_ENTITY_DECL) continue;
            const auto* entity = reinterpret_cast<xmlEntityPtr>(n);
            if (entity->etype == XML_INTERNAL_GENERAL_ENTITY || entity->etype == XML_INTERNAL_PARAMETER_ENTITY ||
                entity->etype == XML_INTERNAL_PREDEFINED_ENTITY)
                continue;
            return entity->SystemID ? reinterpret_cast<const char*>(entity->SystemID)
                                    : reinterpret_cast<const char*>(entity->name);
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<SchemaRequest> SchemaRequestsOfLastLoad() {
    const std::lock_guard<std::mutex> guard(g_loadLock);
    return g_lastRequests;
}

struct SchemaValidator::Impl {
    xmlDocPtr document = nullptr;  // the schema's own, kept while the schema lives
    xmlSchemaPtr schema = nullptr;
    ~Impl() {
        if (schema) xmlSchemaFree(schema);
        if (document) xmlFreeDoc(document);
    }
};

SchemaValidator::SchemaValidator(const std::filesystem::path& xsdFile) : impl_(std::make_unique<Impl>()) {
    xmlInitParser();  // once, before any thread of the library's
    const std::string path = utf8ToAnsi(xsdFile.string());
    const std::string named = "Lo schema XML '" + path + "'";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(xsdFile, ec))
        throw IoError("Impossibile leggere lo schema XML '" + path + "': file non trovato");
    LoadGuard load;
    load.folder = std::filesystem::weakly_canonical(std::filesystem::absolute(xsdFile, ec).parent_path(), ec);
    FirstError first;
    {
        const LoaderInstalled loader(load);
        const ErrorsTo redirect(first);
        // The schema read here, without the network and without loading
        // entities or DTDs; what it includes is read through the loader above.
        impl_->document = xmlReadFile(std::filesystem::absolute(xsdFile, ec).c_str(), nullptr, XML_PARSE_NONET);
        if (impl_->document && !load.refused) {
            if (const std::optional<std::string> entity = externalEntity(impl_->document))
                load.refused = "entit\xE0 esterna " + quotedValue(utf8ToAnsi(*entity)) + " rifiutata: non ammessa negli schemi";
        }
        if (impl_->document && !load.refused) {
            xmlSchemaParserCtxtPtr parser = xmlSchemaNewDocParserCtxt(impl_->document);
            if (parser) {
                xmlSchemaSetParserStructuredErrors(parser, &FirstError::take, &first);
                impl_->schema = xmlSchemaParse(parser);
                xmlSchemaFreeParserCtxt(parser);
            }
        }
    }
    if (load.refused) {
        if (impl_->schema) xmlSchemaFree(std::exchange(impl_->schema, nullptr));
        throw Error(named + ": " + *load.refused);
    }
    if (!impl_->schema) {
        // The file that failed is named: the schema itself or one it includes or imports.
        std::string failed = named;
        if (!first.file.empty() && !sameFile(first.file, xsdFile))
            failed = "Lo schema XML '" + utf8ToAnsi(first.file) + "' (richiamato dallo schema '" + path + "')";
        throw Error(failed + " non \xE8 leggibile: " + utf8ToAnsi(first.complaint().value_or("errore sconosciuto")));
    }
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
    return first.complaint().value_or("documento XML non valido");
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
