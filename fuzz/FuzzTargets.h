// The bodies of the fuzz targets. Each takes arbitrary bytes and must return
// normally: a doz::Error is the expected answer to bad input; anything else
// (another exception, a crash, a sanitizer report) is a fault. The libFuzzer
// entry points in fuzz_*.cpp call these, and so do the regression tests, which
// replay the inputs kept under tests/regressions/ in the ordinary builds.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "layout/Catalogue.h"
#include "platform/DataPacket.h"
#include "platform/DataPacketCodec.h"
#include "platform/Error.h"
#include "platform/Filter.h"
#include "platform/IniFile.h"

namespace doz::fuzz {

[[noreturn]] inline void fault(const char* what, const std::string& detail) {
    std::fprintf(stderr, "FUZZ FAULT: %s: %s\n", what, detail.c_str());
    std::abort();
}

// A packet read without error is written back in each form; what is written
// must read again, with the same fields and as many rows.
inline void checkRoundTrip(const PacketContent& content) {
    for (PacketFormat format : {PacketFormat::Binary, PacketFormat::Xml, PacketFormat::XmlUtf8}) {
        std::string bytes;
        try {
            bytes = writePacket(content, format);
        } catch (const DataError&) {
            continue;  // a value the chosen form cannot hold: refused with a message
        }
        PacketContent again;
        try {
            again = readPacket(bytes, "copia");
        } catch (const Error& e) {
            fault("packet written but not readable", e.what());
        }
        if (again.fields.size() != content.fields.size() || again.rows.size() != content.rows.size())
            fault("packet changed on rewriting", std::to_string(static_cast<int>(format)));
    }
}

inline void binaryPacket(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        checkRoundTrip(packet::readBinaryPacket(bytes, "fuzz.cds"));
    } catch (const Error&) {
    }
}

inline void xmlPacket(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        checkRoundTrip(packet::readXmlPacket(bytes, "fuzz.xml"));
    } catch (const Error&) {
    }
}

// The fields the filter target compiles against: one of each kind the
// dispositions and the layouts use.
inline const std::vector<FieldDef>& filterFields() {
    static const std::vector<FieldDef> fields = [] {
        auto def = [](const char* name, FieldType type, int size = 0) {
            FieldDef d;
            d.name = name;
            d.type = type;
            d.size = size;
            return d;
        };
        std::vector<FieldDef> f = {def("Record", FieldType::String, 2),
                                   def("Ord", FieldType::Int32),
                                   def("IMPORTO", FieldType::Currency),
                                   def("DATA", FieldType::Date),
                                   def("MODALITA_PAGAMENTO", FieldType::Int16),
                                   def("Flag", FieldType::Boolean),
                                   def("Valore", FieldType::Float),
                                   def("Nota", FieldType::Memo)};
        return f;
    }();
    return fields;
}

inline const std::vector<Row>& filterRows() {
    static const std::vector<Row> rows = {
        {Value("PC"), Value(1), Value(Currency{12345600}), Value(Date{46000}), Value(1), Value(true), Value(1.5),
         Value("nota")},
        {Value("10"), Value(-7), Value(Currency{-1}), Value(Date{0}), Value(), Value(false), Value(-0.0), Value("")},
        {Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value()},
        {Value("x'y"), Value(2147483647), Value(Currency{INT64_MAX}), Value(Date{2958465}), Value(32767), Value(true),
         Value(1e308), Value(std::string(300, 'z'))},
    };
    return rows;
}

inline void filterText(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<CompiledFilter> filter;
    try {
        filter = compileFilter(text, filterFields());
    } catch (const Error&) {
        return;
    }
    for (const Row& row : filterRows()) {
        try {
            (void)filter->matches(row);
        } catch (const Error&) {
        }
    }
}

inline bool isPlainName(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

// The INI reader works on a file: the input is written to a file of this
// process, read through every accessor, then changed once and read again.
inline void iniFile(const std::uint8_t* data, std::size_t size) {
    // Kept for the whole run (never destroyed) so that the exit handler can remove the file.
    static const std::string* const path = [] {
        const char* dir = std::getenv("TMPDIR");
        auto* p = new std::string(std::string(dir && *dir ? dir : "/tmp") + "/doz-fuzz-ini-" +
                                  std::to_string(::getpid()) + ".ini");
        std::atexit([] { std::remove(path->c_str()); });
        return p;
    }();
    if (std::FILE* f = std::fopen(path->c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return;
    }
    // The section and key asked for come from the first line of the input, so
    // that the fuzzer can reach names that are present.
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::string_view first = all.substr(0, std::min<std::size_t>(all.find('\n'), 64));
    const std::size_t eq = first.find('=');
    const std::string section(first.substr(0, std::min(eq, first.size())));
    const std::string key(eq == std::string_view::npos ? std::string_view("Key") : first.substr(eq + 1));
    try {
        IniFile ini(*path);
        for (const std::string& s : {section, std::string("Settings"), std::string()}) {
            (void)ini.sectionExists(s);
            for (const std::string& k : ini.readSection(s)) {
                (void)ini.readString(s, k, "d");
                (void)ini.readInteger(s, k, -1);
                (void)ini.valueExists(s, k);
            }
        }
        (void)ini.readString(section, key, "");
        ini.writeString(section, key, "valore");
        if (isPlainName(section) && isPlainName(key) && ini.readString(section, key, "") != "valore")
            fault("INI value written is not read back", section + "/" + key);
        ini.writeInteger(section, "Numero", -42);
        ini.eraseKey(section, key);
    } catch (const Error&) {
    }
}

inline void parsePos(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        (void)ParsePos(text);
    } catch (const Error&) {
    }
}

}  // namespace doz::fuzz
