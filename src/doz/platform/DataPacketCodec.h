// Pieces shared by the binary and the XML packet codecs (not for other rooms).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/DataPacket.h"
#include "platform/Error.h"

namespace doz::packet {

// Type word layout.
constexpr std::uint32_t kSizeMask = 0x0000FFFF;
constexpr std::uint32_t kKindMask = 0x003F0000;
constexpr std::uint32_t kVarying = 0x00400000;
constexpr std::uint32_t kArray = 0x00800000;
constexpr std::uint32_t kPseudo = 0x01000000;
constexpr std::uint32_t kRoundTrip = 0x80000000;

enum Kind : unsigned {
    kUnknown = 0,
    kInt = 1,
    kUInt = 2,
    kBool = 3,
    kFloat = 4,
    kBcd = 5,
    kDate = 6,
    kTime = 7,
    kDateTime = 8,
    kString = 9,
    kWideString = 10,
    kBytes = 11,
    kAdt = 12,
    kArrayColumn = 13,
    kNested = 14,
    kReference = 15,
    kBigDecimal = 16,
    kSqlTimeStamp = 17,
    kFmtBcd = 18,
    kSingle = 27,
    kSqlTimeStampOffset = 36,
};

inline unsigned kindOf(std::uint32_t typeWord) { return (typeWord & kKindMask) >> 16; }
inline unsigned sizeOf(std::uint32_t typeWord) { return typeWord & kSizeMask; }
inline std::uint32_t makeType(unsigned kind, unsigned size, std::uint32_t flags = 0) {
    return (static_cast<std::uint32_t>(kind) << 16) | size | flags;
}

// Row state bits.
constexpr std::uint8_t kStateOriginal = 0x01;
constexpr std::uint8_t kStateDeleted = 0x02;
constexpr std::uint8_t kStateModified = 0x08;
constexpr std::uint8_t kStateHiddenMask = 0x23;

// Days from 0001-01-01 (day 1) of 1899-12-30, the zero of DaySerial.
constexpr std::int64_t kDayNumberOfSerialZero = 693594;

// "File dati 'name' non valido: what"
[[noreturn]] void fail(const std::string& fileName, const std::string& what);

// The records of one level as read, before the change log is applied.
struct RawTable {
    std::vector<FieldDef> fields;
    std::vector<PacketParam> params;  // all of them, CHANGE_LOG included
    std::vector<Row> records;
    std::vector<std::uint8_t> states;
    // (record index, column index) of the entries marked "not changed".
    std::vector<std::pair<std::uint32_t, std::uint32_t>> unchanged;
    // Column and text of the values narrowed to Windows-1252.
    std::vector<std::pair<std::size_t, std::string>> narrowed;
};

// Applies the change log, hides the old/deleted versions and sorts by
// DEFAULT_ORDER: the rows the component shows.
PacketContent currentRows(RawTable&& raw, const std::string& fileName);

PacketContent readBinaryPacket(std::string_view bytes, const std::string& fileName);
PacketContent readXmlPacket(std::string_view bytes, const std::string& fileName);
std::string writeBinaryPacket(const PacketContent& content);
std::string writeXmlPacket(const PacketContent& content, bool utf8);

// A column as the packet declares it: type word and the three parameters
// both forms write (absent: empty subtype, -1).
struct ColumnDecl {
    std::uint32_t typeWord = 0;
    std::string subtype;
    int decimals = -1;
    int width = -1;
};
// The packet declaration of a field (writers); DataError for a field that
// cannot be written.
ColumnDecl columnDecl(const FieldDef& f);
// The field of a packet column (readers); fails for kinds we do not hold.
FieldDef fieldFromDecl(std::string name, const ColumnDecl& decl, bool readOnly, bool required,
                       const std::string& fileName);

// True for a memo subtype (text held in a blob).
bool isMemoSubtype(std::string_view subtype);

// Currency from a double, rounded to ten-thousandths; false when out of range.
bool currencyFromDouble(double d, Currency& out);
inline double currencyToDouble(Currency c) { return static_cast<double>(c.scaled) / 10000.0; }

// Canonical decimal text with exactly `scale` fraction digits (more only when
// the extra digits are not zeros). False when the text is not a decimal number.
bool normaliseDecimal(std::string_view text, int scale, std::string& out);
// The 18-byte BCD value of the binary form, both ways. decodeBcd returns false
// for a malformed value; `blank` is set for the special "blank" mark.
bool decodeBcd(const unsigned char* p, int fieldScale, std::string& out, bool& blank);
bool encodeBcd(const std::string& canonical, unsigned char* out18);

// r8 text of the XML form: 16 significant digits (see the writer).
std::string formatDouble16(double d);

// Checked binary cursor over a buffer; every read checks the remaining bytes.
class Cursor {
public:
    Cursor(std::string_view data, const std::string& fileName) : data_(data), name_(fileName) {}
    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    void need(std::size_t n, const char* what) const {
        if (n > remaining()) [[unlikely]] truncated(what);
    }
    const unsigned char* take(std::size_t n, const char* what) {
        need(n, what);
        const auto* p = reinterpret_cast<const unsigned char*>(data_.data()) + pos_;
        pos_ += n;
        return p;
    }
    std::uint8_t u8(const char* what) { return *take(1, what); }
    std::uint16_t u16(const char* what) {
        const unsigned char* p = take(2, what);
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    std::uint32_t u32(const char* what) {
        const unsigned char* p = take(4, what);
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    // A length prefix of 1, 2 or 4 bytes.
    std::uint32_t prefix(unsigned width, const char* what) {
        if (width == 1) [[likely]] return u8(what);
        if (width == 2) return u16(what);
        if (width == 4) return u32(what);
        badWidth(what);
    }
    const std::string& name() const { return name_; }

private:
    // Kept out of line: the reads above stay small enough to inline.
    [[noreturn]] [[gnu::noinline, gnu::cold]] void truncated(const char* what) const {
        fail(name_, std::string("file troncato (") + what + ")");
    }
    [[noreturn]] [[gnu::noinline, gnu::cold]] void badWidth(const char* what) const {
        fail(name_, std::string("ampiezza di lunghezza non valida (") + what + ")");
    }

    std::string_view data_;
    const std::string& name_;
    std::size_t pos_ = 0;
};

inline std::uint64_t loadLE(const unsigned char* p, unsigned n) {
    std::uint64_t v = 0;
    for (unsigned i = n; i-- > 0;) v = (v << 8) | p[i];
    return v;
}
inline void appendLE(std::string& out, std::uint64_t v, unsigned n) {
    for (unsigned i = 0; i < n; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace doz::packet
