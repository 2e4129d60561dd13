// The XML form of the data packets. Two variants: the plain one holds the
// 8-bit text as raw Windows-1252 bytes (so it is not UTF-8 as soon as a value
// has an accent), the other declares and holds UTF-8.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unordered_map>

#include <pugixml.hpp>

#include "platform/Ansi.h"
#include "platform/DataPacketCodec.h"

namespace doz::packet {

namespace {

// ---- text ------------------------------------------------------------------------------

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) return false;
        char32_t cp = c & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
        for (int k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += static_cast<std::size_t>(len);
    }
    return true;
}

// The parser's UTF-8 text to Windows-1252. Character references may have
// produced UTF-8 forms of lone surrogates (a character outside the BMP written
// as two references); a pair of them counts as one character. `narrowed`, when
// given, is set when a character had no Windows-1252 form.
std::string toAnsi(const char* s, bool* narrowed = nullptr) {
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    bool pendingHigh = false;
    while (*p) {
        const unsigned char c = *p;
        char32_t cp;
        if (c < 0x80) {
            cp = c;
            ++p;
        } else {
            int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
            cp = len == 1 ? 0xFFFD : c & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
            int k = 1;
            for (; k < len && (p[k] & 0xC0) == 0x80; ++k) cp = (cp << 6) | (p[k] & 0x3F);
            if (k < len) cp = 0xFFFD;
            p += k;
        }
        if (cp >= 0xDC00 && cp <= 0xDFFF && pendingHigh) {
            pendingHigh = false;
            continue;  // second half of a pair already written as '?'
        }
        pendingHigh = cp >= 0xD800 && cp <= 0xDBFF;
        if (!appendAnsi(out, cp) && narrowed) *narrowed = true;
    }
    return out;
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void appendBase64(std::string& out, BytesRef b) {
    std::size_t k = 0;
    for (; k + 3 <= b.size(); k += 3) {
        const unsigned v = (b[k] << 16) | (b[k + 1] << 8) | b[k + 2];
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    if (k < b.size()) {
        const unsigned v = (b[k] << 16) | (k + 1 < b.size() ? b[k + 1] << 8 : 0);
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += k + 1 < b.size() ? kBase64[(v >> 6) & 63] : '=';
        out += '=';
    }
}

bool decodeBase64(const char* s, Bytes& out) {
    out.clear();
    out.reserve(std::strlen(s) / 4 * 3);
    unsigned acc = 0;
    int bits = 0;
    int padding = 0;
    for (; *s; ++s) {
        const char c = *s;
        if (c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        if (padding) return false;  // data after the padding
        const char* at = std::strchr(kBase64, c);
        if (!at || c == '\0') return false;
        acc = (acc << 6) | static_cast<unsigned>(at - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((acc >> bits) & 0xFF));
        }
    }
    return padding <= 2 && bits < 6;
}

// ---- reading values -------------------------------------------------------------------

struct ValueParser {
    const std::string& file;
    std::size_t rowNo = 0;
    const FieldDef* f = nullptr;
    bool narrowed = false;  // the last text parsed had characters without a Windows-1252 form

    [[noreturn]] void bad(const char* text, const char* what) {
        std::string shown = toAnsi(text);
        if (shown.size() > 40) shown = shown.substr(0, 40) + "...";
        fail(file, "riga " + std::to_string(rowNo + 1) + ", colonna '" + f->name + "': " + what + " \"" + shown +
                       "\"");
    }

    template <class T>
    bool number(std::string_view t, T& v) {
        if (!t.empty() && t[0] == '+') t.remove_prefix(1);
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
        return ec == std::errc() && end == t.data() + t.size();
    }

    Value integer(const char* text, std::int64_t lo, std::int64_t hi) {
        std::int64_t v = 0;
        if (!number(std::string_view(text), v)) bad(text, "numero intero non valido");
        if (v < lo || v > hi) bad(text, "numero fuori intervallo");
        return Value(v);
    }

    double real(const char* text) {
        std::string_view t(text);
        if (t == "NAN") return std::numeric_limits<double>::quiet_NaN();
        if (t == "INF") return std::numeric_limits<double>::infinity();
        if (t == "-INF") return -std::numeric_limits<double>::infinity();
        double d = 0;
        if (!number(t, d)) bad(text, "numero non valido");
        return d;
    }

    // Dates: the first four digits are the year, then two for the month and
    // two for the day; other characters are skipped. No digits: null.
    bool date(std::string_view t, DaySerial& out, const char* text) {
        int digits[8];
        int n = 0;
        for (char c : t)
            if (c >= '0' && c <= '9' && n < 8) digits[n++] = c - '0';
        if (n == 0) return false;
        if (n < 8) bad(text, "data non valida");
        const int y = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
        const int m = digits[4] * 10 + digits[5];
        const int d = digits[6] * 10 + digits[7];
        if (!isValidCivilDate(y, m, d)) bad(text, "data non valida");
        out = encodeDate(y, m, d);
        return true;
    }

    // Times: "HH:MM:SSmmm", the last five digits being the milliseconds in the minute.
    TimeOfDay time(std::string_view t, const char* text) {
        auto digit = [&](std::size_t i) {
            if (i >= t.size() || t[i] < '0' || t[i] > '9') bad(text, "ora non valida");
            return t[i] - '0';
        };
        const int h = digit(0) * 10 + digit(1);
        const int m = digit(3) * 10 + digit(4);
        int msInMinute = 0;
        int count = 0;
        for (std::size_t i = 6; i < t.size() && count < 5 && t[i] >= '0' && t[i] <= '9'; ++i, ++count)
            msInMinute = msInMinute * 10 + (t[i] - '0');
        for (; count < 5; ++count) msInMinute *= 10;
        if (h > 23 || m > 59 || msInMinute >= 60000) bad(text, "ora non valida");
        return (h * 60 + m) * 60000 + msInMinute;
    }

    Value parse(const char* text) {
        switch (f->type) {
            case FieldType::String:
            case FieldType::Memo: return Value(toAnsi(text, &narrowed));
            case FieldType::Int8: return integer(text, -128, 127);
            case FieldType::Int16: return integer(text, -32768, 32767);
            case FieldType::Int32: return integer(text, INT32_MIN, INT32_MAX);
            case FieldType::Int64: return integer(text, INT64_MIN, INT64_MAX);
            case FieldType::UInt8: return integer(text, 0, 0xFF);
            case FieldType::UInt16: return integer(text, 0, 0xFFFF);
            case FieldType::UInt32: return integer(text, 0, 0xFFFFFFFFLL);
            case FieldType::UInt64: {
                std::uint64_t v = 0;
                if (!number(std::string_view(text), v)) bad(text, "numero intero non valido");
                if (v > static_cast<std::uint64_t>(INT64_MAX)) return Value(v);
                return Value(static_cast<std::int64_t>(v));
            }
            case FieldType::Boolean:
                if (text[0] == 'T' || text[0] == 't') return Value(true);
                if (text[0] == 'F' || text[0] == 'f') return Value(false);
                if (text[0] == '\0') return Value();
                bad(text, "valore logico non valido");
            case FieldType::Float: return Value(real(text));
            case FieldType::Currency: {
                Currency c;
                if (!currencyFromDouble(real(text), c)) bad(text, "importo fuori intervallo");
                return Value(c);
            }
            case FieldType::Bcd: {
                std::string canonical;
                if (!normaliseDecimal(text, f->scale, canonical)) bad(text, "numero decimale non valido");
                return Value(Decimal{std::move(canonical)});
            }
            case FieldType::Date: {
                DaySerial d;
                if (!date(text, d, text)) return Value();
                return Value(Date{d});
            }
            case FieldType::Time:
                if (text[0] == '\0') return Value();
                return Value(Time{time(text, text)});
            case FieldType::DateTime: {
                const std::string_view t(text);
                const std::size_t sep = t.find('T');
                DaySerial d;
                if (!date(t.substr(0, sep), d, text)) return Value();
                const TimeOfDay ms = sep == std::string_view::npos ? 0 : time(t.substr(sep + 1), text);
                return Value(DateTime{static_cast<DateTimeMs>(d) * kMsPerDay + ms});
            }
            case FieldType::Blob: {
                Bytes b;
                if (!decodeBase64(text, b)) bad(text, "dati Base64 non validi");
                return Value(std::move(b));
            }
        }
        bad(text, "tipo sconosciuto");
    }
};

// ---- field types ---------------------------------------------------------------------

struct XmlType {
    const char* name;
    std::uint32_t typeWord;
};

constexpr XmlType kXmlTypes[] = {
    {"i1", 0x00010001},      {"i2", 0x00010002},      {"i4", 0x00010004},       {"i8", 0x00010008},
    {"ui1", 0x00020001},     {"ui2", 0x00020002},     {"ui4", 0x00020004},      {"ui8", 0x00020008},
    {"i", 0x00010004},       {"int", 0x00010004},     {"uint", 0x00020004},     {"boolean", 0x00030002},
    {"r8", 0x00040008},      {"r10", 0x0004000A},     {"r4", 0x001B0004},       {"fixed", 0x00050012},
    {"fixedFMT", 0x00120012}, {"date", 0x00060004},   {"time", 0x00070004},     {"dateTime", 0x00080008},
    {"SQLdateTime", 0x00110010}, {"SQLdateTimeOffset", 0x00240014},
    {"string", 0x00490002},  {"string.uni", 0x004A0002},
};

const char* attr(const pugi::xml_node& n, const char* name) {
    const pugi::xml_attribute a = n.attribute(name);
    return a ? a.value() : nullptr;
}

int smallNumber(const char* text, const std::string& file, const char* what) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text, text + std::strlen(text), v);
    if (ec != std::errc() || *end != '\0' || v < 0 || v > 0xFFFF)
        fail(file, std::string("valore non valido di ") + what + " \"" + toAnsi(text) + "\"");
    return v;
}

// A table parameter written as text: typed by its name where the form fixes
// it, otherwise by the look of the value.
PacketParam paramFromText(std::string name, const char* value, const char* type, bool roundTrip,
                          const std::string& file) {
    std::string_view v(value);
    std::vector<std::int64_t> numbers;
    bool allNumbers = !v.empty();
    for (std::size_t i = 0; i < v.size() && allNumbers;) {
        while (i < v.size() && v[i] == ' ') ++i;
        if (i == v.size()) break;
        std::size_t j = i;
        while (j < v.size() && v[j] != ' ') ++j;
        std::int64_t x = 0;
        const auto [end, ec] = std::from_chars(v.data() + i, v.data() + j, x);
        allNumbers = ec == std::errc() && end == v.data() + j;
        numbers.push_back(x);
        i = j;
    }
    auto unsignedArray = [&](unsigned size) {
        PacketParam p{name, makeType(kUInt, size, kArray), {}};
        if (!allNumbers && !v.empty()) fail(file, "parametro " + name + " non numerico");
        appendLE(p.bytes, numbers.size(), 4);
        for (std::int64_t x : numbers) {
            if (x < 0 || (size == 2 && x > 0xFFFF) || x > 0xFFFFFFFFLL) fail(file, "parametro " + name + " fuori intervallo");
            appendLE(p.bytes, static_cast<std::uint64_t>(x), size);
        }
        return p;
    };
    auto scalar = [&](unsigned kind, unsigned size) {
        PacketParam p{name, makeType(kind, size), {}};
        std::int64_t x = 0;
        if (kind == kBool) {
            x = (v.starts_with("T") || v.starts_with("t")) ? 1 : 0;
        } else if (kind == kFloat) {
            double d = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
            if (ec != std::errc() || end != v.data() + v.size()) fail(file, "parametro " + name + " non numerico");
            appendLE(p.bytes, std::bit_cast<std::uint64_t>(d), 8);
            return p;
        } else {
            if (!allNumbers || numbers.size() != 1) fail(file, "parametro " + name + " non numerico");
            x = numbers[0];
        }
        appendLE(p.bytes, static_cast<std::uint64_t>(x), size);
        return p;
    };
    PacketParam p;
    const std::string_view t = type ? type : "";
    if (name == "CHANGE_LOG") p = unsignedArray(4);
    else if (name == "DEFAULT_ORDER" || name == "PRIMARY_KEY" || name == "UNIQUE_KEY") p = unsignedArray(2);
    else if (name == "LCID" || name == "AUTOINCVALUE") p = scalar(kInt, 4);
    else if (t == "IntArray" || t == "UIntArray") p = unsignedArray(4);
    else if (t == "boolean" || (!type && (v == "TRUE" || v == "FALSE"))) p = scalar(kBool, 2);
    else if (!t.empty() && t != "string") {
        bool found = false;
        for (const XmlType& x : kXmlTypes) {
            if (t == x.name && (kindOf(x.typeWord) == kInt || kindOf(x.typeWord) == kUInt ||
                                (kindOf(x.typeWord) == kFloat && sizeOf(x.typeWord) == 8))) {
                p = scalar(kindOf(x.typeWord), sizeOf(x.typeWord));
                found = true;
                break;
            }
        }
        if (!found) p = PacketParam::text(name, toAnsi(value));
    } else if (!type && allNumbers && numbers.size() == 1 && numbers[0] >= INT32_MIN && numbers[0] <= INT32_MAX) {
        p = scalar(kInt, 4);
    } else if (!type && allNumbers && numbers.size() > 1) {
        p = unsignedArray(4);
    } else {
        p = PacketParam::text(name, toAnsi(value));
    }
    p.name = std::move(name);
    if (roundTrip) p.typeWord |= kRoundTrip;
    return p;
}

}  // namespace

PacketContent readXmlPacket(std::string_view bytes, const std::string& fileName) {
    std::string_view body = bytes;
    const bool bom = body.starts_with("\xEF\xBB\xBF");
    if (bom) body.remove_prefix(3);
    bool utf8 = bom;
    if (!utf8 && body.starts_with("<?xml")) {
        const std::size_t end = body.find("?>");
        std::string decl(body.substr(0, end == std::string_view::npos ? std::min<std::size_t>(body.size(), 200) : end));
        for (char& ch : decl) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
        utf8 = decl.find("ENCODING=\"UTF-8\"") != std::string::npos || decl.find("ENCODING='UTF-8'") != std::string::npos;
    }
    // The declaration is trusted only when the whole file is UTF-8; otherwise the
    // bytes are Windows-1252 text and are handed to the parser as UTF-8.
    if (utf8 && !isValidUtf8(body)) utf8 = false;
    std::string text = utf8 ? std::string(body) : ansiToUtf8(body);

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer_inplace(text.data(), text.size(), pugi::parse_escapes, pugi::encoding_utf8);
    if (!parsed) fail(fileName, std::string("XML non valido (") + parsed.description() + ")");
    const pugi::xml_node packet = doc.child("DATAPACKET");
    if (!packet) fail(fileName, "manca l'elemento DATAPACKET");
    const pugi::xml_node metadata = packet.child("METADATA");
    const pugi::xml_node fields = metadata.child("FIELDS");
    if (!fields) fail(fileName, "mancano le definizioni delle colonne (METADATA/FIELDS)");

    RawTable raw;
    std::unordered_map<std::string_view, std::size_t> columnOf;
    for (const pugi::xml_node field : fields.children()) {
        if (field.type() != pugi::node_element) continue;
        if (std::strcmp(field.name(), "FIELD") != 0)
            fail(fileName, "elemento inatteso <" + toAnsi(field.name()) + "> tra le colonne");
        const char* attrname = attr(field, "attrname");
        if (!attrname) {
            if (attr(field, "tagname")) fail(fileName, "colonne con tagname non gestite");
            fail(fileName, "colonna senza attrname");
        }
        const char* fieldname = attr(field, "fieldname");
        std::string name = toAnsi(fieldname ? fieldname : attrname);
        const char* fieldtype = attr(field, "fieldtype");
        if (!fieldtype) fail(fileName, "la colonna '" + name + "' non ha fieldtype");
        ColumnDecl decl;
        if (const char* s = attr(field, "SUBTYPE")) decl.subtype = toAnsi(s);
        if (const char* s = attr(field, "WIDTH")) decl.width = smallNumber(s, fileName, "WIDTH");
        if (const char* s = attr(field, "DECIMALS")) decl.decimals = smallNumber(s, fileName, "DECIMALS");
        const std::string_view type(fieldtype);
        if (type == "bin.hex") {
            if (!decl.subtype.empty() || decl.width <= 0) decl.typeWord = makeType(kBytes, 4, kVarying);
            else decl.typeWord = makeType(kBytes, static_cast<unsigned>(decl.width));
        } else if (type == "nested") {
            fail(fileName, "la colonna '" + name + "' \xE8 una tabella annidata, non gestita");
        } else {
            for (const XmlType& x : kXmlTypes)
                if (type == x.name) decl.typeWord = x.typeWord;
            if (decl.typeWord == 0)
                fail(fileName, "la colonna '" + name + "' ha un tipo non gestito \"" + toAnsi(fieldtype) + "\"");
        }
        auto flag = [&](const char* a) {
            const char* v = attr(field, a);
            return v && (v[0] == 't' || v[0] == 'T');
        };
        FieldDef f = fieldFromDecl(std::move(name), decl, flag("readonly"), flag("required"), fileName);
        if (f.type == FieldType::Blob && decl.subtype.empty()) f.size = std::max(decl.width, 0);
        if (!columnOf.emplace(std::string_view(attrname), raw.fields.size()).second)
            fail(fileName, "la colonna '" + f.name + "' \xE8 dichiarata due volte");
        raw.fields.push_back(std::move(f));
    }
    if (const pugi::xml_node params = metadata.child("PARAMS")) {
        for (const pugi::xml_attribute a : params.attributes())
            raw.params.push_back(paramFromText(toAnsi(a.name()), a.value(), nullptr, false, fileName));
        for (const pugi::xml_node p : params.children("PARAM")) {
            const char* name = attr(p, "Name");
            if (!name) continue;
            const char* rt = attr(p, "Roundtrip");
            raw.params.push_back(paramFromText(toAnsi(name), p.attribute("Value").value(), attr(p, "Type"),
                                               rt && (rt[0] == 'T' || rt[0] == 't'), fileName));
        }
    }

    const std::size_t n = raw.fields.size();
    ValueParser parser{fileName};
    std::vector<char> present(n);
    // A row of nulls costs six bytes of XML whatever the number of columns: cap
    // the cells so that a small file cannot ask for gigabytes.
    const std::size_t maxCells = 2 * bytes.size() + 250'000;
    for (const pugi::xml_node row : packet.child("ROWDATA").children()) {
        if (row.type() != pugi::node_element) continue;
        if (std::strcmp(row.name(), "ROW") != 0)
            fail(fileName, "elemento inatteso <" + toAnsi(row.name()) + "> tra le righe");
        if ((raw.records.size() + 1) * n > maxCells) fail(fileName, "troppe righe per la dimensione del file");
        parser.rowNo = raw.records.size();
        Row& values = raw.records.emplace_back(n);
        std::uint8_t state = 0;
        std::fill(present.begin(), present.end(), 0);
        for (const pugi::xml_attribute a : row.attributes()) {
            if (std::strcmp(a.name(), "RowState") == 0) {
                unsigned s = 0;
                const char* v = a.value();
                const auto [end, ec] = std::from_chars(v, v + std::strlen(v), s);
                if (ec != std::errc() || *end != '\0' || s > 255)
                    fail(fileName, "riga " + std::to_string(parser.rowNo + 1) + ": RowState non valido");
                state = static_cast<std::uint8_t>(s);
                continue;
            }
            const auto it = columnOf.find(std::string_view(a.name()));
            if (it == columnOf.end()) continue;
            parser.f = &raw.fields[it->second];
            values[it->second] = parser.parse(a.value());
            if (parser.narrowed) {
                raw.narrowed.emplace_back(it->second, std::string(values[it->second].text()));
                parser.narrowed = false;
            }
            present[it->second] = 1;
        }
        raw.states.push_back(state);
        // An absent blob or memo of a modified row means "same as before".
        if (state & kStateModified)
            for (std::size_t k = 0; k < n; ++k)
                if (!present[k] && (raw.fields[k].type == FieldType::Memo || raw.fields[k].type == FieldType::Blob))
                    raw.unchanged.emplace_back(static_cast<std::uint32_t>(raw.records.size() - 1),
                                               static_cast<std::uint32_t>(k));
    }
    return currentRows(std::move(raw), fileName);
}

// ---- writer ---------------------------------------------------------------------------

namespace {

const char* const kParamAttributes[] = {"UNIQUE_KEY", "PRIMARY_KEY", "DEFAULT_ORDER", "CHANGE_LOG", "SERVER_COL",
                                        "DATASET_DELTA", "READONLY", "SUBTYPE", "DECIMALS", "WIDTH", "LCID",
                                        "AUTOINCVALUE", "TABLENAME", "TYPENAME", "UPDATEMODE", "MD_SEMANTICS",
                                        "CALCULATED", "DELTA", "MINVALUE", "MAXVALUE", "DEFVALUE"};

struct XmlOut {
    std::string& out;
    bool utf8;

    // Windows-1252 text as an attribute value.
    void text(std::string_view s) {
        for (char ch : s) {
            const auto c = static_cast<unsigned char>(ch);
            switch (c) {
                case '<': out += "&lt;"; break;
                case '>': out += "&gt;"; break;
                case '&': out += "&amp;"; break;
                case '"': out += "&quot;"; break;
                case '\'': out += "&apos;"; break;
                case '\r': out += "&#013;"; break;
                case '\n': out += "&#010;"; break;
                case '\t': out += "&#009;"; break;
                case '\\': out += "&#092;"; break;
                case 0:
                    // No XML form holds it: refused rather than written as a file no reader takes.
                    throw DataError("Carattere nullo in un testo: non rappresentabile in XML");
                default:
                    if (c < 0x20) {
                        // Other control characters only as references, never raw.
                        char buf[8];
                        std::snprintf(buf, sizeof buf, "&#%03u;", static_cast<unsigned>(c));
                        out += buf;
                    } else if (c >= 0x80 && utf8) {
                        out += ansiToUtf8(std::string_view(&ch, 1));
                    } else {
                        out += ch;
                    }
            }
        }
    }
    // Text of a wide column: ASCII, other characters as decimal references.
    void wideText(std::string_view s) {
        char buf[16];
        for (char16_t u : ansiToUtf16(s)) {
            if (u >= 0x80) {
                std::snprintf(buf, sizeof buf, "&#%03u;", static_cast<unsigned>(u));
                out += buf;
            } else {
                const char ch = static_cast<char>(u);
                text(std::string_view(&ch, 1));
            }
        }
    }
    void attribute(std::string_view name, std::string_view value) {
        out += ' ';
        out += name;
        out += "=\"";
        text(value);
        out += '"';
    }
};

// XML attribute name of a column: characters that cannot be part of one are
// replaced by '_' and the real name then goes into fieldname.
std::string attributeName(const std::string& name) {
    std::string a = name;
    for (char& ch : a) {
        const auto c = static_cast<unsigned char>(ch);
        const bool ok = c >= 0x80 || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        c == '_' || c == '.' || c == '-' || c == ':';
        if (!ok) ch = '_';
    }
    if (a.empty()) throw DataError("Nome di colonna vuoto");
    if ((a[0] >= '0' && a[0] <= '9') || a[0] == '-' || a[0] == '.') a[0] = '_';
    return a;
}

const char* xmlTypeName(const FieldDef& f) {
    switch (f.type) {
        case FieldType::String: return f.wide ? "string.uni" : "string";
        case FieldType::Int8: return "i1";
        case FieldType::Int16: return "i2";
        case FieldType::Int32: return "i4";
        case FieldType::Int64: return "i8";
        case FieldType::UInt8: return "ui1";
        case FieldType::UInt16: return "ui2";
        case FieldType::UInt32: return "ui4";
        case FieldType::UInt64: return "ui8";
        case FieldType::Boolean: return "boolean";
        case FieldType::Float:
        case FieldType::Currency: return "r8";
        case FieldType::Bcd: return "fixed";
        case FieldType::Date: return "date";
        case FieldType::Time: return "time";
        case FieldType::DateTime: return "dateTime";
        case FieldType::Memo:
        case FieldType::Blob: return "bin.hex";
    }
    return "string";
}

// Text of a parameter; false for kinds the XML form cannot carry.
bool paramValueText(const PacketParam& p, std::string& out) {
    const unsigned kind = kindOf(p.typeWord);
    out.clear();
    if (kind == kString && (p.typeWord & kVarying) && !(p.typeWord & kArray)) {
        const unsigned width = sizeOf(p.typeWord);
        if (p.bytes.size() < width) return false;
        out = p.bytes.substr(width);
        if (const std::size_t nul = out.find('\0'); nul != std::string::npos) out.resize(nul);
        return true;
    }
    if (kind == kFloat && sizeOf(p.typeWord) == 8 && !(p.typeWord & (kArray | kVarying)) && p.bytes.size() == 8) {
        out = formatDouble16(std::bit_cast<double>(loadLE(reinterpret_cast<const unsigned char*>(p.bytes.data()), 8)));
        return true;
    }
    std::vector<std::int64_t> numbers;
    try {
        numbers = p.numbers();
    } catch (const DataError&) {
        return false;
    }
    if (kind == kBool && !(p.typeWord & kArray)) {
        out = numbers[0] ? "TRUE" : "FALSE";
        return true;
    }
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        if (k) out += ' ';
        out += kind == kUInt ? std::to_string(static_cast<std::uint64_t>(numbers[k])) : std::to_string(numbers[k]);
    }
    return true;
}

const char* paramTypeName(const PacketParam& p) {
    const unsigned kind = kindOf(p.typeWord);
    const unsigned size = sizeOf(p.typeWord);
    if (p.typeWord & kArray) return kind == kInt ? "IntArray" : "UIntArray";
    if (kind == kBool) return "boolean";
    if (kind == kFloat) return "r8";
    if (kind == kInt || kind == kUInt)
        for (const XmlType& x : kXmlTypes)
            if (kindOf(x.typeWord) == kind && sizeOf(x.typeWord) == size) return x.name;
    return nullptr;
}

struct RowWriter {
    XmlOut& x;
    const FieldDef* f = nullptr;
    std::size_t rowNo = 0;
    char buf[64] = {};

    [[noreturn]] void bad(const std::string& what) {
        throw DataError("Impossibile scrivere il campo '" + f->name + "' della riga " + std::to_string(rowNo + 1) +
                        ": " + what);
    }
    template <class T>
    auto as(const Value& v) {
        if (!v.is<T>()) bad("valore di tipo errato");
        return v.get<T>();
    }
    void integer(const Value& v, std::int64_t lo, std::int64_t hi) {
        const std::int64_t n = as<std::int64_t>(v);
        if (n < lo || n > hi) bad("valore fuori intervallo");
        x.out += std::to_string(n);
    }
    void date(DaySerial serial) {
        const CivilDate c = decodeDate(serial);
        if (c.year < 1 || c.year > 9999) bad("data fuori intervallo");
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", c.year, c.month, c.day);
        x.out += buf;
    }
    void time(TimeOfDay ms) {
        if (ms < 0 || ms >= kMsPerDay) bad("ora fuori intervallo");
        std::snprintf(buf, sizeof buf, "%02d:%02d:%05d", ms / 3600000, ms / 60000 % 60, ms % 60000);
        x.out += buf;
    }

    void value(const Value& v) {
        switch (f->type) {
            case FieldType::String: {
                const std::string_view s = as<std::string>(v);
                if (f->size > 0 && s.size() > static_cast<std::size_t>(f->size)) bad("testo pi\xF9 lungo del campo");
                if (f->wide) x.wideText(s);
                else x.text(s);
                break;
            }
            case FieldType::Memo:
                if (f->subtype == "WideText") x.wideText(as<std::string>(v));
                else x.text(as<std::string>(v));
                break;
            case FieldType::Int8: integer(v, -128, 127); break;
            case FieldType::Int16: integer(v, -32768, 32767); break;
            case FieldType::Int32: integer(v, INT32_MIN, INT32_MAX); break;
            case FieldType::Int64: integer(v, INT64_MIN, INT64_MAX); break;
            case FieldType::UInt8: integer(v, 0, 0xFF); break;
            case FieldType::UInt16: integer(v, 0, 0xFFFF); break;
            case FieldType::UInt32: integer(v, 0, 0xFFFFFFFFLL); break;
            case FieldType::UInt64:
                if (v.is<std::uint64_t>()) x.out += std::to_string(v.get<std::uint64_t>());
                else integer(v, 0, INT64_MAX);
                break;
            case FieldType::Boolean: x.out += as<bool>(v) ? "TRUE" : "FALSE"; break;
            case FieldType::Float: x.out += formatDouble16(as<double>(v)); break;
            case FieldType::Currency: x.out += formatDouble16(currencyToDouble(as<Currency>(v))); break;
            case FieldType::Bcd: {
                std::string canonical;
                if (!normaliseDecimal(as<Decimal>(v).text, f->scale, canonical)) bad("numero decimale non valido");
                x.out += canonical;
                break;
            }
            case FieldType::Date: date(as<Date>(v).serial); break;
            case FieldType::Time: time(as<Time>(v).ms); break;
            case FieldType::DateTime: {
                const DateTimeMs ms = as<DateTime>(v).ms;
                date(datePart(ms));
                if (timePart(ms) != 0) {
                    x.out += 'T';
                    time(timePart(ms));
                }
                break;
            }
            case FieldType::Blob: appendBase64(x.out, as<Bytes>(v)); break;
        }
    }
};

}  // namespace

std::string writeXmlPacket(const PacketContent& content, bool utf8) {
    std::string out;
    out.reserve(256 + content.fields.size() * 64 + content.rows.size() * content.fields.size() * 16);
    XmlOut x{out, utf8};
    out += utf8 ? "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  "
                : "<?xml version=\"1.0\" standalone=\"yes\"?>  ";
    out += "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
    std::vector<std::string> attrNames;
    for (const FieldDef& f : content.fields) {
        const ColumnDecl s = columnDecl(f);
        std::string a = attributeName(f.name);
        out += "<FIELD";
        if (a != f.name) x.attribute("fieldname", f.name);
        x.attribute("attrname", a);
        x.attribute("fieldtype", xmlTypeName(f));
        if (f.readOnly) out += " readonly=\"true\"";
        if (f.required) out += " required=\"true\"";
        if (!s.subtype.empty()) x.attribute("SUBTYPE", s.subtype);
        if (s.decimals >= 0) x.attribute("DECIMALS", std::to_string(s.decimals));
        if (s.width >= 0) x.attribute("WIDTH", std::to_string(s.width));
        out += "/>";
        if (utf8) a = ansiToUtf8(a);
        for (const std::string& other : attrNames)
            if (other == a) throw DataError("Due colonne hanno lo stesso nome XML '" + f.name + "'");
        attrNames.push_back(std::move(a));
    }
    out += "</FIELDS><PARAMS";
    std::string children;
    std::string value;
    for (const PacketParam& p : content.params) {
        if (p.name == "CHANGE_LOG" || !paramValueText(p, value)) continue;
        bool asAttribute = !(p.typeWord & kRoundTrip);
        if (asAttribute) {
            asAttribute = false;
            for (const char* name : kParamAttributes) asAttribute = asAttribute || p.name == name;
        }
        if (asAttribute) {
            x.attribute(p.name, value);
            continue;
        }
        XmlOut c{children, utf8};
        children += "<PARAM";
        c.attribute("Name", p.name);
        c.attribute("Value", value);
        if (const char* t = paramTypeName(p)) c.attribute("Type", t);
        if (p.typeWord & kRoundTrip) children += " Roundtrip=\"True\"";
        children += "/>";
    }
    if (children.empty()) {
        out += "/>";
    } else {
        out += '>';
        out += children;
        out += "</PARAMS>";
    }
    out += "</METADATA><ROWDATA>";
    RowWriter w{x};
    for (std::size_t r = 0; r < content.rows.size(); ++r) {
        const Row& row = content.rows[r];
        w.rowNo = r;
        if (row.size() != content.fields.size())
            throw DataError("La riga " + std::to_string(r + 1) + " ha " + std::to_string(row.size()) +
                            " valori invece di " + std::to_string(content.fields.size()));
        out += "<ROW";
        for (std::size_t k = 0; k < row.size(); ++k) {
            if (row[k].isNull()) continue;
            w.f = &content.fields[k];
            out += ' ';
            out += attrNames[k];
            out += "=\"";
            w.value(row[k]);
            out += '"';
        }
        out += "/>";
    }
    out += "</ROWDATA></DATAPACKET>";
    return out;
}

}  // namespace doz::packet
