#include "sepa/Schema.h"

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <cstring>
#include <system_error>

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
    FirstError first;
    const ErrorsTo redirect(first);
    xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(impl_->schema);
    if (!context) return std::string("memoria insufficiente per la convalida");
    xmlSchemaSetValidStructuredErrors(context, &FirstError::take, &first);
    MemoryStream stream{document};
    xmlParserInputBufferPtr input =
        xmlParserInputBufferCreateIO(&MemoryStream::read, &MemoryStream::close, &stream, XML_CHAR_ENCODING_NONE);
    int result = -1;
    if (input) result = xmlSchemaValidateStream(context, input, XML_CHAR_ENCODING_NONE, nullptr, nullptr);
    xmlSchemaFreeValidCtxt(context);
    if (result == 0) return std::nullopt;
    return first.text.value_or("documento XML non valido");
}

}  // namespace doz::sepa
