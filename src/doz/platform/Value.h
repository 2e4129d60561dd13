// A typed value of a table field, or null.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/Dates.h"

namespace doz {

// The field types the tables hold. Text is 8-bit Windows-1252; wide text from
// the packets is converted on reading (FieldDef::wide remembers the origin).
enum class FieldType {
    String,
    Int8,
    Int16,
    Int32,
    Int64,
    UInt8,
    UInt16,
    UInt32,
    UInt64,
    Boolean,
    Float,
    Currency,  // fixed point, four decimals
    Bcd,       // decimal number of declared precision and scale, held as text
    Date,
    Time,
    DateTime,
    Memo,
    Blob,
};

// Lower-case name used by the dump: "string", "int32", "currency", ...
const char* fieldTypeName(FieldType t);
bool isIntegerType(FieldType t);
bool isTextType(FieldType t);  // String, Memo

struct Currency {
    std::int64_t scaled = 0;  // ten-thousandths
    friend bool operator==(Currency a, Currency b) { return a.scaled == b.scaled; }
};

// A BCD value as canonical decimal text: optional '-', digits, optional '.' and
// digits; no exponent, no leading '+'.
struct Decimal {
    std::string text;
    friend bool operator==(const Decimal& a, const Decimal& b) { return a.text == b.text; }
};

struct Date {
    DaySerial serial = 0;
    friend bool operator==(Date a, Date b) { return a.serial == b.serial; }
};
struct Time {
    TimeOfDay ms = 0;
    friend bool operator==(Time a, Time b) { return a.ms == b.ms; }
};
struct DateTime {
    DateTimeMs ms = 0;
    friend bool operator==(DateTime a, DateTime b) { return a.ms == b.ms; }
};

using Bytes = std::vector<std::uint8_t>;

// What a value hands out for its text-like kinds: views into the value, valid
// while the value (or a copy of it) lives unchanged.
struct DecimalRef {
    std::string_view text;
};
class BytesRef {
public:
    BytesRef(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    const std::uint8_t* begin() const { return data_; }
    const std::uint8_t* end() const { return data_ + size_; }
    std::uint8_t operator[](std::size_t k) const { return data_[k]; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A value in 16 bytes: the kind, and the number, or the text inline when it
// has 14 bytes or fewer, or a pointer to a block that holds a longer text (or
// a BCD's text, or a blob) and is shared by every copy of the value. Copying
// a value never copies its text. Integers of every width are held as int64_t
// (unsigned 64-bit values above INT64_MAX as uint64_t).
//
// The count of a shared block is not atomic: a value and its copies belong to
// one thread at a time.
class Value {
public:
    // Texts of up to this many bytes are held inside the value, without a block.
    static constexpr std::size_t kInlineBytes = 14;

    // In the order the kinds sort among themselves (see index()).
    enum class Kind : std::uint8_t { Null, Bool, Int, UInt, Float, Currency, Decimal, Date, Time, DateTime, Text, Bytes };

    Value() noexcept { setScalar(Kind::Null, 0); }
    Value(bool v) noexcept { setScalar(Kind::Bool, v ? 1 : 0); }
    Value(int v) noexcept { setScalar(Kind::Int, static_cast<std::int64_t>(v)); }
    Value(std::int64_t v) noexcept { setScalar(Kind::Int, v); }
    Value(std::uint64_t v) noexcept { setScalar(Kind::UInt, static_cast<std::int64_t>(v)); }
    Value(double v) noexcept { setScalar(Kind::Float, std::bit_cast<std::int64_t>(v)); }
    Value(Currency v) noexcept { setScalar(Kind::Currency, v.scaled); }
    Value(const Decimal& v) { setText(Kind::Decimal, v.text); }
    Value(DecimalRef v) { setText(Kind::Decimal, v.text); }
    Value(Date v) noexcept { setScalar(Kind::Date, v.serial); }
    Value(Time v) noexcept { setScalar(Kind::Time, v.ms); }
    Value(DateTime v) noexcept { setScalar(Kind::DateTime, v.ms); }
    Value(std::string_view v) { setText(Kind::Text, v); }
    Value(const std::string& v) { setText(Kind::Text, v); }
    Value(const char* v) { setText(Kind::Text, v); }
    Value(const Bytes& v) {
        setText(Kind::Bytes, std::string_view(reinterpret_cast<const char*>(v.data()), v.size()));
    }
    Value(BytesRef v) { setText(Kind::Bytes, std::string_view(reinterpret_cast<const char*>(v.data()), v.size())); }

    Value(const Value& o) noexcept : u_(o.u_) {
        if (o.shared()) ++u_.w.block->refs;
    }
    Value(Value&& o) noexcept : u_(o.u_) { o.setScalar(Kind::Null, 0); }
    Value& operator=(const Value& o) noexcept {
        if (o.shared()) ++o.u_.w.block->refs;
        release();
        u_ = o.u_;
        return *this;
    }
    Value& operator=(Value&& o) noexcept {
        if (this != &o) {
            release();
            u_ = o.u_;
            o.setScalar(Kind::Null, 0);
        }
        return *this;
    }
    ~Value() { release(); }

    Kind kind() const { return static_cast<Kind>(u_.s.kind); }
    // The kind as a number, in the order of Kind.
    std::size_t index() const { return u_.s.kind; }
    bool isNull() const { return kind() == Kind::Null; }

    // is<T>() for T among bool, std::int64_t, std::uint64_t, double, Currency,
    // Decimal, Date, Time, DateTime, std::string, Bytes.
    template <class T>
    bool is() const {
        return kind() == kindOf<T>();
    }
    // The value as T (the kind must be T's): scalars by value, std::string as
    // a std::string_view, Decimal as a DecimalRef, Bytes as a BytesRef.
    template <class T>
    auto get() const {
        if constexpr (std::is_same_v<T, bool>) return u_.w.i != 0;
        else if constexpr (std::is_same_v<T, std::int64_t>) return u_.w.i;
        else if constexpr (std::is_same_v<T, std::uint64_t>) return static_cast<std::uint64_t>(u_.w.i);
        else if constexpr (std::is_same_v<T, double>) return std::bit_cast<double>(u_.w.i);
        else if constexpr (std::is_same_v<T, Currency>) return Currency{u_.w.i};
        else if constexpr (std::is_same_v<T, Date>) return Date{static_cast<DaySerial>(u_.w.i)};
        else if constexpr (std::is_same_v<T, Time>) return Time{static_cast<TimeOfDay>(u_.w.i)};
        else if constexpr (std::is_same_v<T, DateTime>) return DateTime{static_cast<DateTimeMs>(u_.w.i)};
        else if constexpr (std::is_same_v<T, std::string>) return text();
        else if constexpr (std::is_same_v<T, Decimal>) return DecimalRef{text()};
        else if constexpr (std::is_same_v<T, Bytes>) {
            const std::string_view b = text();
            return BytesRef{reinterpret_cast<const std::uint8_t*>(b.data()), b.size()};
        } else static_assert(sizeof(T) == 0, "not a kind of value");
    }
    // The bytes of a text, a BCD's text or a blob; empty for the other kinds.
    std::string_view text() const {
        if (u_.s.small) return std::string_view(u_.s.chars, static_cast<std::size_t>(u_.s.small - 1));
        if (shared()) return std::string_view(u_.w.block->data(), u_.w.block->size);
        return {};
    }

    // Calls f with the value as one of: std::monostate, bool, std::int64_t,
    // std::uint64_t, double, Currency, DecimalRef, Date, Time, DateTime,
    // std::string_view, BytesRef.
    template <class F>
    decltype(auto) visit(F&& f) const {
        switch (kind()) {
            case Kind::Null: return f(std::monostate{});
            case Kind::Bool: return f(get<bool>());
            case Kind::Int: return f(get<std::int64_t>());
            case Kind::UInt: return f(get<std::uint64_t>());
            case Kind::Float: return f(get<double>());
            case Kind::Currency: return f(get<Currency>());
            case Kind::Decimal: return f(get<Decimal>());
            case Kind::Date: return f(get<Date>());
            case Kind::Time: return f(get<Time>());
            case Kind::DateTime: return f(get<DateTime>());
            case Kind::Text: return f(text());
            case Kind::Bytes: break;
        }
        return f(get<Bytes>());
    }

    friend bool operator==(const Value& a, const Value& b);

private:
    // A longer text's bytes, with the count of the values that share them.
    struct Block {
        std::size_t refs;
        std::size_t size;
        char* data() { return reinterpret_cast<char*>(this + 1); }
    };

    template <class T>
    static constexpr Kind kindOf() {
        if constexpr (std::is_same_v<T, bool>) return Kind::Bool;
        else if constexpr (std::is_same_v<T, std::int64_t>) return Kind::Int;
        else if constexpr (std::is_same_v<T, std::uint64_t>) return Kind::UInt;
        else if constexpr (std::is_same_v<T, double>) return Kind::Float;
        else if constexpr (std::is_same_v<T, Currency>) return Kind::Currency;
        else if constexpr (std::is_same_v<T, Decimal>) return Kind::Decimal;
        else if constexpr (std::is_same_v<T, Date>) return Kind::Date;
        else if constexpr (std::is_same_v<T, Time>) return Kind::Time;
        else if constexpr (std::is_same_v<T, DateTime>) return Kind::DateTime;
        else if constexpr (std::is_same_v<T, std::string>) return Kind::Text;
        else if constexpr (std::is_same_v<T, Bytes>) return Kind::Bytes;
        else static_assert(sizeof(T) == 0, "not a kind of value");
    }

    static constexpr std::size_t kInline = kInlineBytes;

    // A text kind is either inline or in a block.
    bool shared() const { return u_.s.small == 0 && isTextKind(); }
    bool isTextKind() const {
        const Kind k = kind();
        return k == Kind::Text || k == Kind::Decimal || k == Kind::Bytes;
    }
    void setScalar(Kind k, std::int64_t payload) noexcept {
        u_.w.kind = static_cast<std::uint8_t>(k);
        u_.w.small = 0;
        for (std::uint8_t& b : u_.w.pad) b = 0;
        u_.w.i = payload;
    }
    // Short texts inline here (the readers build many of them); longer ones in a block.
    void setText(Kind k, std::string_view text) {
        if (text.size() > kInline) {
            setShared(k, text);
            return;
        }
        u_.s.kind = static_cast<std::uint8_t>(k);
        u_.s.small = static_cast<std::uint8_t>(text.size() + 1);
        std::memset(u_.s.chars, 0, kInline);
        if (!text.empty()) std::memcpy(u_.s.chars, text.data(), text.size());
    }
    void setShared(Kind k, std::string_view text);
    void release() noexcept {
        if (shared()) releaseShared();
    }
    void releaseShared() noexcept;

    // kind and small (inline length + 1; 0 when not inline) are in the same
    // place in both forms.
    struct InlineForm {
        std::uint8_t kind;
        std::uint8_t small;
        char chars[kInline];
    };
    struct WordForm {
        std::uint8_t kind;
        std::uint8_t small;
        std::uint8_t pad[6];
        union {
            std::int64_t i;  // every scalar (a double's bits)
            Block* block;
        };
    };
    union Both {
        InlineForm s;
        WordForm w;
    } u_;
};

static_assert(sizeof(Value) == 16, "a value is two words");

using Row = std::vector<Value>;

}  // namespace doz

namespace doz {

// A declared field of a table.
struct FieldDef {
    std::string name;
    FieldType type = FieldType::String;
    int size = 0;   // String: declared characters (0 = no limit); Bcd: precision; Memo/Blob: packet width
    int scale = 0;  // Bcd: decimals
    bool required = false;
    bool readOnly = false;
    bool wide = false;    // String/Memo that a packet holds as UTF-16
    std::string subtype;  // packet subtype kept for writing back: "Money", "Autoinc", "Text", "Binary", ...
};

}  // namespace doz
