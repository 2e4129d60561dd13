// A strict JSON reader for the tests of the dump (RFC 8259 grammar; strings
// must be valid UTF-8). Throws std::runtime_error on anything else.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Ansi.h"

namespace cli_test {

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    std::string text;  // String: the decoded UTF-8; Number: the literal as written
    std::vector<Json> items;                            // Array
    std::vector<std::pair<std::string, Json>> members;  // Object, in document order

    bool isNull() const { return kind == Kind::Null; }
    const Json& operator[](std::size_t i) const { return items.at(i); }
    const Json& operator[](std::string_view key) const {
        for (const auto& [k, v] : members)
            if (k == key) return v;
        throw std::out_of_range("no member " + std::string(key));
    }
    bool has(std::string_view key) const {
        for (const auto& m : members)
            if (m.first == key) return true;
        return false;
    }
};

class JsonReader {
public:
    static Json parse(std::string_view text) {
        JsonReader r(text);
        r.skipSpace();
        Json v = r.value();
        r.skipSpace();
        if (r.pos_ != text.size()) r.fail("trailing characters");
        return v;
    }

private:
    explicit JsonReader(std::string_view t) : t_(t) {}

    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
    }
    bool atEnd() const { return pos_ >= t_.size(); }
    char peek() const { return atEnd() ? '\0' : t_[pos_]; }
    void expect(char c) {
        if (peek() != c) fail(std::string("expected '") + c + "'");
        ++pos_;
    }
    void skipSpace() {
        while (!atEnd() && (t_[pos_] == ' ' || t_[pos_] == '\t' || t_[pos_] == '\n' || t_[pos_] == '\r')) ++pos_;
    }
    void literal(std::string_view word) {
        if (t_.substr(pos_, word.size()) != word) fail("bad literal");
        pos_ += word.size();
    }

    Json value() {
        Json v;
        switch (peek()) {
            case '{': return object();
            case '[': return array();
            case '"': v.kind = Json::Kind::String; v.text = string(); return v;
            case 't': literal("true"); v.kind = Json::Kind::Bool; v.boolean = true; return v;
            case 'f': literal("false"); v.kind = Json::Kind::Bool; return v;
            case 'n': literal("null"); return v;
            default: return number();
        }
    }

    Json object() {
        Json v;
        v.kind = Json::Kind::Object;
        expect('{');
        skipSpace();
        if (peek() == '}') {
            ++pos_;
            return v;
        }
        for (;;) {
            skipSpace();
            std::string key = string();
            skipSpace();
            expect(':');
            skipSpace();
            v.members.emplace_back(std::move(key), value());
            skipSpace();
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            expect('}');
            return v;
        }
    }

    Json array() {
        Json v;
        v.kind = Json::Kind::Array;
        expect('[');
        skipSpace();
        if (peek() == ']') {
            ++pos_;
            return v;
        }
        for (;;) {
            skipSpace();
            v.items.push_back(value());
            skipSpace();
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            expect(']');
            return v;
        }
    }

    Json number() {
        const std::size_t start = pos_;
        auto digits = [&] {
            const std::size_t from = pos_;
            while (!atEnd() && t_[pos_] >= '0' && t_[pos_] <= '9') ++pos_;
            if (pos_ == from) fail("digit expected");
        };
        if (peek() == '-') ++pos_;
        if (peek() == '0') ++pos_;
        else digits();
        if (peek() == '.') {
            ++pos_;
            digits();
        }
        if (peek() == 'e' || peek() == 'E') {
            ++pos_;
            if (peek() == '+' || peek() == '-') ++pos_;
            digits();
        }
        Json v;
        v.kind = Json::Kind::Number;
        v.text = std::string(t_.substr(start, pos_ - start));
        return v;
    }

    std::uint32_t hex4() {
        if (pos_ + 4 > t_.size()) fail("short \\u escape");
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = t_[pos_++];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') v |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= static_cast<std::uint32_t>(c - 'A' + 10);
            else fail("bad hex digit");
        }
        return v;
    }

    // One UTF-8 sequence copied as is, after checking it.
    void utf8Sequence(std::string& out) {
        const auto lead = static_cast<unsigned char>(t_[pos_]);
        int n = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 && lead <= 0xDF ? 1 : -1;
        if (lead >= 0xF5 || n < 0) fail("invalid UTF-8 lead byte");
        if (pos_ + static_cast<std::size_t>(n) >= t_.size()) fail("truncated UTF-8");
        for (int i = 1; i <= n; ++i)
            if ((static_cast<unsigned char>(t_[pos_ + static_cast<std::size_t>(i)]) & 0xC0) != 0x80)
                fail("invalid UTF-8 continuation");
        out.append(t_.substr(pos_, static_cast<std::size_t>(n) + 1));
        pos_ += static_cast<std::size_t>(n) + 1;
    }

    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            if (atEnd()) fail("unterminated string");
            const auto c = static_cast<unsigned char>(t_[pos_]);
            if (c == '"') {
                ++pos_;
                return out;
            }
            if (c < 0x20) fail("raw control character in string");
            if (c >= 0x80) {
                utf8Sequence(out);
                continue;
            }
            ++pos_;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (atEnd()) fail("unterminated escape");
            const char e = t_[pos_++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    std::uint32_t cp = hex4();
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        expect('\\');
                        expect('u');
                        const std::uint32_t low = hex4();
                        if (low < 0xDC00 || low > 0xDFFF) fail("bad surrogate pair");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        fail("lone low surrogate");
                    }
                    doz::appendUtf8(out, static_cast<char32_t>(cp));
                    break;
                }
                default: fail("bad escape");
            }
        }
    }

    std::string_view t_;
    std::size_t pos_ = 0;
};

}  // namespace cli_test
