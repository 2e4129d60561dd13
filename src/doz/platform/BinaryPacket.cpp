// The binary form of the data packets: a 24-byte header, the metadata (column
// descriptors and table parameters) and the records, all little-endian.
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/Ansi.h"
#include "platform/DataPacketCodec.h"

namespace doz::packet {

namespace {

constexpr std::uint32_t kMagic = 0xBDE01996;
constexpr std::size_t kHeaderSize = 24;
constexpr std::uint32_t kPropMetadata = 1;
constexpr std::uint32_t kPropDataOffset = 2;
constexpr std::uint32_t kPropXmlBody = 0x8000;
constexpr std::uint32_t kBlobNotFetched = 0x80000000;
// Day numbers of 0001-01-01 and 9999-12-31.
constexpr std::int64_t kFirstDay = 1;
constexpr std::int64_t kLastDay = 3652059;

// How the values of one column are stored in a record.
enum class Enc : std::uint8_t {
    Int,
    UInt,
    Bool,
    F64,
    F80,
    F32,
    Money,
    Bcd,
    Date,
    Time,
    DateTime,
    SqlTimeStamp,
    Str,
    WideStr,
    Memo,
    WideMemo,
    Blob,
    FixedBytes,
};

struct ColumnCodec {
    Enc enc;
    unsigned size;  // value bytes, or the width of the length prefix
    int scale;      // BCD: the field's decimals
};

ColumnCodec codecFor(const FieldDef& f, std::uint32_t typeWord) {
    const unsigned kind = kindOf(typeWord);
    const unsigned size = sizeOf(typeWord);
    switch (kind) {
        case kInt: return {Enc::Int, size, 0};
        case kUInt: return {Enc::UInt, size, 0};
        case kBool: return {Enc::Bool, size, 0};
        case kFloat:
            if (size == 10) return {Enc::F80, 10, 0};
            return {f.type == FieldType::Currency ? Enc::Money : Enc::F64, 8, 0};
        case kSingle: return {Enc::F32, 4, 0};
        case kBcd:
        case kFmtBcd: return {Enc::Bcd, 18, f.scale};
        case kDate: return {Enc::Date, 4, 0};
        case kTime: return {Enc::Time, 4, 0};
        case kDateTime: return {Enc::DateTime, 8, 0};
        case kSqlTimeStamp:
        case kSqlTimeStampOffset: return {Enc::SqlTimeStamp, size, 0};
        case kString: return {Enc::Str, size, 0};
        case kWideString: return {Enc::WideStr, size, 0};
        default:  // kBytes, the only other kind fieldFromDecl lets through
            if (!(typeWord & kVarying)) return {Enc::FixedBytes, size, 0};
            if (f.type == FieldType::Memo) return {f.subtype == "WideText" ? Enc::WideMemo : Enc::Memo, size, 0};
            return {Enc::Blob, size, 0};
    }
}

std::string shortName(Cursor& c, const char* what) {
    const std::uint8_t n = c.u8(what);
    const unsigned char* p = c.take(n, what);
    return std::string(reinterpret_cast<const char*>(p), n);
}

// Skips one value of a parameter, checking every length against the data.
void skipParamValue(Cursor& c, std::uint32_t typeWord) {
    const unsigned size = sizeOf(typeWord);
    auto scalar = [&]() {
        if (typeWord & kVarying) c.take(c.prefix(size, "parametro"), "parametro");
        else c.take(size, "parametro");
    };
    if (!(typeWord & kArray)) {
        scalar();
        return;
    }
    const std::uint32_t count = c.u32("parametro");
    if (count == 0) return;
    if (!(typeWord & kVarying)) {
        if (size == 0) fail(c.name(), "parametro vettoriale con elementi di dimensione zero");
        c.take(static_cast<std::size_t>(count) * size, "parametro");
        return;
    }
    if (count > c.remaining()) fail(c.name(), "file troncato (parametro)");
    for (std::uint32_t k = 0; k < count; ++k) scalar();
}

PacketParam readParam(Cursor& c, std::string_view data) {
    PacketParam p;
    p.name = shortName(c, "nome di parametro");
    p.typeWord = c.u32("tipo di parametro");
    const std::size_t start = c.pos();
    skipParamValue(c, p.typeWord);
    p.bytes.assign(data.substr(start, c.pos() - start));
    return p;
}

// The text of a string parameter, without its trailing NUL.
std::string paramText(const PacketParam& p) {
    if (kindOf(p.typeWord) != kString || !(p.typeWord & kVarying) || (p.typeWord & kArray)) return {};
    const unsigned width = sizeOf(p.typeWord);
    if (p.bytes.size() < width) return {};
    std::string t = p.bytes.substr(width);
    if (const std::size_t nul = t.find('\0'); nul != std::string::npos) t.resize(nul);
    return t;
}

int paramNumber(const PacketParam& p, const std::string& fileName) {
    try {
        const std::vector<std::int64_t> v = p.numbers();
        if (v.size() != 1 || v[0] < 0 || v[0] > 0xFFFF) fail(fileName, "valore non valido del parametro " + p.name);
        return static_cast<int>(v[0]);
    } catch (const DataError& e) {
        if (std::string_view(e.what()).starts_with("File dati")) throw;
        fail(fileName, e.what());
    }
}

double extendedToDouble(const unsigned char* p) {
    const std::uint64_t mantissa = loadLE(p, 8);
    const unsigned exponent = static_cast<unsigned>(loadLE(p + 8, 2)) & 0x7FFF;
    const bool negative = (p[9] & 0x80) != 0;
    double v;
    if (exponent == 0x7FFF) {
        v = (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    } else {
        v = std::ldexp(static_cast<double>(mantissa), static_cast<int>(exponent) - 16383 - 63);
    }
    return negative ? -v : v;
}

std::string fromUtf16Le(const unsigned char* p, std::size_t bytes, bool& narrowed) {
    std::u16string u;
    u.reserve(bytes / 2);
    for (std::size_t k = 0; k + 1 < bytes; k += 2) {
        const char16_t ch = static_cast<char16_t>(p[k] | (p[k + 1] << 8));
        if (ch == 0) break;
        u += ch;
    }
    return utf16ToAnsi(u, &narrowed);
}

// The longer texts of one column met lately, by a hash of their bytes: a text
// read again (the payee's bank, the town, the payment mode) shares the block of
// its first reading instead of taking one of its own. A slot holds the last
// text that hashed to it; a miss only costs the block the text would have had.
class RecentTexts {
public:
    Value share(std::string_view text) {
        if (text.size() <= Value::kInlineBytes) return Value(text);
        if (slots_.empty()) slots_.resize(kSlots);
        Value& slot = slots_[hash(text) & (kSlots - 1)];
        if (!slot.is<std::string>() || slot.text() != text) slot = Value(text);
        return slot;
    }

private:
    static constexpr std::size_t kSlots = 1024;
    // Length, first and last eight bytes (the text has more than eight).
    static std::size_t hash(std::string_view t) {
        std::uint64_t head, tail;
        std::memcpy(&head, t.data(), 8);
        std::memcpy(&tail, t.data() + t.size() - 8, 8);
        std::uint64_t h = (head ^ (tail * 0x9E3779B97F4A7C15ull) ^ t.size()) * 0xD6E8FEB86659FD93ull;
        return static_cast<std::size_t>(h >> 32);
    }
    std::vector<Value> slots_;
};

struct Reader {
    Cursor& c;
    const std::string& file;
    std::size_t recordNo = 0;
    // The table's columns and the list of its texts narrowed to Windows-1252:
    // a wide text read notes itself there, by column.
    const std::vector<FieldDef>& fields;
    std::vector<std::pair<std::size_t, std::string>>& narrowed;
    std::vector<RecentTexts>& recent;  // by column
    std::string scratch;

    [[noreturn]] void bad(const FieldDef& f, const std::string& what) {
        fail(file, "record " + std::to_string(recordNo + 1) + ", colonna '" + f.name + "': " + what);
    }

    // A narrow text column's value, up to its first NUL.
    std::string_view text(const ColumnCodec& k) {
        const std::uint32_t len = c.prefix(k.size, "lunghezza del testo");
        const char* p = reinterpret_cast<const char*>(c.take(len, "testo"));
        return std::string_view(p, strnlen(p, len));
    }

    Value wideText(const FieldDef& f, const unsigned char* p, std::size_t bytes) {
        const auto column = static_cast<std::size_t>(&f - fields.data());
        // Most texts hold only characters whose Windows-1252 byte is their
        // UTF-16 code (ASCII and U+00A0 - U+00FF): those are copied as they are.
        scratch.clear();
        bool plain = true;
        for (std::size_t k = 0; k + 1 < bytes; k += 2) {
            const unsigned ch = p[k] | (p[k + 1] << 8);
            if (ch == 0) break;
            if (ch >= 0x100 || (ch >= 0x80 && ch < 0xA0)) {
                plain = false;
                break;
            }
            scratch += static_cast<char>(ch);
        }
        if (plain) return recent[column].share(scratch);
        bool lossy = false;
        std::string text = fromUtf16Le(p, bytes, lossy);
        if (lossy) narrowed.emplace_back(column, text);
        return Value(std::move(text));
    }

    Value read(const FieldDef& f, const ColumnCodec& k) {
        switch (k.enc) {
            case Enc::Int: {
                std::uint64_t v = loadLE(c.take(k.size, "valore"), k.size);
                if (k.size < 8 && (v >> (8 * k.size - 1)) & 1) v |= ~std::uint64_t{0} << (8 * k.size);
                return Value(static_cast<std::int64_t>(v));
            }
            case Enc::UInt: {
                const std::uint64_t v = loadLE(c.take(k.size, "valore"), k.size);
                if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return Value(v);
                return Value(static_cast<std::int64_t>(v));
            }
            case Enc::Bool: return Value(loadLE(c.take(k.size, "valore"), k.size) != 0);
            case Enc::F64: return Value(std::bit_cast<double>(loadLE(c.take(8, "valore"), 8)));
            case Enc::F80: return Value(extendedToDouble(c.take(10, "valore")));
            case Enc::F32:
                return Value(static_cast<double>(
                    std::bit_cast<float>(static_cast<std::uint32_t>(loadLE(c.take(4, "valore"), 4)))));
            case Enc::Money: {
                const double d = std::bit_cast<double>(loadLE(c.take(8, "valore"), 8));
                Currency cur;
                if (!currencyFromDouble(d, cur)) bad(f, "importo fuori intervallo");
                return Value(cur);
            }
            case Enc::Bcd: {
                std::string text;
                bool blank = false;
                if (!decodeBcd(c.take(18, "valore"), k.scale, text, blank)) bad(f, "valore BCD non valido");
                if (blank) return Value();
                return Value(Decimal{std::move(text)});
            }
            case Enc::Date: {
                const auto days = static_cast<std::int32_t>(loadLE(c.take(4, "valore"), 4));
                if (days < kFirstDay || days > kLastDay) bad(f, "data fuori intervallo");
                return Value(Date{static_cast<DaySerial>(days - kDayNumberOfSerialZero)});
            }
            case Enc::Time: {
                const auto ms = static_cast<std::int32_t>(loadLE(c.take(4, "valore"), 4));
                if (ms < 0 || ms >= kMsPerDay) bad(f, "ora fuori intervallo");
                return Value(Time{ms});
            }
            case Enc::DateTime: {
                const double d = std::bit_cast<double>(loadLE(c.take(8, "valore"), 8));
                if (!(d >= static_cast<double>(kFirstDay * kMsPerDay) && d < static_cast<double>((kLastDay + 1) * kMsPerDay)))
                    bad(f, "data e ora fuori intervallo");
                return Value(DateTime{static_cast<DateTimeMs>(std::llround(d)) - kDayNumberOfSerialZero * kMsPerDay});
            }
            case Enc::SqlTimeStamp: {
                const unsigned char* p = c.take(k.size, "valore");
                const auto year = static_cast<std::int16_t>(loadLE(p, 2));
                const auto month = static_cast<int>(loadLE(p + 2, 2));
                const auto day = static_cast<int>(loadLE(p + 4, 2));
                const auto hour = static_cast<std::int64_t>(loadLE(p + 6, 2));
                const auto minute = static_cast<std::int64_t>(loadLE(p + 8, 2));
                const auto second = static_cast<std::int64_t>(loadLE(p + 10, 2));
                const auto ms = static_cast<std::int64_t>(loadLE(p + 12, 4));
                if (year == 0 && month == 0 && day == 0) return Value();
                if (!isValidCivilDate(year, month, day) || hour > 23 || minute > 59 || second > 59 || ms > 999)
                    bad(f, "data e ora non valida");
                const DateTimeMs v = static_cast<DateTimeMs>(encodeDate(year, month, day)) * kMsPerDay +
                                     ((hour * 60 + minute) * 60 + second) * 1000 + ms;
                return Value(DateTime{v});
            }
            case Enc::Str: return Value(text(k));
            case Enc::WideStr: {
                const std::uint32_t len = c.prefix(k.size, "lunghezza del testo");
                return wideText(f, c.take(len, "testo"), len);
            }
            case Enc::Memo:
            case Enc::WideMemo:
            case Enc::Blob: {
                const std::uint32_t len = c.prefix(k.size, "lunghezza del blob");
                if (k.size == 4 && (len & kBlobNotFetched)) return Value();
                const unsigned char* p = c.take(len, "blob");
                if (k.enc == Enc::Memo) return Value(std::string_view(reinterpret_cast<const char*>(p), len));
                if (k.enc == Enc::WideMemo) return wideText(f, p, len);
                return Value(BytesRef(p, len));
            }
            case Enc::FixedBytes: {
                const unsigned char* p = c.take(k.size, "valore");
                return Value(BytesRef(p, k.size));
            }
        }
        bad(f, "tipo sconosciuto");
    }
};

}  // namespace

PacketContent readBinaryPacket(std::string_view data, const std::string& fileName) {
    Cursor c(data, fileName);
    if (data.size() < kHeaderSize) fail(fileName, "file troncato (intestazione)");
    if (c.u32("intestazione") != kMagic) fail(fileName, "firma del pacchetto errata");
    const std::uint16_t major = c.u16("intestazione");
    c.u16("intestazione");  // minor version
    if (major < 1 || major > 3) fail(fileName, "versione " + std::to_string(major) + " non gestita");
    const std::uint32_t headerSize = c.u32("intestazione");
    const std::uint16_t columnCount = c.u16("intestazione");
    const std::uint32_t recordCount = c.u32("intestazione");
    const std::uint32_t properties = c.u32("intestazione");
    const std::uint16_t dataOffset = c.u16("intestazione");
    if (headerSize < kHeaderSize || headerSize > data.size())
        fail(fileName, "dimensione dell'intestazione non valida");
    if (properties & kPropXmlBody) fail(fileName, "contenuto XML incapsulato non gestito");
    if (!(properties & kPropMetadata)) fail(fileName, "mancano le definizioni delle colonne");
    c.take(headerSize - c.pos(), "intestazione");

    // Column descriptors (at least 9 bytes each).
    RawTable raw;
    if (columnCount > c.remaining() / 9) fail(fileName, "file troncato (colonne)");
    raw.fields.reserve(columnCount);
    std::vector<ColumnCodec> codecs;
    codecs.reserve(columnCount);
    for (unsigned k = 0; k < columnCount; ++k) {
        std::string name = shortName(c, "nome di colonna");
        ColumnDecl decl;
        decl.typeWord = c.u32("tipo di colonna");
        const std::uint16_t flags = c.u16("attributi di colonna");
        const std::uint16_t paramCount = c.u16("parametri di colonna");
        for (unsigned i = 0; i < paramCount; ++i) {
            const PacketParam p = readParam(c, data);
            if (p.name == "SUBTYPE") decl.subtype = paramText(p);
            else if (p.name == "WIDTH") decl.width = paramNumber(p, fileName);
            else if (p.name == "DECIMALS") decl.decimals = paramNumber(p, fileName);
        }
        if (kindOf(decl.typeWord) == kNested || (decl.typeWord & kPseudo))
            fail(fileName, "la colonna '" + name + "' \xE8 una tabella annidata, non gestita");
        FieldDef f = fieldFromDecl(std::move(name), decl, (flags & 2) != 0, (flags & 4) != 0, fileName);
        codecs.push_back(codecFor(f, decl.typeWord));
        raw.fields.push_back(std::move(f));
    }
    const std::uint16_t tableParamCount = c.u16("parametri della tabella");
    for (unsigned i = 0; i < tableParamCount; ++i) raw.params.push_back(readParam(c, data));
    if ((properties & kPropDataOffset) && dataOffset != 0 && dataOffset != c.pos())
        fail(fileName, "la posizione dei dati non corrisponde all'intestazione");

    // Records.
    const std::size_t n = raw.fields.size();
    const std::size_t statusBytes = (n + 3) / 4;
    if (recordCount > c.remaining() / (1 + statusBytes)) fail(fileName, "file troncato (record)");
    raw.records.reserve(recordCount);
    raw.states.reserve(recordCount);
    // A longer text met before in its column shares its bytes: the ordering
    // party, the payment mode and the like repeat on every row.
    std::vector<RecentTexts> recent(n);
    Reader reader{c, fileName, 0, raw.fields, raw.narrowed, recent, {}};
    for (std::uint32_t r = 0; r < recordCount; ++r) {
        reader.recordNo = r;
        raw.states.push_back(c.u8("stato del record"));
        const unsigned char* status = c.take(statusBytes, "stato del record");
        // Each value is built in its place, once.
        Row& row = raw.records.emplace_back();
        row.reserve(n);
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned bits = (status[k / 4] >> (2 * (k % 4))) & 3;
            if (bits == 0) {
                if (codecs[k].enc == Enc::Str) row.push_back(recent[k].share(reader.text(codecs[k])));
                else row.push_back(reader.read(raw.fields[k], codecs[k]));
                continue;
            }
            if (bits & 2) raw.unchanged.emplace_back(r, static_cast<std::uint32_t>(k));
            row.emplace_back();
        }
    }
    if (c.remaining() != 0)
        fail(fileName, std::to_string(c.remaining()) + " byte in eccesso dopo l'ultimo record");
    return currentRows(std::move(raw), fileName);
}

// ---- writer -------------------------------------------------------------------------

namespace {

void appendShortName(std::string& out, const std::string& name, const char* what) {
    if (name.size() > 255) throw DataError(std::string("Nome troppo lungo per un pacchetto dati (") + what + " '" +
                                           name.substr(0, 40) + "...')");
    out += static_cast<char>(name.size());
    out += name;
}

void appendParam(std::string& out, const PacketParam& p) {
    // The stored bytes must hold exactly one value of the type word.
    Cursor check(p.bytes, p.name);
    try {
        skipParamValue(check, p.typeWord);
    } catch (const DataError&) {
        throw DataError("Parametro '" + p.name + "' codificato in modo errato");
    }
    if (check.remaining() != 0) throw DataError("Parametro '" + p.name + "' codificato in modo errato");
    appendShortName(out, p.name, "parametro");
    appendLE(out, p.typeWord, 4);
    out += p.bytes;
}

PacketParam u16Param(const char* name, int v) {
    PacketParam p{name, makeType(kUInt, 2), {}};
    appendLE(p.bytes, static_cast<std::uint16_t>(v), 2);
    return p;
}

struct Writer {
    std::string& out;
    const FieldDef* f = nullptr;
    std::size_t rowNo = 0;

    [[noreturn]] void bad(const std::string& what) {
        throw DataError("Impossibile scrivere il campo '" + f->name + "' della riga " + std::to_string(rowNo + 1) +
                        ": " + what);
    }
    template <class T>
    auto as(const Value& v) {
        if (!v.is<T>()) bad("valore di tipo errato");
        return v.get<T>();
    }
    void prefixed(std::string_view bytes, unsigned width) {
        const std::uint64_t limit = width == 1 ? 0xFF : width == 2 ? 0xFFFF : 0x7FFFFFFF;
        if (bytes.size() > limit) bad("valore troppo lungo");
        appendLE(out, bytes.size(), width);
        out += bytes;
    }
    std::int64_t integer(const Value& v, std::int64_t lo, std::int64_t hi) {
        const std::int64_t x = as<std::int64_t>(v);
        if (x < lo || x > hi) bad("valore fuori intervallo");
        return x;
    }
    static std::string utf16Le(std::string_view ansi) {
        std::string b;
        for (char16_t ch : ansiToUtf16(ansi)) appendLE(b, ch, 2);
        return b;
    }

    void write(const Value& v, std::uint32_t typeWord) {
        const unsigned width = sizeOf(typeWord);
        switch (f->type) {
            case FieldType::String: {
                const std::string_view s = as<std::string>(v);
                if (f->size > 0 && s.size() > static_cast<std::size_t>(f->size)) bad("testo pi\xF9 lungo del campo");
                if (f->wide) prefixed(s.empty() ? std::string(2, '\0') : utf16Le(s), width);
                else prefixed(s.empty() ? std::string(1, '\0') : s, width);
                break;
            }
            case FieldType::Int8: appendLE(out, static_cast<std::uint64_t>(integer(v, -128, 127)), 1); break;
            case FieldType::Int16: appendLE(out, static_cast<std::uint64_t>(integer(v, -32768, 32767)), 2); break;
            case FieldType::Int32:
                appendLE(out, static_cast<std::uint64_t>(integer(v, INT32_MIN, INT32_MAX)), 4);
                break;
            case FieldType::Int64: appendLE(out, static_cast<std::uint64_t>(as<std::int64_t>(v)), 8); break;
            case FieldType::UInt8: appendLE(out, static_cast<std::uint64_t>(integer(v, 0, 0xFF)), 1); break;
            case FieldType::UInt16: appendLE(out, static_cast<std::uint64_t>(integer(v, 0, 0xFFFF)), 2); break;
            case FieldType::UInt32: appendLE(out, static_cast<std::uint64_t>(integer(v, 0, 0xFFFFFFFFLL)), 4); break;
            case FieldType::UInt64:
                if (v.is<std::uint64_t>()) appendLE(out, v.get<std::uint64_t>(), 8);
                else appendLE(out, static_cast<std::uint64_t>(integer(v, 0, INT64_MAX)), 8);
                break;
            case FieldType::Boolean: appendLE(out, as<bool>(v) ? 1 : 0, 2); break;
            case FieldType::Float: appendLE(out, std::bit_cast<std::uint64_t>(as<double>(v)), 8); break;
            case FieldType::Currency:
                appendLE(out, std::bit_cast<std::uint64_t>(currencyToDouble(as<Currency>(v))), 8);
                break;
            case FieldType::Bcd: {
                std::string canonical;
                if (!normaliseDecimal(as<Decimal>(v).text, f->scale, canonical)) bad("numero decimale non valido");
                unsigned char bcd[18];
                if (!encodeBcd(canonical, bcd)) bad("troppe cifre per un valore BCD");
                out.append(reinterpret_cast<const char*>(bcd), 18);
                break;
            }
            case FieldType::Date: {
                const std::int64_t day = as<Date>(v).serial + kDayNumberOfSerialZero;
                if (day < kFirstDay || day > kLastDay) bad("data fuori intervallo");
                appendLE(out, static_cast<std::uint64_t>(day), 4);
                break;
            }
            case FieldType::Time: {
                const TimeOfDay ms = as<Time>(v).ms;
                if (ms < 0 || ms >= kMsPerDay) bad("ora fuori intervallo");
                appendLE(out, static_cast<std::uint32_t>(ms), 4);
                break;
            }
            case FieldType::DateTime: {
                const DateTimeMs ms = as<DateTime>(v).ms;
                if (ms < (kFirstDay - kDayNumberOfSerialZero) * kMsPerDay ||
                    ms >= (kLastDay + 1 - kDayNumberOfSerialZero) * kMsPerDay)
                    bad("data e ora fuori intervallo");
                const double d = static_cast<double>(ms + kDayNumberOfSerialZero * kMsPerDay);
                appendLE(out, std::bit_cast<std::uint64_t>(d), 8);
                break;
            }
            case FieldType::Memo: {
                const std::string_view s = as<std::string>(v);
                prefixed(f->subtype == "WideText" ? utf16Le(s) : s, width);
                break;
            }
            case FieldType::Blob: {
                const BytesRef b = as<Bytes>(v);
                if (width < 4 && b.size() > static_cast<std::size_t>(f->size)) bad("dati pi\xF9 lunghi del campo");
                prefixed(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()), width);
                break;
            }
        }
    }
};

}  // namespace

std::string writeBinaryPacket(const PacketContent& content) {
    const std::size_t n = content.fields.size();
    if (n > 0xFFFF) throw DataError("Troppe colonne per un pacchetto dati");
    if (content.rows.size() > 0xFFFFFFFFu) throw DataError("Troppe righe per un pacchetto dati");
    std::vector<ColumnDecl> decls;
    decls.reserve(n);
    for (const FieldDef& f : content.fields) decls.push_back(columnDecl(f));

    std::string out;
    out.reserve(kHeaderSize + 64 * n + content.rows.size() * (1 + n * 8));
    appendLE(out, kMagic, 4);
    appendLE(out, 1, 2);
    appendLE(out, 0, 2);
    appendLE(out, kHeaderSize, 4);
    appendLE(out, n, 2);
    appendLE(out, content.rows.size(), 4);
    appendLE(out, kPropMetadata | kPropDataOffset, 4);
    appendLE(out, 0, 2);  // data offset, filled in below

    for (std::size_t k = 0; k < n; ++k) {
        const FieldDef& f = content.fields[k];
        const ColumnDecl& s = decls[k];
        appendShortName(out, f.name, "colonna");
        appendLE(out, s.typeWord, 4);
        appendLE(out, (f.readOnly ? 2 : 0) | (f.required ? 4 : 0), 2);
        std::vector<PacketParam> params;
        if (!s.subtype.empty()) params.push_back(PacketParam::text("SUBTYPE", s.subtype));
        if (s.decimals >= 0) params.push_back(u16Param("DECIMALS", s.decimals));
        if (s.width >= 0) params.push_back(u16Param("WIDTH", s.width));
        appendLE(out, params.size(), 2);
        for (const PacketParam& p : params) appendParam(out, p);
    }
    std::size_t paramCount = 0;
    for (const PacketParam& p : content.params) paramCount += p.name != "CHANGE_LOG";
    if (paramCount > 0xFFFF) throw DataError("Troppi parametri per un pacchetto dati");
    appendLE(out, paramCount, 2);
    for (const PacketParam& p : content.params)
        if (p.name != "CHANGE_LOG") appendParam(out, p);
    if (out.size() <= 0xFFFF) {
        out[22] = static_cast<char>(out.size() & 0xFF);
        out[23] = static_cast<char>(out.size() >> 8);
    } else {
        out[18] = static_cast<char>(kPropMetadata);  // no room for the offset: readers walk the metadata
    }

    const std::size_t statusBytes = (n + 3) / 4;
    Writer w{out};
    for (std::size_t r = 0; r < content.rows.size(); ++r) {
        const Row& row = content.rows[r];
        w.rowNo = r;
        if (row.size() != n)
            throw DataError("La riga " + std::to_string(r + 1) + " ha " + std::to_string(row.size()) +
                            " valori invece di " + std::to_string(n));
        out += '\0';
        const std::size_t statusAt = out.size();
        out.append(statusBytes, '\0');
        for (std::size_t k = 0; k < n; ++k) {
            if (row[k].isNull()) {
                out[statusAt + k / 4] = static_cast<char>(out[statusAt + k / 4] | (1 << (2 * (k % 4))));
                continue;
            }
            w.f = &content.fields[k];
            w.write(row[k], decls[k].typeWord);
        }
    }
    return out;
}

}  // namespace doz::packet
