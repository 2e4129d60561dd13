#include "Dump.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <type_traits>
#include <variant>

#include "platform/Ansi.h"
#include "platform/Dates.h"
#include "platform/SystemErrors.h"

namespace doz::cli {

namespace {

template <class Int>
void appendInteger(std::string& out, Int v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void appendDouble(std::string& out, double d) {
    if (!std::isfinite(d)) {
        out += "null";
        return;
    }
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, d);  // shortest form that reads back the same
    out.append(buf, r.ptr);
}

// Ten-thousandths as plain decimal text with exactly four decimals: "-12.3400".
std::string currencyText(std::int64_t scaled) {
    const std::uint64_t magnitude =
        scaled < 0 ? static_cast<std::uint64_t>(-(scaled + 1)) + 1 : static_cast<std::uint64_t>(scaled);
    std::string out = scaled < 0 ? "-" : "";
    appendInteger(out, magnitude / 10000);
    out += '.';
    const std::string fraction = std::to_string(magnitude % 10000);
    out.append(4 - fraction.size(), '0');
    out += fraction;
    return out;
}

void appendHex(std::string& out, const unsigned char* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 0x0F];
    }
    out += '"';
}

void appendValue(std::string& out, const Value& value, const FieldDef& def) {
    value.visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                out += "null";
            } else if constexpr (std::is_same_v<T, bool>) {
                out += v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, std::uint64_t>) {
                appendInteger(out, v);
            } else if constexpr (std::is_same_v<T, double>) {
                appendDouble(out, v);
            } else if constexpr (std::is_same_v<T, Currency>) {
                appendJsonString(out, currencyText(v.scaled));
            } else if constexpr (std::is_same_v<T, DecimalRef>) {
                appendJsonString(out, v.text);
            } else if constexpr (std::is_same_v<T, Date>) {
                appendJsonString(out, isoDate(v.serial));
            } else if constexpr (std::is_same_v<T, Time>) {
                appendJsonString(out, isoTime(v.ms));
            } else if constexpr (std::is_same_v<T, DateTime>) {
                appendJsonString(out, isoDateTime(v.ms));
            } else if constexpr (std::is_same_v<T, std::string_view>) {
                if (def.type == FieldType::Blob)
                    appendHex(out, reinterpret_cast<const unsigned char*>(v.data()), v.size());
                else
                    appendJsonString(out, v);
            } else if constexpr (std::is_same_v<T, BytesRef>) {
                appendHex(out, v.data(), v.size());
            }
        });
}

}  // namespace

void appendJsonString(std::string& out, std::string_view cp1252) {
    static const char digits[] = "0123456789abcdef";
    const std::string utf8 = ansiToUtf8(cp1252);
    out += '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    out += "\\u00";
                    out += digits[u >> 4];
                    out += digits[u & 0x0F];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

std::string packetToJson(const PacketContent& content) {
    std::string out = "{\"columns\":[";
    for (std::size_t i = 0; i < content.fields.size(); ++i) {
        const FieldDef& f = content.fields[i];
        out += i ? ",\n" : "\n";
        out += "{\"name\":";
        appendJsonString(out, f.name);
        out += ",\"type\":";
        appendJsonString(out, fieldTypeName(f.type));
        out += ",\"size\":";
        appendInteger(out, f.size);
        out += '}';
    }
    out += "],\n\"rows\":[";
    static const Value kNull;
    for (std::size_t r = 0; r < content.rows.size(); ++r) {
        const Row& row = content.rows[r];
        out += r ? ",\n{" : "\n{";
        for (std::size_t i = 0; i < content.fields.size(); ++i) {
            if (i) out += ',';
            appendJsonString(out, content.fields[i].name);
            out += ':';
            appendValue(out, i < row.size() ? row[i] : kNull, content.fields[i]);
        }
        out += '}';
    }
    out += "]}\n";
    return out;
}

}  // namespace doz::cli

namespace doz::cli {

int runDump(const Arguments& args) {
    std::string json;
    try {
        json = packetToJson(readPacketFile(args.file));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", ansiToUtf8(exceptionText(e)).c_str());
        return kExitFailure;
    }
    std::fwrite(json.data(), 1, json.size(), stdout);
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "Impossibile scrivere lo standard output\n");
        return kExitFailure;
    }
    return kExitDone;
}

}  // namespace doz::cli
