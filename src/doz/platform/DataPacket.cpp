#include "platform/DataPacket.h"
#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unordered_set>

#include <sys/stat.h>

#include "platform/DataPacketCodec.h"
#include "platform/SystemErrors.h"

namespace doz {

namespace packet {

void fail(const std::string& fileName, const std::string& what) {
    throw DataError("File dati '" + fileName + "' non valido: " + what);
}

bool isMemoSubtype(std::string_view subtype) {
    return subtype == "Text" || subtype == "WideText" || subtype == "Formatted";
}

bool currencyFromDouble(double d, Currency& out) {
    const double scaled = std::round(d * 10000.0);
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18) return false;
    out.scaled = static_cast<std::int64_t>(scaled);
    return true;
}

bool normaliseDecimal(std::string_view text, int scale, std::string& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::string intDigits, fracDigits;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') intDigits += text[i++];
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') fracDigits += text[i++];
    }
    if (i != text.size() || (intDigits.empty() && fracDigits.empty())) return false;
    const std::size_t firstSignificant = intDigits.find_first_not_of('0');
    intDigits = firstSignificant == std::string::npos ? "0" : intDigits.substr(firstSignificant);
    const std::size_t wanted = static_cast<std::size_t>(std::max(scale, 0));
    while (fracDigits.size() > wanted && fracDigits.back() == '0') fracDigits.pop_back();
    if (fracDigits.size() < wanted) fracDigits.append(wanted - fracDigits.size(), '0');
    const bool zero = intDigits == "0" && fracDigits.find_first_not_of('0') == std::string::npos;
    out.clear();
    if (negative && !zero) out += '-';
    out += intDigits;
    if (!fracDigits.empty()) out += '.' + fracDigits;
    return true;
}

bool decodeBcd(const unsigned char* p, int fieldScale, std::string& out, bool& blank) {
    const unsigned precision = p[0];
    const unsigned scale = p[1] & 0x3F;
    blank = (p[1] & 0x40) != 0;
    if (blank) return true;
    if (precision > 32 || scale > precision) return false;
    std::string text;
    if (p[1] & 0x80) text += '-';
    const unsigned intCount = precision - scale;
    if (intCount == 0) text += '0';
    for (unsigned k = 0; k < precision; ++k) {
        const unsigned nibble = (k % 2 == 0 ? p[2 + k / 2] >> 4 : p[2 + k / 2]) & 0x0F;
        if (nibble > 9) return false;
        if (k == intCount) text += '.';
        text += static_cast<char>('0' + nibble);
    }
    return normaliseDecimal(text, fieldScale, out);
}

bool encodeBcd(const std::string& canonical, unsigned char* out18) {
    std::memset(out18, 0, 18);
    std::string_view t = canonical;
    bool negative = false;
    if (!t.empty() && t[0] == '-') {
        negative = true;
        t.remove_prefix(1);
    }
    const std::size_t dot = t.find('.');
    std::string digits(t.substr(0, dot));
    std::string frac = dot == std::string_view::npos ? std::string() : std::string(t.substr(dot + 1));
    if (digits == "0") digits.clear();
    if (digits.empty() && frac.empty()) digits = "0";
    digits += frac;
    if (digits.size() > 32 || frac.size() > 32) return false;
    out18[0] = static_cast<unsigned char>(digits.size());
    out18[1] = static_cast<unsigned char>(frac.size() | (negative ? 0x80 : 0));
    for (std::size_t k = 0; k < digits.size(); ++k) {
        const unsigned d = static_cast<unsigned>(digits[k] - '0');
        out18[2 + k / 2] |= static_cast<unsigned char>(k % 2 == 0 ? d << 4 : d);
    }
    return true;
}

// The digits are those of the double rounded first to 18 significant digits
// and then to 16, ties to even; this is how the component prints r8 values,
// which a single correctly rounded %.16g does not always reproduce.
std::string formatDouble16(double d) {
    if (std::isnan(d)) return "NAN";
    if (std::isinf(d)) return d < 0 ? "-INF" : "INF";
    if (d == 0) return "0";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17e", std::fabs(d));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    int exponent = std::atoi(p + 1);
    const int tail = (digits[16] - '0') * 10 + (digits[17] - '0');
    digits.resize(16);
    const bool up = tail > 50 || (tail == 50 && (digits[15] - '0') % 2 == 1);
    if (up) {
        int k = 15;
        while (k >= 0 && digits[k] == '9') digits[k--] = '0';
        if (k >= 0) {
            ++digits[k];
        } else {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exponent;
        }
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = d < 0 ? "-" : "";
    if (exponent < -4 || exponent >= 16) {
        out += digits[0];
        if (digits.size() > 1) out += '.' + digits.substr(1);
        std::snprintf(buf, sizeof buf, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        out += buf;
    } else if (exponent >= 0) {
        const std::size_t intLen = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intLen) {
            out += digits + std::string(intLen - digits.size(), '0');
        } else {
            out += digits.substr(0, intLen) + '.' + digits.substr(intLen);
        }
    } else {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    return out;
}

ColumnDecl columnDecl(const FieldDef& f) {
    ColumnDecl s;
    s.subtype = f.subtype;
    const int size = std::max(f.size, 0);
    switch (f.type) {
        case FieldType::String:
            if (f.wide) {
                s.typeWord = makeType(kWideString, size != 0 && size * 2 + 2 < 255 ? 1 : 2, kVarying);
                if (size > 0) s.width = size * 2;
            } else {
                s.typeWord = makeType(kString, size != 0 && size + 1 < 255 ? 1 : 2, kVarying);
                if (size > 0) s.width = size;
            }
            break;
        case FieldType::Int8: s.typeWord = makeType(kInt, 1); break;
        case FieldType::Int16: s.typeWord = makeType(kInt, 2); break;
        case FieldType::Int32: s.typeWord = makeType(kInt, 4); break;
        case FieldType::Int64: s.typeWord = makeType(kInt, 8); break;
        case FieldType::UInt8: s.typeWord = makeType(kUInt, 1); break;
        case FieldType::UInt16: s.typeWord = makeType(kUInt, 2); break;
        case FieldType::UInt32: s.typeWord = makeType(kUInt, 4); break;
        case FieldType::UInt64: s.typeWord = makeType(kUInt, 8); break;
        case FieldType::Boolean: s.typeWord = makeType(kBool, 2); break;
        case FieldType::Float:
            s.typeWord = makeType(kFloat, 8);
            if (f.scale > 0) s.decimals = f.scale;
            break;
        case FieldType::Currency:
            s.typeWord = makeType(kFloat, 8);
            s.subtype = "Money";
            break;
        case FieldType::Bcd:
            if (f.size > 32 || f.scale < 0 || f.scale > (f.size > 0 ? f.size : 32))
                throw DataError("Precisione o decimali non validi per il campo BCD '" + f.name + "'");
            s.typeWord = makeType(kBcd, 18);
            if (f.scale > 0) s.decimals = f.scale;
            s.width = f.size > 0 ? f.size : 32;
            break;
        case FieldType::Date: s.typeWord = makeType(kDate, 4); break;
        case FieldType::Time: s.typeWord = makeType(kTime, 4); break;
        case FieldType::DateTime: s.typeWord = makeType(kDateTime, 8); break;
        case FieldType::Memo:
            s.typeWord = makeType(kBytes, 4, kVarying);
            if (!isMemoSubtype(s.subtype)) s.subtype = "Text";
            if (size > 0) s.width = size;
            break;
        case FieldType::Blob:
            if (!s.subtype.empty() || size == 0) {
                s.typeWord = makeType(kBytes, 4, kVarying);
            } else {
                // Bytes of a declared size: written as var-bytes.
                if (size > 0xFFFF - 2) throw DataError("Campo binario '" + f.name + "' troppo grande");
                s.typeWord = makeType(kBytes, size + 2 < 255 ? 1 : 2, kVarying);
            }
            if (size > 0) s.width = size;
            break;
    }
    if (s.width > 0xFFFF || s.decimals > 0xFFFF)
        throw DataError("Dimensione non valida per il campo '" + f.name + "'");
    return s;
}

FieldDef fieldFromDecl(std::string name, const ColumnDecl& decl, bool readOnly, bool required,
                       const std::string& fileName) {
    FieldDef f;
    f.name = std::move(name);
    f.subtype = decl.subtype;
    f.readOnly = readOnly;
    f.required = required;
    const unsigned kind = kindOf(decl.typeWord);
    const unsigned size = sizeOf(decl.typeWord);
    const bool varying = (decl.typeWord & kVarying) != 0;
    auto unsupported = [&]() {
        fail(fileName, "la colonna '" + f.name + "' è di un tipo non gestito (tipo " + std::to_string(kind) +
                           ", dimensione " + std::to_string(size) + ")");
    };
    if (decl.typeWord & (kArray | kPseudo)) unsupported();
    auto sized = [&](FieldType t1, FieldType t2, FieldType t4, FieldType t8) {
        if (varying) unsupported();
        switch (size) {
            case 1: return t1;
            case 2: return t2;
            case 4: return t4;
            case 8: return t8;
            default: unsupported();
        }
        return t1;
    };
    auto prefixed = [&]() {
        if (!varying || (size != 1 && size != 2 && size != 4)) unsupported();
    };
    switch (kind) {
        case kInt: f.type = sized(FieldType::Int8, FieldType::Int16, FieldType::Int32, FieldType::Int64); break;
        case kUInt: f.type = sized(FieldType::UInt8, FieldType::UInt16, FieldType::UInt32, FieldType::UInt64); break;
        case kBool:
            if (varying || (size != 1 && size != 2 && size != 4)) unsupported();
            f.type = FieldType::Boolean;
            break;
        case kFloat:
        case kSingle:
            if (varying || (kind == kFloat && size != 8 && size != 10) || (kind == kSingle && size != 4))
                unsupported();
            f.type = kind == kFloat && f.subtype == "Money" ? FieldType::Currency : FieldType::Float;
            if (f.type == FieldType::Float && decl.decimals > 0) f.scale = decl.decimals;
            break;
        case kBcd:
        case kFmtBcd:
            if (varying) unsupported();
            f.type = FieldType::Bcd;
            f.size = decl.width >= 0 ? decl.width : 32;
            f.scale = decl.decimals >= 0 ? decl.decimals : 0;
            if (f.size < 1 || f.size > 64 || f.scale > f.size)
                fail(fileName, "precisione o decimali non validi per la colonna '" + f.name + "'");
            break;
        case kDate:
        case kTime:
            if (varying || size != 4) unsupported();
            f.type = kind == kDate ? FieldType::Date : FieldType::Time;
            break;
        case kDateTime:
            if (varying || size != 8) unsupported();
            f.type = FieldType::DateTime;
            break;
        case kSqlTimeStamp:
        case kSqlTimeStampOffset:
            if (varying || size != (kind == kSqlTimeStamp ? 16u : 20u)) unsupported();
            f.type = FieldType::DateTime;
            break;
        case kString:
            prefixed();
            f.type = FieldType::String;
            f.size = std::max(decl.width, 0);
            break;
        case kWideString:
            prefixed();
            f.type = FieldType::String;
            f.wide = true;
            f.size = std::max(decl.width, 0) / 2;
            break;
        case kBytes:
            if (varying) {
                prefixed();
                f.type = size == 4 && isMemoSubtype(f.subtype) ? FieldType::Memo : FieldType::Blob;
                f.size = std::max(decl.width, 0);
            } else {
                if (size == 0) unsupported();
                f.type = FieldType::Blob;
                f.size = static_cast<int>(size);
            }
            break;
        default: unsupported();
    }
    return f;
}

namespace {

int compareDecimalText(std::string_view a, std::string_view b) {
    const bool negA = !a.empty() && a[0] == '-';
    const bool negB = !b.empty() && b[0] == '-';
    if (negA != negB) return negA ? -1 : 1;
    auto magnitude = [](std::string_view s) {
        if (!s.empty() && s[0] == '-') s.remove_prefix(1);
        const std::size_t dot = s.find('.');
        return std::pair{s.substr(0, dot), dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1)};
    };
    auto [ia, fa] = magnitude(a);
    auto [ib, fb] = magnitude(b);
    int c = ia.size() != ib.size() ? (ia.size() < ib.size() ? -1 : 1) : ia.compare(ib);
    if (c == 0) {
        const std::size_t n = std::max(fa.size(), fb.size());
        for (std::size_t k = 0; k < n && c == 0; ++k) {
            const char x = k < fa.size() ? fa[k] : '0';
            const char y = k < fb.size() ? fb[k] : '0';
            c = x < y ? -1 : x > y ? 1 : 0;
        }
    }
    return negA ? -c : c;
}

unsigned char foldCase(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
    if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<unsigned char>(c - 16);
    if (c == 0xFF) return 0x9F;
    return c;
}

template <class T>
int cmp(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compareValues(const Value& a, const Value& b, bool caseInsensitive) {
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    if (a.index() != b.index()) {
        // Only unsigned 64-bit columns mix int64_t and uint64_t values.
        if (a.is<std::int64_t>() && b.is<std::uint64_t>()) return -1;
        if (a.is<std::uint64_t>() && b.is<std::int64_t>()) return 1;
        return cmp(a.index(), b.index());
    }
    if (a.is<std::string>()) {
        const std::string_view s = a.text();
        const std::string_view t = b.text();
        if (!caseInsensitive) return s.compare(t) < 0 ? -1 : (s == t ? 0 : 1);
        const std::size_t n = std::min(s.size(), t.size());
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned char c = foldCase(static_cast<unsigned char>(s[k]));
            const unsigned char d = foldCase(static_cast<unsigned char>(t[k]));
            if (c != d) return c < d ? -1 : 1;
        }
        return cmp(s.size(), t.size());
    }
    if (a.is<bool>()) return cmp(a.get<bool>(), b.get<bool>());
    if (a.is<std::int64_t>()) return cmp(a.get<std::int64_t>(), b.get<std::int64_t>());
    if (a.is<std::uint64_t>()) return cmp(a.get<std::uint64_t>(), b.get<std::uint64_t>());
    if (a.is<double>()) return cmp(a.get<double>(), b.get<double>());
    if (a.is<Currency>()) return cmp(a.get<Currency>().scaled, b.get<Currency>().scaled);
    if (a.is<Decimal>()) return compareDecimalText(a.get<Decimal>().text, b.get<Decimal>().text);
    if (a.is<Date>()) return cmp(a.get<Date>().serial, b.get<Date>().serial);
    if (a.is<Time>()) return cmp(a.get<Time>().ms, b.get<Time>().ms);
    if (a.is<DateTime>()) return cmp(a.get<DateTime>().ms, b.get<DateTime>().ms);
    if (a.is<Bytes>()) {
        // Byte by byte, unsigned; a prefix sorts first.
        const std::string_view s = a.text(), t = b.text();
        const int c = std::memcmp(s.data(), t.data(), std::min(s.size(), t.size()));
        if (c != 0) return c < 0 ? -1 : 1;
        return cmp(s.size(), t.size());
    }
    return 0;
}

struct SortKey {
    std::size_t column;
    bool descending;
    bool caseInsensitive;
};

}  // namespace

PacketContent currentRows(RawTable&& raw, const std::string& fileName) {
    const std::size_t count = raw.records.size();
    std::vector<std::uint32_t> older;  // 1-based older record of each record, 0 = none
    const PacketParam* changeLog = nullptr;
    const PacketParam* defaultOrder = nullptr;
    PacketContent out;
    for (PacketParam& p : raw.params) {
        if (p.name == "CHANGE_LOG") {
            changeLog = &p;
        } else {
            if (p.name == "DEFAULT_ORDER") defaultOrder = &p;
        }
    }
    std::vector<std::int64_t> orderNumbers;
    try {
        if (defaultOrder) orderNumbers = defaultOrder->numbers();
        if (changeLog) {
            const std::vector<std::int64_t> log = changeLog->numbers();
            if (log.size() % 3 != 0) fail(fileName, "registro delle modifiche di lunghezza non multipla di 3");
            older.assign(count, 0);
            for (std::size_t k = 0; k < log.size(); k += 3) {
                const std::int64_t rec = log[k];
                const std::int64_t prev = log[k + 1];
                const std::int64_t action = log[k + 2];
                if (rec < 1 || static_cast<std::uint64_t>(rec) > count)
                    fail(fileName, "il registro delle modifiche cita il record " + std::to_string(rec) +
                                       " che non esiste");
                if ((action & kStateModified) && prev != 0) {
                    if (prev < 1 || static_cast<std::uint64_t>(prev) > count || prev == rec)
                        fail(fileName, "il registro delle modifiche cita il record precedente " +
                                           std::to_string(prev) + " che non esiste");
                    older[static_cast<std::size_t>(rec - 1)] = static_cast<std::uint32_t>(prev);
                }
            }
        }
    } catch (const DataError& e) {
        if (std::string_view(e.what()).starts_with("File dati")) throw;
        fail(fileName, e.what());
    }

    // "Not changed" blobs and memos of a modified record come from its older
    // versions; every other "not changed" entry is a null.
    if (!raw.unchanged.empty() && !older.empty()) {
        std::unordered_set<std::uint64_t> marked;
        marked.reserve(raw.unchanged.size() * 2);
        for (auto [rec, col] : raw.unchanged) marked.insert((static_cast<std::uint64_t>(rec) << 32) | col);
        for (auto [rec, col] : raw.unchanged) {
            const FieldType t = raw.fields[col].type;
            if (t != FieldType::Memo && t != FieldType::Blob) continue;
            std::uint32_t cur = older[rec];
            std::size_t steps = 0;
            while (cur != 0 && marked.count((static_cast<std::uint64_t>(cur - 1) << 32) | col)) {
                cur = older[cur - 1];
                if (++steps > count) fail(fileName, "il registro delle modifiche contiene un ciclo");
            }
            if (cur != 0) raw.records[rec][col] = raw.records[cur - 1][col];
        }
    }

    out.fields = std::move(raw.fields);
    out.narrowed = std::move(raw.narrowed);
    std::sort(out.narrowed.begin(), out.narrowed.end());
    out.narrowed.erase(std::unique(out.narrowed.begin(), out.narrowed.end()), out.narrowed.end());
    for (PacketParam& p : raw.params)
        if (p.name != "CHANGE_LOG") out.params.push_back(std::move(p));
    std::size_t visible = 0;
    for (std::uint8_t s : raw.states) visible += (s & kStateHiddenMask) == 0;
    out.rows.reserve(visible);
    for (std::size_t k = 0; k < count; ++k)
        if ((raw.states[k] & kStateHiddenMask) == 0) out.rows.push_back(std::move(raw.records[k]));

    std::vector<SortKey> keys;
    for (std::int64_t n : orderNumbers) {
        const std::int64_t position = n & 0x3FFF;
        if (position < 1 || static_cast<std::size_t>(position) > out.fields.size()) continue;
        const FieldType t = out.fields[static_cast<std::size_t>(position - 1)].type;
        if (t == FieldType::Memo || t == FieldType::Blob) continue;
        keys.push_back({static_cast<std::size_t>(position - 1), (n & 0x8000) != 0, (n & 0x4000) != 0});
    }
    if (!keys.empty()) {
        auto less = [&](const Row& a, const Row& b) {
            for (const SortKey& k : keys) {
                int c = compareValues(a[k.column], b[k.column], k.caseInsensitive);
                if (k.descending) c = -c;
                if (c != 0) return c < 0;
            }
            return false;
        };
        if (!std::is_sorted(out.rows.begin(), out.rows.end(), less))
            std::stable_sort(out.rows.begin(), out.rows.end(), less);
    }
    return out;
}

}  // namespace packet

// ---- PacketParam ----------------------------------------------------------------

PacketParam PacketParam::int32(std::string name, std::int32_t v) {
    PacketParam p{std::move(name), packet::makeType(packet::kInt, 4), {}};
    packet::appendLE(p.bytes, static_cast<std::uint32_t>(v), 4);
    return p;
}

PacketParam PacketParam::uint16Array(std::string name, const std::vector<std::uint16_t>& v) {
    PacketParam p{std::move(name), packet::makeType(packet::kUInt, 2, packet::kArray), {}};
    packet::appendLE(p.bytes, v.size(), 4);
    for (std::uint16_t x : v) packet::appendLE(p.bytes, x, 2);
    return p;
}

PacketParam PacketParam::uint32Array(std::string name, const std::vector<std::uint32_t>& v) {
    PacketParam p{std::move(name), packet::makeType(packet::kUInt, 4, packet::kArray), {}};
    packet::appendLE(p.bytes, v.size(), 4);
    for (std::uint32_t x : v) packet::appendLE(p.bytes, x, 4);
    return p;
}

PacketParam PacketParam::text(std::string name, std::string_view cp1252) {
    PacketParam p{std::move(name), packet::makeType(packet::kString, 2, packet::kVarying), {}};
    packet::appendLE(p.bytes, cp1252.size() + 1, 2);
    p.bytes.append(cp1252);
    p.bytes += '\0';
    return p;
}

std::vector<std::int64_t> PacketParam::numbers() const {
    using namespace packet;
    const unsigned kind = kindOf(typeWord);
    const unsigned size = sizeOf(typeWord);
    if ((kind != kInt && kind != kUInt && kind != kBool) || (typeWord & kVarying) ||
        (size != 1 && size != 2 && size != 4 && size != 8))
        throw DataError("il parametro " + name + " non \xE8 numerico");
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t count = 1;
    std::size_t offset = 0;
    if (typeWord & kArray) {
        if (bytes.size() < 4) throw DataError("il parametro " + name + " \xE8 troncato");
        count = static_cast<std::size_t>(loadLE(p, 4));
        offset = 4;
    }
    if (count > (bytes.size() - offset) / size || bytes.size() - offset != count * size)
        throw DataError("il parametro " + name + " ha una lunghezza errata");
    std::vector<std::int64_t> out;
    out.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        std::uint64_t v = loadLE(p + offset + k * size, size);
        if (kind == kInt && size < 8 && (v >> (8 * size - 1)) & 1) v |= ~std::uint64_t{0} << (8 * size);
        out.push_back(static_cast<std::int64_t>(v));
    }
    return out;
}

// ---- entry points -----------------------------------------------------------------

PacketContent readPacket(std::string_view bytes, const std::string& nameForErrors) {
    if (bytes.size() >= 4 && static_cast<unsigned char>(bytes[0]) == 0x96 &&
        static_cast<unsigned char>(bytes[1]) == 0x19 && static_cast<unsigned char>(bytes[2]) == 0xE0 &&
        static_cast<unsigned char>(bytes[3]) == 0xBD)
        return packet::readBinaryPacket(bytes, nameForErrors);
    std::string_view rest = bytes;
    if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
    while (!rest.empty() && (rest[0] == ' ' || rest[0] == '\t' || rest[0] == '\r' || rest[0] == '\n'))
        rest.remove_prefix(1);
    if (rest.starts_with("<?xml") || rest.starts_with("<DATAPACKET"))
        return packet::readXmlPacket(bytes, nameForErrors);
    if (bytes.empty()) packet::fail(nameForErrors, "il file \xE8 vuoto");
    packet::fail(nameForErrors, "formato non riconosciuto (n\xE9 pacchetto binario n\xE9 XML)");
}

PacketContent readPacketFile(const std::string& path) {
    // A pipe or a device would block the read or never end: only plain files are read.
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw IoError("Impossibile aprire il file dati '" + path + "': " +
                      (S_ISDIR(st.st_mode) ? "\xE8 una cartella" : "non \xE8 un file regolare"));
    std::ifstream in(path, std::ios::binary);
    if (!in) throw IoError("Impossibile aprire il file dati '" + path + "': " + systemErrorText(errno));
    std::string bytes;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0) {
        bytes.resize(static_cast<std::size_t>(size));
        in.read(bytes.data(), size);
    } else {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (in.bad() || (size > 0 && in.gcount() != size))
        throw IoError("Impossibile leggere il file dati '" + path + "'");
    return readPacket(bytes, path);
}

std::string writePacket(const PacketContent& content, PacketFormat format) {
    switch (format) {
        case PacketFormat::Binary: return packet::writeBinaryPacket(content);
        case PacketFormat::Xml: return packet::writeXmlPacket(content, false);
        case PacketFormat::XmlUtf8: return packet::writeXmlPacket(content, true);
    }
    throw DataError("Formato di pacchetto sconosciuto");
}

void writePacketFile(const std::string& path, const PacketContent& content, PacketFormat format) {
    // Whole or not at all, like every other file the program writes.
    writeFileAtomically(path, writePacket(content, format));
}

}  // namespace doz
