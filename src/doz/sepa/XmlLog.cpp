#include "sepa/XmlLog.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Ansi.h"
#include "platform/Error.h"

namespace doz::sepa {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

// Builds the log lines from the parser's events: the path of the open
// elements, the text of the innermost one and whether it has children.
class Logger {
public:
    explicit Logger(TextFileWriter& out) : out_(out) {}

    static void startElement(void* self, const xmlChar* localName, const xmlChar*, const xmlChar*, int, const xmlChar**,
                             int attributeCount, int, const xmlChar** attributes) {
        auto& l = *static_cast<Logger*>(self);
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

    static void endElement(void* self, const xmlChar*, const xmlChar*, const xmlChar*) {
        auto& l = *static_cast<Logger*>(self);
        if (!l.hasChild_ && l.depth_ > 1) l.line(l.path_, l.text_);
        l.text_.clear();
        l.hasChild_ = true;  // the parent now has a child
        l.path_.resize(l.ends_.back());
        l.ends_.pop_back();
        --l.depth_;
    }

    static void characters(void* self, const xmlChar* text, int length) {
        auto& l = *static_cast<Logger*>(self);
        if (!l.hasChild_) l.text_.append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
    }

    static void error(void* self, xmlErrorPtr error) {
        auto& l = *static_cast<Logger*>(self);
        if (l.error_ || error == nullptr || error->level == XML_ERR_WARNING) return;
        std::string message = error->message ? error->message : "errore sconosciuto";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        l.error_ = "riga " + std::to_string(error->line) + ": " + message;
    }

    void flush() {
        if (!pending_.empty()) out_.write(pending_);
        pending_.clear();
    }
    const std::optional<std::string>& failure() const { return error_; }

private:
    void line(std::string_view path, std::string_view utf8) {
        pending_ += path;
        pending_ += "=\"";
        pending_ += utf8ToAnsi(utf8);
        pending_ += "\"\r\n";
        if (pending_.size() >= kChunk) flush();
    }

    TextFileWriter& out_;
    std::string path_;
    std::vector<std::size_t> ends_;
    std::string text_;
    bool hasChild_ = false;
    int depth_ = 0;
    std::string pending_;
    std::optional<std::string> error_;
};

struct ParserFree {
    void operator()(xmlParserCtxtPtr p) const {
        if (p->myDoc) xmlFreeDoc(p->myDoc);
        xmlFreeParserCtxt(p);
    }
};

}  // namespace

void LogXmlContent(std::string_view document, TextFileWriter& out) {
    Logger logger(out);
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = &Logger::startElement;
    sax.endElementNs = &Logger::endElement;
    sax.characters = &Logger::characters;
    sax.serror = &Logger::error;

    std::unique_ptr<xmlParserCtxt, ParserFree> parser(xmlCreatePushParserCtxt(&sax, &logger, nullptr, 0, nullptr));
    if (!parser) throw Error("Memoria insufficiente per registrare il file XML");
    xmlCtxtUseOptions(parser.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kChunk, document.size() - at);
        const bool last = at + n == document.size();
        xmlParseChunk(parser.get(), document.data() + at, static_cast<int>(n), last ? 1 : 0);
        at += n;
        if (logger.failure()) break;
    } while (at < document.size());
    if (document.empty()) xmlParseChunk(parser.get(), nullptr, 0, 1);
    logger.flush();
    if (logger.failure() || !parser->wellFormed)
        throw Error("Il file XML non \xE8 leggibile: " + utf8ToAnsi(logger.failure().value_or("documento malformato")));
}

}  // namespace doz::sepa
