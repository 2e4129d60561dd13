// The filter language of the in-memory tables.
//
// A filter text is read once into a tree of nodes whose field names are
// already resolved to column indexes and whose literals are already converted
// to the type they are compared with. Evaluating a row walks that tree; the
// common comparisons of a field with a literal look at the row's own bytes
// and allocate nothing.
//
// Grammar (keywords and function names in any letter case):
//   condition  := andExpr { OR andExpr }
//   andExpr    := notExpr { AND notExpr }
//   notExpr    := NOT notExpr | predicate
//   predicate  := sum [ compOp sum | compOp BLANK | IS [NOT] NULL
//                     | [NOT] LIKE sum | [NOT] IN '(' sum { ',' sum } ')' ]
//   sum        := product { ('+' | '-') product }
//   product    := unary { ('*' | '/') unary }
//   unary      := ('-' | '+') unary | primary
//   primary    := number | 'text' | field | [field] | function '(' args ')'
//               | GetDate | TRUE | FALSE | '(' condition ')'
//
// Two-valued logic: a comparison with a null side is false whatever the
// operator; only IS [NOT] NULL and BLANK look at nulls.
#include "platform/Filter.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <optional>

#include "platform/Error.h"
#include "platform/Regional.h"

namespace doz {

namespace {

// Deepest nesting of parentheses, NOT, signs and operators a filter may have.
constexpr int kMaxDepth = 200;

// ---- Windows-1252 letter case --------------------------------------------------

unsigned char upperAnsi(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
    switch (c) {
        case 0x9A: return 0x8A;
        case 0x9C: return 0x8C;
        case 0x9E: return 0x8E;
        case 0xFF: return 0x9F;
        default: return c;
    }
}

unsigned char lowerAnsi(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    switch (c) {
        case 0x8A: return 0x9A;
        case 0x8C: return 0x9C;
        case 0x8E: return 0x9E;
        case 0x9F: return 0xFF;
        default: return c;
    }
}

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upperAnsi(static_cast<unsigned char>(a[i])) != upperAnsi(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || u >= 0x80;
}
bool isNameChar(char c) { return isNameStart(c) || isDigit(c); }

std::string_view trimBlanks(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}

// ---- numbers ------------------------------------------------------------------------

// A number as evaluated: exact integer, exact ten-thousandths, or floating.
struct Num {
    enum Kind : std::uint8_t { I, C, F } k = I;
    std::int64_t i = 0;
    double f = 0;

    static Num integer(std::int64_t v) { return Num{I, v, 0}; }
    static Num scaled(std::int64_t v) { return Num{C, v, 0}; }
    static Num real(double v) { return Num{F, 0, v}; }
    double asDouble() const { return k == I ? static_cast<double>(i) : k == C ? static_cast<double>(i) / 10000.0 : f; }
};

int sign3(double x, double y) { return (x > y) - (x < y); }
int sign3(std::int64_t x, std::int64_t y) { return (x > y) - (x < y); }

// Brings two exact numbers to ten-thousandths; false on overflow.
bool toCommonScale(Num a, Num b, std::int64_t& x, std::int64_t& y) {
    x = a.i;
    y = b.i;
    if (a.k == Num::I && __builtin_mul_overflow(x, std::int64_t{10000}, &x)) return false;
    if (b.k == Num::I && __builtin_mul_overflow(y, std::int64_t{10000}, &y)) return false;
    return true;
}

int compareNum(Num a, Num b) {
    if (a.k == Num::I && b.k == Num::I) return sign3(a.i, b.i);
    if (a.k != Num::F && b.k != Num::F) {
        std::int64_t x, y;
        if (toCommonScale(a, b, x, y)) return sign3(x, y);
    }
    // A floating side compares as a double (0.1 the literal equals 0.1 the
    // float); a large integer goes through long double, which holds it exactly.
    const bool bigInt = (a.k == Num::I && (a.i > (1LL << 53) || a.i < -(1LL << 53))) ||
                        (b.k == Num::I && (b.i > (1LL << 53) || b.i < -(1LL << 53)));
    if (bigInt) {
        const auto wide = [](Num n) {
            return n.k == Num::F ? static_cast<long double>(n.f) : static_cast<long double>(n.asDouble());
        };
        const long double x = a.k == Num::I ? static_cast<long double>(a.i) : wide(a);
        const long double y = b.k == Num::I ? static_cast<long double>(b.i) : wide(b);
        return (x > y) - (x < y);
    }
    return sign3(a.asDouble(), b.asDouble());
}

std::int64_t numToInt(Num n) {
    if (n.k == Num::I) return n.i;
    if (n.k == Num::C) return n.i / 10000;
    if (!(n.f == n.f)) return 0;
    if (n.f >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (n.f <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(n.f);
}

// Reads a decimal number: blanks around, optional sign, digits with '.' or the
// regional decimal separator, optional exponent. Whole numbers and numbers of
// up to four decimals stay exact.
bool parseNumberText(std::string_view text, Num& out) {
    const std::string_view t = trimBlanks(text);
    std::size_t p = 0;
    const std::size_t e = t.size();
    bool negative = false;
    if (p < e && (t[p] == '+' || t[p] == '-')) negative = t[p++] == '-';
    const std::size_t intStart = p;
    while (p < e && isDigit(t[p])) ++p;
    const std::size_t intEnd = p;
    std::size_t fracStart = p, fracEnd = p;
    const char decimalSeparator = regional().decimalSeparator;
    if (p < e && (t[p] == '.' || t[p] == decimalSeparator)) {
        fracStart = ++p;
        while (p < e && isDigit(t[p])) ++p;
        fracEnd = p;
    }
    if (intEnd == intStart && fracEnd == fracStart) return false;
    std::size_t expStart = p;
    if (p < e && (t[p] == 'e' || t[p] == 'E')) {
        ++p;
        if (p < e && (t[p] == '+' || t[p] == '-')) ++p;
        const std::size_t digits = p;
        while (p < e && isDigit(t[p])) ++p;
        if (p == digits) return false;
    }
    if (p != e) return false;

    if (expStart == e) {
        std::size_t fracDigits = fracEnd - fracStart;
        while (fracDigits > 0 && t[fracStart + fracDigits - 1] == '0') --fracDigits;
        if (fracDigits <= 4) {
            std::int64_t v = 0;
            bool ok = true;
            for (std::size_t q = intStart; q < intEnd && ok; ++q)
                ok = !__builtin_mul_overflow(v, std::int64_t{10}, &v) && !__builtin_add_overflow(v, t[q] - '0', &v);
            if (ok && fracDigits == 0) {
                out = Num::integer(negative ? -v : v);
                return true;
            }
            std::int64_t frac = 0;
            for (std::size_t q = 0; q < 4; ++q) frac = frac * 10 + (q < fracDigits ? t[fracStart + q] - '0' : 0);
            if (ok && !__builtin_mul_overflow(v, std::int64_t{10000}, &v) && !__builtin_add_overflow(v, frac, &v)) {
                out = Num::scaled(negative ? -v : v);
                return true;
            }
        }
    }
    std::string plain;
    plain.reserve(e + 1);
    if (negative) plain += '-';
    plain.append(t.substr(intStart, intEnd - intStart));
    if (intEnd == intStart) plain += '0';
    if (fracEnd > fracStart) {
        plain += '.';
        plain.append(t.substr(fracStart, fracEnd - fracStart));
    }
    plain.append(t.substr(expStart));
    double d = 0;
    const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), d);
    if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) return false;
    out = Num::real(d);
    return true;
}

std::string numToText(Num n) {
    char buf[48];
    if (n.k == Num::I) {
        const auto r = std::to_chars(buf, buf + sizeof buf, n.i);
        return std::string(buf, r.ptr);
    }
    if (n.k == Num::F) {
        std::snprintf(buf, sizeof buf, "%.15g", n.f);
        return buf;
    }
    const bool negative = n.i < 0;
    const std::uint64_t a = negative ? 0 - static_cast<std::uint64_t>(n.i) : static_cast<std::uint64_t>(n.i);
    std::string s = std::to_string(a / 10000);
    std::string frac = std::to_string(a % 10000 + 10000).substr(1);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    if (!frac.empty()) s += '.' + frac;
    return negative ? '-' + s : s;
}

// ---- dates and times in text ---------------------------------------------------------

bool parseTimeText(std::string_view text, TimeOfDay& out) {
    const std::string_view t = trimBlanks(text);
    int parts[3] = {0, 0, 0};
    int milli = 0;
    std::size_t p = 0;
    int count = 0;
    while (count < 3) {
        const std::size_t start = p;
        int v = 0;
        while (p < t.size() && isDigit(t[p]) && p - start < 2) v = v * 10 + (t[p++] - '0');
        if (p == start) return false;
        parts[count++] = v;
        if (p < t.size() && t[p] == ':') {
            ++p;
            continue;
        }
        break;
    }
    if (count < 2) return false;
    if (count == 3 && p < t.size() && t[p] == '.') {
        ++p;
        int digits = 0;
        while (p < t.size() && isDigit(t[p]) && digits < 3) milli = milli * 10 + (t[p++] - '0'), ++digits;
        if (digits == 0) return false;
        while (digits++ < 3) milli *= 10;
    }
    if (p != t.size() || parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return false;
    out = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000 + milli;
    return true;
}

// A date in the regional short form or as YYYY-MM-DD, optionally followed by a
// blank (or 'T') and a time. The result is in milliseconds from the zero date.
bool parseDateTimeText(std::string_view text, DateTimeMs& out, bool& hasTime) {
    const std::string_view t = trimBlanks(text);
    std::size_t cut = t.find_first_of(" T");
    DaySerial day = 0;
    TimeOfDay ms = 0;
    hasTime = cut != std::string_view::npos;
    if (!parseDate(t.substr(0, cut), day)) return false;
    if (hasTime && !parseTimeText(t.substr(cut + 1), ms)) return false;
    out = static_cast<DateTimeMs>(day) * kMsPerDay + ms;
    return true;
}

// ---- evaluated values --------------------------------------------------------------------

enum class VK : std::uint8_t { Null, Bool, Int, Cur, Flt, Text, Date, Time, DateTime, Bytes };

// A value while a row is evaluated. Text usually views the row or the filter
// text; a computed text lives in `buf`.
struct Val {
    VK k = VK::Null;
    bool own = false;
    std::int64_t i = 0;  // Bool, Int, Cur (ten-thousandths), Date (serial), Time and DateTime (ms)
    double f = 0;
    std::string_view s;
    std::string buf;

    bool isNull() const { return k == VK::Null; }
    std::string_view text() const { return own ? std::string_view(buf) : s; }
    void setView(std::string_view v) {
        k = VK::Text;
        own = false;
        s = v;
    }
    void setOwned(std::string v) {
        k = VK::Text;
        own = true;
        buf = std::move(v);
    }
    void setNum(Num n) {
        k = n.k == Num::I ? VK::Int : n.k == Num::C ? VK::Cur : VK::Flt;
        i = n.i;
        f = n.f;
    }
    // Copies a value that holds no owned text.
    void copyFrom(const Val& o) {
        k = o.k;
        i = o.i;
        f = o.f;
        s = o.text();
        own = false;
    }
};

// Static type of an expression, known when the filter is read.
enum class ST : std::uint8_t { Bool, Number, Text, DateLike, Time, Bytes };

ST staticTypeOf(FieldType t) {
    switch (t) {
        case FieldType::String:
        case FieldType::Memo: return ST::Text;
        case FieldType::Boolean: return ST::Bool;
        case FieldType::Date:
        case FieldType::DateTime: return ST::DateLike;
        case FieldType::Time: return ST::Time;
        case FieldType::Blob: return ST::Bytes;
        default: return ST::Number;
    }
}

bool numericLike(ST t) { return t == ST::Number || t == ST::Text || t == ST::Bool; }

struct Ctx {
    std::string text;  // the filter text, for messages
};

// ---- nodes ----------------------------------------------------------------------------------

enum class NodeKind : std::uint8_t { Other, Field, TextLiteral, Literal };

struct Node {
    const Ctx* ctx = nullptr;
    int pos = 0;  // 0-based span in the filter text
    int len = 0;
    ST type = ST::Bool;
    int depth = 1;
    NodeKind kind = NodeKind::Other;

    virtual ~Node() = default;
    virtual void eval(const Row& row, Val& out) const = 0;
    virtual bool test(const Row& row) const {
        Val v;
        eval(row, v);
        return v.k == VK::Bool && v.i != 0;
    }
    std::string_view source() const { return std::string_view(ctx->text).substr(pos, len); }
};
using NodeP = std::unique_ptr<Node>;

[[noreturn]] void runtimeError(const Ctx& ctx, const std::string& what) {
    throw DataError("Filtro \"" + ctx.text + "\": " + what);
}

// "il valore 'X' del campo F non è un numero"
[[noreturn]] void valueError(const Node& src, std::string_view value, const char* expected) {
    std::string shown(value.substr(0, 100));
    if (value.size() > 100) shown += "...";
    std::string what;
    if (src.kind == NodeKind::TextLiteral) {
        what = "il testo '" + shown + "' non \xE8 ";
    } else {
        what = "il valore '" + shown + "' ";
        what += src.kind == NodeKind::Field ? "del campo " : "di ";
        what += src.source();
        what += " non \xE8 ";
    }
    what += expected;
    runtimeError(*src.ctx, what);
}

// ---- conversions while evaluating (the value is not null) ----------------------------

Num toNum(const Val& v, const Node& src) {
    switch (v.k) {
        case VK::Int:
        case VK::Bool:
        case VK::Date: return Num::integer(v.i);
        case VK::Cur: return Num::scaled(v.i);
        case VK::Flt: return Num::real(v.f);
        case VK::Time:
        case VK::DateTime: return Num::real(static_cast<double>(v.i) / static_cast<double>(kMsPerDay));
        case VK::Text: {
            Num n;
            if (!parseNumberText(v.text(), n)) valueError(src, v.text(), "un numero");
            return n;
        }
        default: runtimeError(*src.ctx, "valore non numerico in " + std::string(src.source()));
    }
}

DateTimeMs toDateMs(const Val& v, const Node& src) {
    switch (v.k) {
        case VK::Date: return v.i * kMsPerDay;
        case VK::DateTime:
        case VK::Time: return v.i;
        case VK::Int: return v.i * kMsPerDay;
        case VK::Cur:
        case VK::Flt: return std::llround(toNum(v, src).asDouble() * static_cast<double>(kMsPerDay));
        case VK::Text: {
            DateTimeMs ms = 0;
            bool hasTime = false;
            if (!parseDateTimeText(v.text(), ms, hasTime)) valueError(src, v.text(), "una data");
            return ms;
        }
        default: runtimeError(*src.ctx, "valore non di data in " + std::string(src.source()));
    }
}

TimeOfDay toTimeMs(const Val& v, const Node& src) {
    switch (v.k) {
        case VK::Time: return static_cast<TimeOfDay>(v.i);
        case VK::DateTime: return timePart(v.i);
        case VK::Date: return 0;
        case VK::Text: {
            TimeOfDay ms = 0;
            if (parseTimeText(v.text(), ms)) return ms;
            DateTimeMs dt = 0;
            bool hasTime = false;
            if (parseDateTimeText(v.text(), dt, hasTime)) return timePart(dt);
            valueError(src, v.text(), "un'ora");
        }
        default: runtimeError(*src.ctx, "valore non di ora in " + std::string(src.source()));
    }
}

bool parseBoolText(std::string_view t, bool& out) {
    t = trimBlanks(t);
    if (sameNoCase(t, "true")) return out = true, true;
    if (sameNoCase(t, "false")) return out = false, true;
    return false;
}

bool toBool(const Val& v, const Node& src) {
    if (v.k == VK::Text) {
        bool b = false;
        if (!parseBoolText(v.text(), b)) valueError(src, v.text(), "un valore logico");
        return b;
    }
    return toNum(v, src).asDouble() != 0;
}

// The text of a value; a value that is not text gets its text form in `buf`.
std::string_view toText(Val& v) {
    switch (v.k) {
        case VK::Text: return v.text();
        case VK::Bool: v.setOwned(v.i ? "True" : "False"); break;
        case VK::Int: v.setOwned(numToText(Num::integer(v.i))); break;
        case VK::Cur: v.setOwned(numToText(Num::scaled(v.i))); break;
        case VK::Flt: v.setOwned(numToText(Num::real(v.f))); break;
        case VK::Date: v.setOwned(isoDate(static_cast<DaySerial>(v.i))); break;
        case VK::Time: v.setOwned(isoTime(static_cast<TimeOfDay>(v.i))); break;
        case VK::DateTime: v.setOwned(isoDateTime(v.i)); break;
        default: v.setOwned(std::string()); break;
    }
    return v.text();
}

// ---- leaves ---------------------------------------------------------------------------------

struct FieldNode final : Node {
    std::size_t index = 0;

    void eval(const Row& row, Val& out) const override {
        if (index >= row.size()) return;
        const Value& v = row[index];
        switch (v.kind()) {
            case Value::Kind::Null: return;
            case Value::Kind::Bool: out.k = VK::Bool, out.i = v.get<bool>(); return;
            case Value::Kind::Int: out.k = VK::Int, out.i = v.get<std::int64_t>(); return;
            case Value::Kind::UInt: {
                const std::uint64_t u = v.get<std::uint64_t>();
                if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                    out.k = VK::Int, out.i = static_cast<std::int64_t>(u);
                else
                    out.k = VK::Flt, out.f = static_cast<double>(u);
                return;
            }
            case Value::Kind::Float: out.k = VK::Flt, out.f = v.get<double>(); return;
            case Value::Kind::Currency: out.k = VK::Cur, out.i = v.get<Currency>().scaled; return;
            case Value::Kind::Decimal: {
                Num n;
                const std::string_view t = v.text();
                if (!parseNumberText(t, n)) valueError(*this, t, "un numero");
                out.setNum(n);
                return;
            }
            case Value::Kind::Date: out.k = VK::Date, out.i = v.get<Date>().serial; return;
            case Value::Kind::Time: out.k = VK::Time, out.i = v.get<Time>().ms; return;
            case Value::Kind::DateTime: out.k = VK::DateTime, out.i = v.get<DateTime>().ms; return;
            case Value::Kind::Text: out.setView(v.text()); return;
            default: out.k = VK::Bytes; return;
        }
    }
};

struct LiteralNode final : Node {
    std::string text;  // a text literal's value (the Val views it)
    Val value;

    void eval(const Row&, Val& out) const override { out.copyFrom(value); }
};

struct GetDateNode final : Node {
    void eval(const Row&, Val& out) const override {
        // The local clock, read once a second at most.
        thread_local std::time_t cachedSecond = -1;
        thread_local DateTimeMs cachedBase = 0;
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
        const std::time_t second = static_cast<std::time_t>(ms / 1000);
        if (second != cachedSecond) {
            std::tm local{};
            localtime_r(&second, &local);
            cachedBase = static_cast<DateTimeMs>(encodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)) *
                             kMsPerDay +
                         ((local.tm_hour * 60 + local.tm_min) * 60 + std::min(local.tm_sec, 59)) * 1000;
            cachedSecond = second;
        }
        out.k = VK::DateTime;
        out.i = cachedBase + ms % 1000;
    }
};

// ---- conditions -------------------------------------------------------------------------------

struct CondNode : Node {
    void eval(const Row& row, Val& out) const final {
        out.k = VK::Bool;
        out.i = test(row) ? 1 : 0;
    }
};

enum class CmpOp : std::uint8_t { Eq, Ne, Lt, Gt, Le, Ge };
enum class Mode : std::uint8_t { Num, Text, Date, Time, Bool };

bool applyOp(CmpOp op, int c) {
    switch (op) {
        case CmpOp::Eq: return c == 0;
        case CmpOp::Ne: return c != 0;
        case CmpOp::Lt: return c < 0;
        case CmpOp::Gt: return c > 0;
        case CmpOp::Le: return c <= 0;
        case CmpOp::Ge: return c >= 0;
    }
    return false;
}

int compareValues(Mode mode, Val& a, const Node& an, Val& b, const Node& bn) {
    switch (mode) {
        case Mode::Text: {
            const std::string_view x = toText(a);
            const std::string_view y = toText(b);
            const int c = x.compare(y);
            return (c > 0) - (c < 0);
        }
        case Mode::Num: return compareNum(toNum(a, an), toNum(b, bn));
        case Mode::Date: return sign3(toDateMs(a, an), toDateMs(b, bn));
        case Mode::Time: return sign3(std::int64_t{toTimeMs(a, an)}, std::int64_t{toTimeMs(b, bn)});
        case Mode::Bool: return sign3(std::int64_t{toBool(a, an)}, std::int64_t{toBool(b, bn)});
    }
    return 0;
}

struct CompareNode final : CondNode {
    CmpOp op = CmpOp::Eq;
    Mode mode = Mode::Text;
    NodeP l, r;

    bool test(const Row& row) const override {
        Val a;
        l->eval(row, a);
        if (a.isNull()) return false;
        Val b;
        r->eval(row, b);
        if (b.isNull()) return false;
        return applyOp(op, compareValues(mode, a, *l, b, *r));
    }
};

// x = 'abc*': x begins with "abc".
struct PrefixNode final : CondNode {
    NodeP operand;
    std::string prefix;

    bool test(const Row& row) const override {
        Val a;
        operand->eval(row, a);
        if (a.isNull()) return false;
        return toText(a).substr(0, prefix.size()) == prefix;
    }
};

struct BlankNode final : CondNode {
    NodeP operand;
    bool negate = false;

    bool test(const Row& row) const override {
        Val a;
        operand->eval(row, a);
        const bool blank = a.isNull() || (a.k == VK::Text && a.text().empty());
        return blank != negate;
    }
};

struct IsNullNode final : CondNode {
    NodeP operand;
    bool negate = false;

    bool test(const Row& row) const override {
        Val a;
        operand->eval(row, a);
        return a.isNull() != negate;
    }
};

// '%' any run of characters, '_' one character; no recursion.
bool likeMatch(std::string_view s, std::string_view p) {
    std::size_t si = 0, pi = 0;
    std::size_t starP = std::string_view::npos, starS = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '%') {
            starP = pi++;
            starS = si;
        } else if (pi < p.size() && (p[pi] == '_' || p[pi] == s[si])) {
            ++si;
            ++pi;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            si = ++starS;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '%') ++pi;
    return pi == p.size();
}

struct LikeNode final : CondNode {
    NodeP l, pattern;
    bool negate = false;

    bool test(const Row& row) const override {
        Val a;
        l->eval(row, a);
        if (a.isNull()) return false;
        Val p;
        pattern->eval(row, p);
        if (p.isNull()) return false;
        return likeMatch(toText(a), toText(p)) != negate;
    }
};

struct InNode final : CondNode {
    NodeP l;
    std::vector<std::pair<NodeP, Mode>> items;
    bool negate = false;

    bool test(const Row& row) const override {
        Val a;
        l->eval(row, a);
        if (a.isNull()) return false;
        bool found = false;
        for (const auto& [item, mode] : items) {
            Val b;
            item->eval(row, b);
            if (b.isNull()) continue;
            Val left;
            left.copyFrom(a);
            if (compareValues(mode, left, *l, b, *item) == 0) {
                found = true;
                break;
            }
        }
        return found != negate;
    }
};

struct AndNode final : CondNode {
    std::vector<NodeP> items;
    bool test(const Row& row) const override {
        for (const auto& n : items)
            if (!n->test(row)) return false;
        return true;
    }
};

struct OrNode final : CondNode {
    std::vector<NodeP> items;
    bool test(const Row& row) const override {
        for (const auto& n : items)
            if (n->test(row)) return true;
        return false;
    }
};

struct NotNode final : CondNode {
    NodeP operand;
    bool test(const Row& row) const override { return !operand->test(row); }
};

// ---- arithmetic ---------------------------------------------------------------------------------

Num addNum(Num a, Num b, bool subtract) {
    if (a.k != Num::F && b.k != Num::F) {
        std::int64_t x = a.i, y = b.i, r = 0;
        bool exact = a.k == b.k || toCommonScale(a, b, x, y);
        if (exact && !(subtract ? __builtin_sub_overflow(x, y, &r) : __builtin_add_overflow(x, y, &r)))
            return a.k == Num::I && b.k == Num::I ? Num::integer(r) : Num::scaled(r);
    }
    return Num::real(subtract ? a.asDouble() - b.asDouble() : a.asDouble() + b.asDouble());
}

Num mulNum(Num a, Num b) {
    std::int64_t r = 0;
    if (a.k == Num::I && b.k == Num::I && !__builtin_mul_overflow(a.i, b.i, &r)) return Num::integer(r);
    if (((a.k == Num::I && b.k == Num::C) || (a.k == Num::C && b.k == Num::I)) && !__builtin_mul_overflow(a.i, b.i, &r))
        return Num::scaled(r);
    return Num::real(a.asDouble() * b.asDouble());
}

struct ArithNode final : Node {
    char op = '+';
    NodeP l, r;

    void eval(const Row& row, Val& out) const override {
        Val a;
        l->eval(row, a);
        if (a.isNull()) return;
        Val b;
        r->eval(row, b);
        if (b.isNull()) return;
        if (type == ST::Text) {  // joining texts
            std::string joined(toText(a));
            joined.append(toText(b));
            out.setOwned(std::move(joined));
            return;
        }
        if (type == ST::DateLike) {  // date +/- days
            const bool dateLeft = l->type == ST::DateLike;
            const Val& dv = dateLeft ? a : b;
            const Num days = toNum(dateLeft ? b : a, dateLeft ? *r : *l);
            const DateTimeMs base = toDateMs(dv, dateLeft ? *l : *r);
            const bool whole = days.k == Num::I || (days.k == Num::C && days.i % 10000 == 0);
            const double delta = (op == '-' ? -1.0 : 1.0) * days.asDouble();
            if (!(std::fabs(delta) < 4.0e6)) runtimeError(*ctx, "data fuori intervallo in " + std::string(source()));
            if (whole && dv.k == VK::Date) {
                out.k = VK::Date;
                out.i = dv.i + static_cast<std::int64_t>(delta);
            } else {
                out.k = VK::DateTime;
                out.i = base + std::llround(delta * static_cast<double>(kMsPerDay));
            }
            return;
        }
        if (l->type == ST::DateLike && type == ST::Number) {  // days between two dates
            if (a.k == VK::Date && b.k == VK::Date) {
                out.setNum(Num::integer(a.i - b.i));
            } else {
                const double ms = static_cast<double>(toDateMs(a, *l) - toDateMs(b, *r));
                out.setNum(Num::real(ms / static_cast<double>(kMsPerDay)));
            }
            return;
        }
        const Num x = toNum(a, *l);
        const Num y = toNum(b, *r);
        switch (op) {
            case '+': out.setNum(addNum(x, y, false)); return;
            case '-': out.setNum(addNum(x, y, true)); return;
            case '*': out.setNum(mulNum(x, y)); return;
            default:
                if (y.asDouble() == 0) runtimeError(*ctx, "divisione per zero in " + std::string(source()));
                out.setNum(Num::real(x.asDouble() / y.asDouble()));
                return;
        }
    }
};

struct NegNode final : Node {
    NodeP operand;
    void eval(const Row& row, Val& out) const override {
        Val a;
        operand->eval(row, a);
        if (a.isNull()) return;
        const Num n = toNum(a, *operand);
        if (n.k == Num::F || n.i == std::numeric_limits<std::int64_t>::min())
            out.setNum(Num::real(-n.asDouble()));
        else
            out.setNum(Num{n.k, -n.i, 0});
    }
};

// ---- functions -------------------------------------------------------------------------------------

enum class Fn : std::uint8_t { Upper, Lower, Substring, Trim, TrimLeft, TrimRight, Year, Month, Day, Hour, Minute, Second,
                               GetDate, Date, Time };

// Argument kinds: 'T' text, 'N' number, 'D' date (or text holding one), 'H' time or date.
struct FnInfo {
    const char* name;
    Fn fn;
    int minArgs;
    int maxArgs;
    const char* args;
    ST result;
};

constexpr FnInfo kFunctions[] = {
    {"Upper", Fn::Upper, 1, 1, "T", ST::Text},
    {"Lower", Fn::Lower, 1, 1, "T", ST::Text},
    {"Substring", Fn::Substring, 2, 3, "TNN", ST::Text},
    {"Trim", Fn::Trim, 1, 2, "TT", ST::Text},
    {"TrimLeft", Fn::TrimLeft, 1, 2, "TT", ST::Text},
    {"TrimRight", Fn::TrimRight, 1, 2, "TT", ST::Text},
    {"Year", Fn::Year, 1, 1, "D", ST::Number},
    {"Month", Fn::Month, 1, 1, "D", ST::Number},
    {"Day", Fn::Day, 1, 1, "D", ST::Number},
    {"Hour", Fn::Hour, 1, 1, "H", ST::Number},
    {"Minute", Fn::Minute, 1, 1, "H", ST::Number},
    {"Second", Fn::Second, 1, 1, "H", ST::Number},
    {"GetDate", Fn::GetDate, 0, 0, "", ST::DateLike},
    {"Date", Fn::Date, 1, 1, "D", ST::DateLike},
    {"Time", Fn::Time, 1, 1, "H", ST::Time},
};

const FnInfo* findFunction(std::string_view name) {
    for (const FnInfo& f : kFunctions)
        if (sameNoCase(name, f.name)) return &f;
    return nullptr;
}

bool argFits(char kind, ST t) {
    switch (kind) {
        case 'T': return t == ST::Text;
        case 'N': return numericLike(t);
        case 'D': return t == ST::DateLike || t == ST::Text;
        case 'H': return t == ST::Time || t == ST::DateLike || t == ST::Text;
        default: return false;
    }
}

// Keeps a view when the argument's text lives in the row or the filter.
void setSubText(Val& out, const Val& from, std::string_view part) {
    if (from.own)
        out.setOwned(std::string(part));
    else
        out.setView(part);
}

struct FunctionNode final : Node {
    const FnInfo* info = nullptr;
    std::vector<NodeP> args;

    void eval(const Row& row, Val& out) const override {
        Val a;
        args[0]->eval(row, a);
        if (a.isNull()) return;
        switch (info->fn) {
            case Fn::Upper:
            case Fn::Lower: {
                std::string t(a.text());
                for (char& c : t) {
                    const auto u = static_cast<unsigned char>(c);
                    c = static_cast<char>(info->fn == Fn::Upper ? upperAnsi(u) : lowerAnsi(u));
                }
                out.setOwned(std::move(t));
                return;
            }
            case Fn::Substring: {
                Val sv;
                args[1]->eval(row, sv);
                if (sv.isNull()) return;
                std::int64_t start = numToInt(toNum(sv, *args[1]));
                const std::string_view t = a.text();
                std::int64_t count = static_cast<std::int64_t>(t.size());
                if (args.size() > 2) {
                    Val cv;
                    args[2]->eval(row, cv);
                    if (cv.isNull()) return;
                    count = numToInt(toNum(cv, *args[2]));
                }
                if (start < 1) start = 1;
                if (count < 0 || start > static_cast<std::int64_t>(t.size())) count = 0;
                count = std::min<std::int64_t>(count, static_cast<std::int64_t>(t.size()) - start + 1);
                setSubText(out, a, count > 0 ? t.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count))
                                             : std::string_view());
                return;
            }
            case Fn::Trim:
            case Fn::TrimLeft:
            case Fn::TrimRight: {
                char strip = ' ';
                if (args.size() > 1) {
                    Val cv;
                    args[1]->eval(row, cv);
                    if (cv.isNull()) return;
                    if (!cv.text().empty()) strip = cv.text().front();
                }
                std::string_view t = a.text();
                if (info->fn != Fn::TrimRight)
                    while (!t.empty() && t.front() == strip) t.remove_prefix(1);
                if (info->fn != Fn::TrimLeft)
                    while (!t.empty() && t.back() == strip) t.remove_suffix(1);
                setSubText(out, a, t);
                return;
            }
            case Fn::Year:
            case Fn::Month:
            case Fn::Day: {
                const CivilDate c = decodeDate(datePart(toDateMs(a, *args[0])));
                out.setNum(Num::integer(info->fn == Fn::Year ? c.year : info->fn == Fn::Month ? c.month : c.day));
                return;
            }
            case Fn::Hour:
            case Fn::Minute:
            case Fn::Second: {
                const TimeOfDay ms = toTimeMs(a, *args[0]);
                const int v = info->fn == Fn::Hour ? ms / 3'600'000 : info->fn == Fn::Minute ? ms / 60'000 % 60 : ms / 1000 % 60;
                out.setNum(Num::integer(v));
                return;
            }
            case Fn::Date:
                out.k = VK::Date;
                out.i = datePart(toDateMs(a, *args[0]));
                return;
            case Fn::Time:
                out.k = VK::Time;
                out.i = toTimeMs(a, *args[0]);
                return;
            default: return;
        }
    }
};

// ---- reading the text --------------------------------------------------------------------------------

enum class Tok : std::uint8_t { End, Name, Bracketed, Text, Number, Sym };

struct Token {
    Tok kind = Tok::End;
    int pos = 0;
    int len = 0;
    std::string value;  // name, text literal (quotes undone), number text or symbol
};

class Parser {
public:
    Parser(const Ctx& ctx, const std::vector<FieldDef>& fields) : ctx_(ctx), fields_(fields) { tokenize(); }

    NodeP parse() {
        NodeP root = parseOr();
        requireCondition(*root);
        if (peek().kind != Tok::End) {
            if (isSym(")")) fail(peek().pos, "')' senza '(' corrispondente");
            fail(peek().pos, "AND, OR o fine del filtro attesi");
        }
        return root;
    }

private:
    [[noreturn]] void fail(int pos, const std::string& what) const {
        throw DataError("Filtro non valido \"" + ctx_.text + "\": " + what + " alla posizione " + std::to_string(pos + 1));
    }

    // ---- tokens ----
    void tokenize() {
        const std::string& t = ctx_.text;
        const int n = static_cast<int>(t.size());
        int i = 0;
        while (i < n) {
            const char c = t[i];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++i;
                continue;
            }
            Token tok;
            tok.pos = i;
            if (c == '\'') {
                tok.kind = Tok::Text;
                int j = i + 1;
                for (;;) {
                    if (j >= n) fail(i, "testo non terminato");
                    if (t[j] == '\'') {
                        if (j + 1 < n && t[j + 1] == '\'') {
                            tok.value += '\'';
                            j += 2;
                            continue;
                        }
                        ++j;
                        break;
                    }
                    tok.value += t[j++];
                }
                i = j;
            } else if (c == '[') {
                const std::size_t close = t.find(']', static_cast<std::size_t>(i) + 1);
                if (close == std::string::npos) fail(i, "nome di campo senza ']'");
                tok.kind = Tok::Bracketed;
                tok.value = t.substr(static_cast<std::size_t>(i) + 1, close - static_cast<std::size_t>(i) - 1);
                if (tok.value.empty()) fail(i, "nome di campo vuoto");
                i = static_cast<int>(close) + 1;
            } else if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(t[i + 1]))) {
                tok.kind = Tok::Number;
                int j = i;
                while (j < n && isDigit(t[j])) ++j;
                if (j < n && t[j] == '.') {
                    ++j;
                    while (j < n && isDigit(t[j])) ++j;
                }
                if (j < n && (t[j] == 'e' || t[j] == 'E')) {
                    int k = j + 1;
                    if (k < n && (t[k] == '+' || t[k] == '-')) ++k;
                    if (k < n && isDigit(t[k])) {
                        j = k;
                        while (j < n && isDigit(t[j])) ++j;
                    }
                }
                if (j < n && (isNameChar(t[j]) || t[j] == '.')) fail(i, "numero non valido");
                tok.value = t.substr(static_cast<std::size_t>(i), static_cast<std::size_t>(j - i));
                i = j;
            } else if (isNameStart(c)) {
                tok.kind = Tok::Name;
                int j = i;
                while (j < n && isNameChar(t[j])) ++j;
                tok.value = t.substr(static_cast<std::size_t>(i), static_cast<std::size_t>(j - i));
                i = j;
            } else {
                tok.kind = Tok::Sym;
                const char d = i + 1 < n ? t[i + 1] : '\0';
                if ((c == '<' && (d == '=' || d == '>')) || (c == '>' && d == '=')) {
                    tok.value = {c, d};
                } else if (std::string_view("=<>+-*/(),").find(c) != std::string_view::npos) {
                    tok.value = std::string(1, c);
                } else {
                    fail(i, "carattere non valido");
                }
                i += static_cast<int>(tok.value.size());
            }
            tok.len = i - tok.pos;
            tokens_.push_back(std::move(tok));
        }
        Token end;
        end.pos = n;
        tokens_.push_back(end);
    }

    const Token& peek(std::size_t ahead = 0) const {
        return tokens_[std::min(cur_ + ahead, tokens_.size() - 1)];
    }
    const Token& advance() {
        const Token& t = tokens_[cur_];
        if (cur_ + 1 < tokens_.size()) ++cur_;
        lastEnd_ = t.pos + t.len;
        return t;
    }
    bool isSym(std::string_view s, std::size_t ahead = 0) const {
        return peek(ahead).kind == Tok::Sym && peek(ahead).value == s;
    }
    bool isKeyword(std::string_view k, std::size_t ahead = 0) const {
        return peek(ahead).kind == Tok::Name && sameNoCase(peek(ahead).value, k);
    }
    static bool reserved(std::string_view name) {
        for (const char* k : {"AND", "OR", "NOT", "IS", "NULL", "LIKE", "IN", "BLANK"})
            if (sameNoCase(name, k)) return true;
        return false;
    }

    // ---- nesting guard ----
    struct Nest {
        Parser& p;
        Nest(Parser& parser, int pos) : p(parser) {
            if (++p.depth_ > kMaxDepth) p.fail(pos, "filtro troppo annidato");
        }
        ~Nest() { --p.depth_; }
    };

    template <class T>
    std::unique_ptr<T> make(int pos, int end, ST type) {
        auto n = std::make_unique<T>();
        n->ctx = &ctx_;
        n->pos = pos;
        n->len = end - pos;
        n->type = type;
        return n;
    }
    // Sets the depth of a node from its children and refuses too deep a tree
    // (evaluation recurses along it).
    void seal(Node& n, std::initializer_list<const Node*> children) {
        int d = 0;
        for (const Node* c : children) d = std::max(d, c->depth);
        n.depth = d + 1;
        if (n.depth > kMaxDepth) fail(n.pos, "filtro troppo annidato");
    }
    void sealItems(Node& n, const std::vector<NodeP>& items) {
        int d = 0;
        for (const auto& c : items) d = std::max(d, c->depth);
        n.depth = d + 1;
        if (n.depth > kMaxDepth) fail(n.pos, "filtro troppo annidato");
    }

    void requireCondition(const Node& n) const {
        if (n.type != ST::Bool) fail(peek().pos, "operatore di confronto atteso");
    }

    // ---- conditions ----
    NodeP parseOr() {
        Nest nest(*this, peek().pos);
        NodeP first = parseAnd();
        if (!isKeyword("OR")) return first;
        auto node = make<OrNode>(first->pos, 0, ST::Bool);
        requireCondition(*first);
        node->items.push_back(std::move(first));
        while (isKeyword("OR")) {
            advance();
            NodeP next = parseAnd();
            requireCondition(*next);
            node->items.push_back(std::move(next));
        }
        node->len = lastEnd_ - node->pos;
        sealItems(*node, node->items);
        return node;
    }

    NodeP parseAnd() {
        NodeP first = parseNot();
        if (!isKeyword("AND")) return first;
        auto node = make<AndNode>(first->pos, 0, ST::Bool);
        requireCondition(*first);
        node->items.push_back(std::move(first));
        while (isKeyword("AND")) {
            advance();
            NodeP next = parseNot();
            requireCondition(*next);
            node->items.push_back(std::move(next));
        }
        node->len = lastEnd_ - node->pos;
        sealItems(*node, node->items);
        return node;
    }

    NodeP parseNot() {
        if (!isKeyword("NOT")) return parsePredicate();
        const int pos = advance().pos;
        Nest nest(*this, pos);
        NodeP operand = parseNot();
        requireCondition(*operand);
        auto node = make<NotNode>(pos, lastEnd_, ST::Bool);
        seal(*node, {operand.get()});
        node->operand = std::move(operand);
        return node;
    }

    NodeP parsePredicate() {
        NodeP left = parseSum();
        const Token& t = peek();
        if (t.kind == Tok::Sym && (t.value == "=" || t.value == "<>" || t.value == "<" || t.value == ">" ||
                                   t.value == "<=" || t.value == ">=")) {
            const std::string op = advance().value;
            const int opPos = t.pos;
            if (isKeyword("BLANK")) {
                if (op != "=" && op != "<>") fail(peek().pos, "BLANK ammesso solo con = o <>");
                advance();
                auto node = make<BlankNode>(left->pos, lastEnd_, ST::Bool);
                node->negate = op == "<>";
                seal(*node, {left.get()});
                node->operand = std::move(left);
                return node;
            }
            NodeP right = parseSum();
            const CmpOp cmp = op == "=" ? CmpOp::Eq : op == "<>" ? CmpOp::Ne : op == "<" ? CmpOp::Lt
                            : op == ">" ? CmpOp::Gt : op == "<=" ? CmpOp::Le : CmpOp::Ge;
            return makeComparison(cmp, std::move(left), std::move(right), opPos);
        }
        if (isKeyword("IS")) {
            advance();
            bool negate = false;
            if (isKeyword("NOT")) {
                advance();
                negate = true;
            }
            if (!isKeyword("NULL")) fail(peek().pos, "NULL atteso");
            advance();
            auto node = make<IsNullNode>(left->pos, lastEnd_, ST::Bool);
            node->negate = negate;
            seal(*node, {left.get()});
            node->operand = std::move(left);
            return node;
        }
        bool negate = false;
        if (isKeyword("NOT") && (isKeyword("LIKE", 1) || isKeyword("IN", 1))) {
            advance();
            negate = true;
        }
        if (isKeyword("LIKE")) {
            advance();
            if (left->type != ST::Text && left->type != ST::Number) fail(left->pos, "LIKE richiede un testo");
            NodeP pattern = parseSum();
            if (pattern->type != ST::Text) fail(pattern->pos, "modello di testo atteso dopo LIKE");
            auto node = make<LikeNode>(left->pos, lastEnd_, ST::Bool);
            node->negate = negate;
            seal(*node, {left.get(), pattern.get()});
            node->l = std::move(left);
            node->pattern = std::move(pattern);
            return node;
        }
        if (isKeyword("IN")) {
            advance();
            if (!isSym("(")) fail(peek().pos, "'(' attesa dopo IN");
            advance();
            auto node = make<InNode>(left->pos, 0, ST::Bool);
            node->negate = negate;
            int d = left->depth;
            for (;;) {
                NodeP item = parseSum();
                const Mode mode = comparisonMode(*left, item, item->pos);
                d = std::max(d, item->depth);
                node->items.emplace_back(std::move(item), mode);
                if (isSym(",")) {
                    advance();
                    continue;
                }
                if (!isSym(")")) fail(peek().pos, "',' o ')' attesa");
                advance();
                break;
            }
            node->len = lastEnd_ - node->pos;
            node->depth = d + 1;
            if (node->depth > kMaxDepth) fail(node->pos, "filtro troppo annidato");
            node->l = std::move(left);
            return node;
        }
        if (negate) fail(peek().pos, "LIKE o IN atteso");
        return left;
    }

    // How two operands compare; converts a text literal to the other side's
    // type now, so that a wrong literal is reported here with its position.
    Mode comparisonMode(const Node& other, NodeP& literal, int pos) {
        const std::optional<Mode> mode = chooseMode(other.type, literal->type);
        if (!mode) fail(pos, "valori non confrontabili");
        convertLiteral(literal, *mode);
        return *mode;
    }

    static std::optional<Mode> chooseMode(ST a, ST b) {
        if (a == ST::Bytes || b == ST::Bytes) return std::nullopt;
        if (a == ST::Text && b == ST::Text) return Mode::Text;
        const auto either = [&](ST x, ST y) { return (a == x && b == y) || (a == y && b == x); };
        if (either(ST::DateLike, ST::DateLike) || either(ST::DateLike, ST::Text)) return Mode::Date;
        if (either(ST::DateLike, ST::Number)) return Mode::Num;
        if (either(ST::Time, ST::Time) || either(ST::Time, ST::Text)) return Mode::Time;
        if (either(ST::Bool, ST::Bool) || either(ST::Bool, ST::Text)) return Mode::Bool;
        if (numericLike(a) && numericLike(b)) return Mode::Num;
        return std::nullopt;
    }

    void convertLiteral(NodeP& node, Mode mode) {
        if (node->kind != NodeKind::TextLiteral || mode == Mode::Text) return;
        auto* lit = static_cast<LiteralNode*>(node.get());
        const std::string& t = lit->text;
        Val v;
        switch (mode) {
            case Mode::Num: {
                Num n;
                if (!parseNumberText(t, n)) fail(lit->pos, "numero non valido '" + t + "'");
                v.setNum(n);
                break;
            }
            case Mode::Date: {
                DateTimeMs ms = 0;
                bool hasTime = false;
                if (!parseDateTimeText(t, ms, hasTime)) fail(lit->pos, "data non valida '" + t + "'");
                v.k = hasTime ? VK::DateTime : VK::Date;
                v.i = hasTime ? ms : datePart(ms);
                break;
            }
            case Mode::Time: {
                TimeOfDay ms = 0;
                if (!parseTimeText(t, ms)) fail(lit->pos, "ora non valida '" + t + "'");
                v.k = VK::Time;
                v.i = ms;
                break;
            }
            case Mode::Bool: {
                bool b = false;
                if (!parseBoolText(t, b)) fail(lit->pos, "valore logico non valido '" + t + "'");
                v.k = VK::Bool;
                v.i = b;
                break;
            }
            case Mode::Text: break;
        }
        lit->value.copyFrom(v);
        lit->kind = NodeKind::Literal;
        lit->type = mode == Mode::Num ? ST::Number : mode == Mode::Date ? ST::DateLike : mode == Mode::Time ? ST::Time : ST::Bool;
    }

    NodeP makeComparison(CmpOp op, NodeP l, NodeP r, int opPos) {
        // Partial comparison: = 'abc*' compares the beginning of a text.
        if (op == CmpOp::Eq) {
            for (NodeP* lit : {&r, &l}) {
                NodeP& other = lit == &r ? l : r;
                if ((*lit)->kind == NodeKind::TextLiteral && other->type == ST::Text) {
                    const std::string& t = static_cast<LiteralNode&>(**lit).text;
                    if (!t.empty() && t.back() == '*') {
                        auto node = make<PrefixNode>(std::min(l->pos, r->pos), lastEnd_, ST::Bool);
                        node->prefix = t.substr(0, t.size() - 1);
                        seal(*node, {other.get()});
                        node->operand = std::move(other);
                        return node;
                    }
                }
            }
        }
        const std::optional<Mode> mode = chooseMode(l->type, r->type);
        if (!mode) fail(opPos, "valori non confrontabili");
        convertLiteral(l, *mode);
        convertLiteral(r, *mode);
        auto node = make<CompareNode>(l->pos, lastEnd_, ST::Bool);
        node->op = op;
        node->mode = *mode;
        seal(*node, {l.get(), r.get()});
        node->l = std::move(l);
        node->r = std::move(r);
        return node;
    }

    // ---- expressions ----
    NodeP parseSum() {
        NodeP left = parseProduct();
        while (isSym("+") || isSym("-")) {
            const Token& opTok = advance();
            const char op = opTok.value[0];
            const int opPos = opTok.pos;
            NodeP right = parseProduct();
            left = makeArith(op, std::move(left), std::move(right), opPos);
        }
        return left;
    }

    NodeP parseProduct() {
        NodeP left = parseUnary();
        while (isSym("*") || isSym("/")) {
            const Token& opTok = advance();
            const char op = opTok.value[0];
            const int opPos = opTok.pos;
            NodeP right = parseUnary();
            left = makeArith(op, std::move(left), std::move(right), opPos);
        }
        return left;
    }

    NodeP makeArith(char op, NodeP l, NodeP r, int opPos) {
        // date - 'text': the days between two dates, unless the text is a
        // literal number.
        bool daysBetween = op == '-' && l->type == ST::DateLike && r->type == ST::DateLike;
        if (op == '-' && l->type == ST::DateLike && r->type == ST::Text) {
            Num ignored;
            daysBetween = r->kind != NodeKind::TextLiteral ||
                          !parseNumberText(static_cast<LiteralNode&>(*r).text, ignored);
            if (daysBetween) convertLiteral(r, Mode::Date);
        }
        const ST a = l->type, b = r->type;
        ST result;
        if (daysBetween)
            result = ST::Number;
        else if (op == '+' && a == ST::Text && b == ST::Text)
            result = ST::Text;
        else if (op == '+' && ((a == ST::DateLike && numericLike(b)) || (b == ST::DateLike && numericLike(a))))
            result = ST::DateLike;
        else if (op == '-' && a == ST::DateLike && numericLike(b))
            result = ST::DateLike;
        else if (numericLike(a) && numericLike(b))
            result = ST::Number;
        else
            fail(opPos, std::string("operandi non validi per '") + op + "'");
        // A text literal used as a number is converted once, here.
        if (result != ST::Text) {
            if (a != ST::DateLike) convertLiteral(l, Mode::Num);
            if (b != ST::DateLike) convertLiteral(r, Mode::Num);
        }
        auto node = make<ArithNode>(l->pos, lastEnd_, result);
        node->op = op;
        seal(*node, {l.get(), r.get()});
        node->l = std::move(l);
        node->r = std::move(r);
        return node;
    }

    NodeP parseUnary() {
        if (!isSym("-") && !isSym("+")) return parsePrimary();
        const Token& signTok = advance();
        const bool minus = signTok.value == "-";
        const int pos = signTok.pos;
        Nest nest(*this, pos);
        NodeP operand = parseUnary();
        if (!numericLike(operand->type)) fail(pos, "numero atteso dopo il segno");
        convertLiteral(operand, Mode::Num);
        if (!minus) {
            operand->pos = pos;
            operand->len = lastEnd_ - pos;
            return operand;
        }
        if (operand->kind == NodeKind::Literal && operand->type == ST::Number) {  // fold -3
            auto* lit = static_cast<LiteralNode*>(operand.get());
            Num n = toNum(lit->value, *lit);
            n = (n.k == Num::F || n.i == std::numeric_limits<std::int64_t>::min()) ? Num::real(-n.asDouble())
                                                                                  : Num{n.k, -n.i, 0};
            lit->value.setNum(n);
            lit->pos = pos;
            lit->len = lastEnd_ - pos;
            return operand;
        }
        auto node = make<NegNode>(pos, lastEnd_, ST::Number);
        seal(*node, {operand.get()});
        node->operand = std::move(operand);
        return node;
    }

    NodeP parsePrimary() {
        const Token& t = peek();
        switch (t.kind) {
            case Tok::Number: {
                advance();
                auto lit = make<LiteralNode>(t.pos, t.pos + t.len, ST::Number);
                lit->kind = NodeKind::Literal;
                Num n;
                if (!parseNumberText(t.value, n)) fail(t.pos, "numero non valido");
                lit->value.setNum(n);
                return lit;
            }
            case Tok::Text: {
                advance();
                auto lit = make<LiteralNode>(t.pos, t.pos + t.len, ST::Text);
                lit->kind = NodeKind::TextLiteral;
                lit->text = t.value;
                lit->value.setView(lit->text);
                return lit;
            }
            case Tok::Bracketed: {
                advance();
                return fieldNode(t);
            }
            case Tok::Name: {
                if (isSym("(", 1)) return parseCall();
                if (reserved(t.value)) break;
                if (findField(t.value) >= 0) {
                    advance();
                    return fieldNode(t);
                }
                if (sameNoCase(t.value, "GetDate")) {
                    advance();
                    return make<GetDateNode>(t.pos, t.pos + t.len, ST::DateLike);
                }
                if (sameNoCase(t.value, "TRUE") || sameNoCase(t.value, "FALSE")) {
                    advance();
                    auto lit = make<LiteralNode>(t.pos, t.pos + t.len, ST::Bool);
                    lit->kind = NodeKind::Literal;
                    lit->value.k = VK::Bool;
                    lit->value.i = sameNoCase(t.value, "TRUE");
                    return lit;
                }
                return fieldNode(t);  // reports the unknown field
            }
            case Tok::Sym: {
                if (t.value != "(") break;
                const int open = advance().pos;
                NodeP inner = parseOr();
                if (!isSym(")")) fail(peek().pos, "')' attesa");
                advance();
                inner->pos = open;
                inner->len = lastEnd_ - open;
                return inner;
            }
            case Tok::End: break;
        }
        fail(t.pos, "valore atteso");
    }

    int findField(std::string_view name) const {
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (sameNoCase(fields_[i].name, name)) return static_cast<int>(i);
        return -1;
    }

    NodeP fieldNode(const Token& t) {
        const int index = findField(t.value);
        if (index < 0) fail(t.pos, "campo sconosciuto " + quotedValue(t.value));
        auto node = make<FieldNode>(t.pos, t.pos + t.len, staticTypeOf(fields_[static_cast<std::size_t>(index)].type));
        node->kind = NodeKind::Field;
        node->index = static_cast<std::size_t>(index);
        return node;
    }

    NodeP parseCall() {
        const Token& nameTok = advance();
        const FnInfo* info = findFunction(nameTok.value);
        if (!info) fail(nameTok.pos, "funzione sconosciuta " + quotedValue(nameTok.value));
        const int pos = nameTok.pos;
        Nest nest(*this, pos);
        advance();  // '('
        if (info->fn == Fn::GetDate) {
            if (!isSym(")")) fail(peek().pos, "')' attesa");
            advance();
            return make<GetDateNode>(pos, lastEnd_, ST::DateLike);
        }
        std::vector<NodeP> args;
        if (!isSym(")")) {
            for (;;) {
                args.push_back(parseSum());
                if (!isSym(",")) break;
                advance();
            }
        }
        if (!isSym(")")) fail(peek().pos, "')' attesa");
        advance();
        const int count = static_cast<int>(args.size());
        if (count < info->minArgs || count > info->maxArgs)
            fail(pos, std::string("numero di argomenti errato per ") + info->name);
        auto node = make<FunctionNode>(pos, lastEnd_, info->result);
        int d = 0;
        for (int i = 0; i < count; ++i) {
            NodeP& arg = args[static_cast<std::size_t>(i)];
            if (!argFits(info->args[i], arg->type))
                fail(arg->pos, std::string("argomento non valido per ") + info->name);
            if (info->args[i] == 'N') convertLiteral(arg, Mode::Num);
            d = std::max(d, arg->depth);
        }
        node->depth = d + 1;
        if (node->depth > kMaxDepth) fail(pos, "filtro troppo annidato");
        node->info = info;
        node->args = std::move(args);
        return node;
    }

    const Ctx& ctx_;
    const std::vector<FieldDef>& fields_;
    std::vector<Token> tokens_;
    std::size_t cur_ = 0;
    int depth_ = 0;
    int lastEnd_ = 0;
};

class FilterImpl final : public CompiledFilter {
public:
    FilterImpl(std::unique_ptr<Ctx> ctx, NodeP root) : ctx_(std::move(ctx)), root_(std::move(root)) {}
    bool matches(const Row& row) const override { return root_->test(row); }

private:
    std::unique_ptr<Ctx> ctx_;
    NodeP root_;
};

}  // namespace

std::unique_ptr<CompiledFilter> compileFilter(std::string_view text, const std::vector<FieldDef>& fields) {
    auto ctx = std::make_unique<Ctx>();
    ctx->text = std::string(text);
    NodeP root = Parser(*ctx, fields).parse();
    return std::make_unique<FilterImpl>(std::move(ctx), std::move(root));
}

}  // namespace doz
