#include "sepa/XmlLog.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/SystemErrors.h"

namespace doz::sepa {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;  // of the document, read or handed to the parser
constexpr std::size_t kLines = std::size_t{1} << 18;  // of log lines, written at once

}  // namespace

// Builds the log lines from the parser's events: the path of the open
// elements, the text of the innermost one and whether it has children. The
// events come through the parser's C code: what goes wrong in them (the
// writing of the lines, memory) is kept and told by flush(), and the events
// after it are ignored.
class XmlLogLines::Logger {
public:
    explicit Logger(LineOut out) : out_(std::move(out)) {}

    static void startElement(void* self, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                             int namespaceCount, const xmlChar** namespaces, int attributeCount, int defaulted,
                             const xmlChar** attributes) {
        auto& l = *static_cast<Logger*>(self);
        if (l.thrown_) return;
        try {
            l.start(localName, attributeCount, attributes);
        } catch (...) {
            l.thrown_ = std::current_exception();
        }
        (void)prefix, (void)uri, (void)namespaceCount, (void)namespaces, (void)defaulted;
    }

    static void endElement(void* self, const xmlChar*, const xmlChar*, const xmlChar*) {
        auto& l = *static_cast<Logger*>(self);
        if (l.thrown_) return;
        try {
            l.end();
        } catch (...) {
            l.thrown_ = std::current_exception();
        }
    }

    static void characters(void* self, const xmlChar* text, int length) {
        auto& l = *static_cast<Logger*>(self);
        if (l.thrown_ || l.hasChild_) return;
        try {
            l.text_.append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
        } catch (...) {
            l.thrown_ = std::current_exception();
        }
    }

    static void error(void* self, xmlErrorPtr error) {
        auto& l = *static_cast<Logger*>(self);
        if (l.error_ || error == nullptr || error->level == XML_ERR_WARNING) return;
        std::string message = error->message ? error->message : "errore sconosciuto";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        l.error_ = "riga " + std::to_string(error->line) + ": " + message;
    }

    // Writes the lines still pending; throws what went wrong in an event.
    void flush() {
        if (thrown_) std::rethrow_exception(thrown_);
        if (!pending_.empty()) out_(pending_);
        pending_.clear();
    }
    const std::optional<std::string>& failure() const { return error_; }

private:
    void start(const xmlChar* localName, int attributeCount, const xmlChar** attributes) {
        Logger& l = *this;
        l.hasChild_ = true;
        l.ends_.push_back(l.path_.size());
        if (l.depth_++ > 0) {
            if (l.depth_ > 2) l.path_ += '/';
            l.path_ += reinterpret_cast<const char*>(localName);
        }
        l.text_.clear();
        l.hasChild_ = false;
        // Attributes come as five pointers each: name, prefix, URI, value start and end.
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** a = attributes + 5 * i;
            l.line(l.path_ + "@" + reinterpret_cast<const char*>(a[0]),
                   std::string_view(reinterpret_cast<const char*>(a[3]), static_cast<std::size_t>(a[4] - a[3])));
        }
    }

    void end() {
        Logger& l = *this;
        if (!l.hasChild_ && l.depth_ > 1) l.line(l.path_, l.text_);
        l.text_.clear();
        l.hasChild_ = true;  // the parent now has a child
        l.path_.resize(l.ends_.back());
        l.ends_.pop_back();
        --l.depth_;
    }

    void line(std::string_view path, std::string_view utf8) {
        pending_ += path;
        pending_ += "=\"";
        // Most values are plain ASCII, the same in both encodings.
        if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            pending_ += utf8;
        else
            pending_ += utf8ToAnsi(utf8);
        pending_ += "\"\r\n";
        if (pending_.size() >= kLines) flush();
    }

    LineOut out_;
    std::string path_;
    std::vector<std::size_t> ends_;
    std::string text_;
    bool hasChild_ = false;
    int depth_ = 0;
    std::string pending_;
    std::optional<std::string> error_;
    std::exception_ptr thrown_;
};

namespace {

// The events a logger takes from a parser.
xmlSAXHandler loggerEvents(bool withErrors) {
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = &XmlLogLines::Logger::startElement;
    sax.endElementNs = &XmlLogLines::Logger::endElement;
    sax.characters = &XmlLogLines::Logger::characters;
    if (withErrors) sax.serror = &XmlLogLines::Logger::error;
    return sax;
}

struct ParserFree {
    void operator()(xmlParserCtxtPtr p) const {
        if (p->myDoc) xmlFreeDoc(p->myDoc);
        xmlFreeParserCtxt(p);
    }
};

// Logs a document handed over in pieces of any size.
class LogParse {
public:
    explicit LogParse(TextFileWriter& out) : logger_([&out](std::string_view lines) { out.write(lines); }) {
        xmlSAXHandler sax = loggerEvents(true);
        parser_.reset(xmlCreatePushParserCtxt(&sax, &logger_, nullptr, 0, nullptr));
        if (!parser_) throw Error("Memoria insufficiente per registrare il file XML");
        xmlCtxtUseOptions(parser_.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    }

    // False once the document proved not well-formed: nothing more is read.
    bool feed(std::string_view piece, bool last) {
        xmlParseChunk(parser_.get(), piece.data(), static_cast<int>(piece.size()), last ? 1 : 0);
        return !logger_.failure();
    }
    // Writes the lines still pending; Error when the document is not well-formed.
    void finish() {
        logger_.flush();
        if (logger_.failure() || !parser_->wellFormed)
            throw Error("Il file XML non \xE8 leggibile: " + utf8ToAnsi(logger_.failure().value_or("documento malformato")));
    }

private:
    XmlLogLines::Logger logger_;
    std::unique_ptr<xmlParserCtxt, ParserFree> parser_;
};

}  // namespace

void LogXmlContent(std::string_view document, TextFileWriter& out) {
    LogParse parse(out);
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kChunk, document.size() - at);
        if (!parse.feed(document.substr(at, n), at + n == document.size())) break;
        at += n;
    } while (at < document.size());
    parse.finish();
}

struct XmlLogLines::Events {
    xmlSAXHandler sax = loggerEvents(false);
};

XmlLogLines::XmlLogLines(LineOut out)
    : logger_(std::make_unique<Logger>(std::move(out))), events_(std::make_unique<Events>()) {}

XmlLogLines::~XmlLogLines() = default;

const _xmlSAXHandler* XmlLogLines::events() const { return &events_->sax; }

void* XmlLogLines::user() { return logger_.get(); }

void XmlLogLines::finish() { logger_->flush(); }

void LogXmlFile(int fd, const std::string& path, TextFileWriter& out) {
    LogParse parse(out);
    std::string block(kChunk, '\0');
    off_t at = 0;  // read at its own offset: the descriptor's is shared with the writer's
    for (;;) {
        const ssize_t n = ::pread(fd, block.data(), block.size(), at);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw IoError("Impossibile leggere il file '" + path + "': " + systemErrorText(errno));
        }
        at += n;
        if (!parse.feed(std::string_view(block.data(), static_cast<std::size_t>(n)), n == 0) || n == 0) break;
    }
    parse.finish();
}

}  // namespace doz::sepa
