// A typed value of a table field, or null.
#pragma once

#include <cstdint>
#include <string>
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

// Null is std::monostate. Integers of every width are held as int64_t (unsigned
// 64-bit values above INT64_MAX as uint64_t); text and memo as std::string;
// blobs as Bytes.
class Value {
public:
    using Storage = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, Currency, Decimal, Date,
                                 Time, DateTime, std::string, Bytes>;

    Value() = default;
    Value(bool v) : v_(v) {}
    Value(int v) : v_(static_cast<std::int64_t>(v)) {}
    Value(std::int64_t v) : v_(v) {}
    Value(std::uint64_t v) : v_(v) {}
    Value(double v) : v_(v) {}
    Value(Currency v) : v_(v) {}
    Value(Decimal v) : v_(std::move(v)) {}
    Value(Date v) : v_(v) {}
    Value(Time v) : v_(v) {}
    Value(DateTime v) : v_(v) {}
    Value(std::string v) : v_(std::move(v)) {}
    Value(const char* v) : v_(std::string(v)) {}
    Value(Bytes v) : v_(std::move(v)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
    const Storage& storage() const { return v_; }
    template <class T>
    bool is() const { return std::holds_alternative<T>(v_); }
    template <class T>
    const T& get() const { return std::get<T>(v_); }

    friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

private:
    Storage v_;
};

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
