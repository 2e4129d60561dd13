#include "sepa/Writer.h"

#include <cstdio>
#include <functional>

#include "platform/Ansi.h"
#include "platform/Error.h"

namespace doz::sepa {

namespace {

constexpr std::string_view kCbiRequestNs = "urn:CBI:xsd:CBIPaymentRequest.00.04.01";
constexpr std::string_view kCbiBodyNs = "urn:CBI:xsd:CBIBdyPaymentRequest.00.04.01";
constexpr std::string_view kPainNs = "urn:iso:std:iso:20022:tech:xsd:pain.001.001.09";

// Appends elements one by one, each on a line of its own.
// Every element name takes the prefix given (the request inside the body form
// is qualified by its own namespace prefix).
class XmlOut {
public:
    XmlOut(std::string& out, std::string_view prefix) : out_(out), prefix_(prefix) {}

    void open(std::string_view name) {
        indent();
        out_ += '<';
        out_ += prefix_;
        out_ += name;
        out_ += ">\n";
        ++depth_;
    }
    void close(std::string_view name) {
        --depth_;
        indent();
        out_ += "</";
        out_ += prefix_;
        out_ += name;
        out_ += ">\n";
    }
    // A leaf holding Windows-1252 text.
    void text(std::string_view name, std::string_view value) {
        startLeaf(name);
        escaped(value);
        endLeaf(name);
    }
    // A leaf holding text known to be plain ASCII with nothing to escape.
    void plain(std::string_view name, std::string_view value) {
        startLeaf(name);
        out_ += value;
        endLeaf(name);
    }
    void amount(std::string_view name, std::int64_t cents) {
        indent();
        out_ += '<';
        out_ += prefix_;
        out_ += name;
        out_ += " Ccy=\"EUR\">";
        appendAmount(cents);
        endLeaf(name);
    }
    void appendAmount(std::int64_t cents) {
        char text[32];
        const std::uint64_t abs = cents < 0 ? 0 - static_cast<std::uint64_t>(cents) : static_cast<std::uint64_t>(cents);
        const int n = std::snprintf(text, sizeof text, "%s%llu.%02u", cents < 0 ? "-" : "",
                                    static_cast<unsigned long long>(abs / 100), static_cast<unsigned>(abs % 100));
        out_.append(text, static_cast<std::size_t>(n));
    }
    // The root element with its namespace and, for the body form, the prefix
    // of the request's namespace.
    void root(std::string_view name, std::string_view ns, std::string_view requestNs) {
        out_ += '<';
        out_ += name;
        out_ += " xmlns=\"";
        out_ += ns;
        if (!requestNs.empty()) {
            out_ += "\" xmlns:PMRQ=\"";
            out_ += requestNs;
        }
        out_ += "\">\n";
        ++depth_;
    }
    void endRoot(std::string_view name) { close(name); }
    void setPrefix(std::string_view prefix) { prefix_ = prefix; }

private:
    // One element a line, without indentation: a schema's complaint names a
    // line that holds one element, and the file carries no padding.
    void indent() {}
    void startLeaf(std::string_view name) {
        indent();
        out_ += '<';
        out_ += prefix_;
        out_ += name;
        out_ += '>';
    }
    void endLeaf(std::string_view name) {
        out_ += "</";
        out_ += prefix_;
        out_ += name;
        out_ += ">\n";
    }
    void escaped(std::string_view value) {
        // Prepared texts are plain ASCII with nothing to escape: copied whole.
        std::size_t clean = 0;
        while (clean < value.size()) {
            const unsigned char u = static_cast<unsigned char>(value[clean]);
            if (u >= 0x80 || u == '&' || u == '<' || u == '>' || u == '"') break;
            ++clean;
        }
        out_.append(value.data(), clean);
        for (const char c : value.substr(clean)) {
            const unsigned char u = static_cast<unsigned char>(c);
            if (u >= 0x80) {
                appendUtf8(out_, ansiToCodePoint(u));
                continue;
            }
            switch (c) {
                case '&': out_ += "&amp;"; break;
                case '<': out_ += "&lt;"; break;
                case '>': out_ += "&gt;"; break;
                case '"': out_ += "&quot;"; break;
                default: out_ += c;
            }
        }
    }

    std::string& out_;
    std::string_view prefix_;
    int depth_ = 0;
};

std::string isoDate(const Date& d) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

std::string isoDateTime(const DateTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "T%02d:%02d:%02d", t.hour, t.minute, t.second);
    return isoDate(t.date) + text;
}

// A postal address in the schema's order; nothing when it is empty.
void writeAddress(XmlOut& x, const PostalAddress& a) {
    if (a.empty()) return;
    x.open("PstlAdr");
    if (!a.street.empty()) x.text("StrtNm", a.street);
    if (!a.buildingNumber.empty()) x.text("BldgNb", a.buildingNumber);
    if (!a.postCode.empty()) x.text("PstCd", a.postCode);
    if (!a.town.empty()) x.text("TwnNm", a.town);
    if (!a.country.empty()) x.text("Ctry", a.country);
    x.close("PstlAdr");
}

void writeTransfer(XmlOut& x, const Transfer& t) {
    x.open("CdtTrfTxInf");
    x.open("PmtId");
    x.text("InstrId", t.instructionId);
    x.text("EndToEndId", t.endToEndId);
    x.close("PmtId");
    x.open("PmtTpInf");
    x.open("CtgyPurp");
    x.text("Cd", t.categoryPurpose);
    x.close("CtgyPurp");
    x.close("PmtTpInf");
    x.open("Amt");
    x.amount("InstdAmt", t.cents);
    x.close("Amt");
    if (!t.creditorBic.empty()) {
        x.open("CdtrAgt");
        x.open("FinInstnId");
        x.text("BICFI", t.creditorBic);
        x.close("FinInstnId");
        x.close("CdtrAgt");
    }
    x.open("Cdtr");
    x.text("Nm", t.creditorName);
    writeAddress(x, t.creditorAddress);
    x.close("Cdtr");
    x.open("CdtrAcct");
    x.open("Id");
    x.text("IBAN", t.creditorIban);
    x.close("Id");
    x.close("CdtrAcct");
    if (!t.remittance.empty()) {
        x.open("RmtInf");
        x.text("Ustrd", t.remittance);
        x.close("RmtInf");
    }
    x.close("CdtTrfTxInf");
}

// The request's group header and its payment block up to the first transfer.
void writeRequestHead(XmlOut& x, const Message& m, std::size_t transfers, std::int64_t total) {
    const std::string count = std::to_string(transfers);
    x.open("GrpHdr");
    x.text("MsgId", m.messageId);
    x.plain("CreDtTm", isoDateTime(m.created));
    x.plain("NbOfTxs", count);
    x.plain("CtrlSum", AmountText(total));
    x.open("InitgPty");
    if (!m.initiatingName.empty()) x.text("Nm", m.initiatingName);
    x.open("Id");
    x.open("OrgId");
    x.open("Othr");
    x.text("Id", m.cuc);
    x.plain("Issr", "CBI");
    x.close("Othr");
    x.close("OrgId");
    x.close("Id");
    x.close("InitgPty");
    x.close("GrpHdr");

    x.open("PmtInf");
    x.text("PmtInfId", m.paymentInfoId);
    x.plain("PmtMtd", "TRF");
    if (m.form == Form::Pain001) {
        x.plain("NbOfTxs", count);
        x.plain("CtrlSum", AmountText(total));
    }
    x.open("PmtTpInf");
    x.open("SvcLvl");
    x.plain("Cd", "SEPA");
    x.close("SvcLvl");
    x.close("PmtTpInf");
    x.open("ReqdExctnDt");
    x.plain("Dt", isoDate(m.execution));
    x.close("ReqdExctnDt");
    x.open("Dbtr");
    x.text("Nm", m.debtorName);
    writeAddress(x, m.debtorAddress);
    x.close("Dbtr");
    x.open("DbtrAcct");
    x.open("Id");
    x.text("IBAN", m.debtorIban);
    x.close("Id");
    x.close("DbtrAcct");
    x.open("DbtrAgt");
    x.open("FinInstnId");
    x.open("ClrSysMmbId");
    x.text("MmbId", m.debtorAbi);
    x.close("ClrSysMmbId");
    x.close("FinInstnId");
    x.close("DbtrAgt");
    x.plain("ChrgBr", "SLEV");
}

}  // namespace

std::int64_t ControlSumCents(const Message& message) {
    std::int64_t total = 0;
    for (const Transfer& t : message.transfers)
        if (__builtin_add_overflow(total, t.cents, &total))
            throw DataError("Totale degli importi oltre il limite del programma.");
    return total;
}

std::string AmountText(std::int64_t cents) {
    std::string out;
    XmlOut(out, {}).appendAmount(cents);
    return out;
}

std::string_view SchemaFileName(Form form) {
    switch (form) {
        case Form::CbiBody: return "CBIBdyPaymentRequest.00.04.01.xsd";
        case Form::CbiRequest: return "CBIPaymentRequest.00.04.01.xsd";
        case Form::Pain001: return "pain.001.001.09.xsd";
    }
    return {};
}

struct DocumentWriter::Out {
    Out(std::string& out) : x(out, {}) {}
    XmlOut x;
};

DocumentWriter::DocumentWriter(const Message& header, std::size_t transfers, std::int64_t totalCents, std::string& out)
    : form_(header.form), out_(std::make_unique<Out>(out)) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    XmlOut& x = out_->x;
    switch (form_) {
        case Form::CbiBody:
            x.root("CBIBdyPaymentRequest", kCbiBodyNs, kCbiRequestNs);
            x.open("CBIEnvelPaymentRequest");
            // The envelope's element is of the body's namespace; what it holds,
            // of the request's.
            x.open("CBIPaymentRequest");
            x.setPrefix("PMRQ:");
            break;
        case Form::CbiRequest:
            x.root("CBIPaymentRequest", kCbiRequestNs, {});
            break;
        case Form::Pain001:
            x.root("Document", kPainNs, {});
            x.open("CstmrCdtTrfInitn");
            break;
    }
    writeRequestHead(x, header, transfers, totalCents);
}

DocumentWriter::~DocumentWriter() = default;

void DocumentWriter::transfer(const Transfer& t) { writeTransfer(out_->x, t); }

void DocumentWriter::finish() {
    XmlOut& x = out_->x;
    x.close("PmtInf");
    switch (form_) {
        case Form::CbiBody:
            x.setPrefix({});
            x.close("CBIPaymentRequest");
            x.close("CBIEnvelPaymentRequest");
            x.endRoot("CBIBdyPaymentRequest");
            break;
        case Form::CbiRequest:
            x.endRoot("CBIPaymentRequest");
            break;
        case Form::Pain001:
            x.close("CstmrCdtTrfInitn");
            x.endRoot("Document");
            break;
    }
}

namespace {

// The whole document; `progress` is called after each transfer with all of it written so far.
void writeDocument(const Message& message, std::string& out, const std::function<void(std::string_view)>& progress) {
    out.reserve(out.size() + 2048 + message.transfers.size() * 1024);
    DocumentWriter writer(message, message.transfers.size(), ControlSumCents(message), out);
    for (const Transfer& t : message.transfers) {
        writer.transfer(t);
        if (progress) progress(out);
    }
    writer.finish();
}

}  // namespace

void WriteMessage(const Message& message, std::string& out) { writeDocument(message, out, nullptr); }

std::optional<std::string> WriteAndValidate(const Message& message, const SchemaValidator& validator,
                                            std::string& out) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    PieceValidation validation(validator);
    std::size_t handed = out.size();  // what `out` held before is not the document
    writeDocument(message, out, [&](std::string_view written) {
        if (written.size() - handed < kPiece) return;
        validation.feed(std::string(written.substr(handed)));
        handed = written.size();
    });
    validation.feed(out.substr(handed));
    return validation.finish();
}

}  // namespace doz::sepa
