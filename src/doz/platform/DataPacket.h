// Readers and writers of the table component's data packets, binary and XML.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Value.h"

namespace doz {

// A table parameter as the binary form stores it: its name, its type word
// (kind in bits 16-21, size in bits 0-15, varying/array flags) and the encoded
// value that follows the type word. Kept so that a table written back carries
// the same LCID, DEFAULT_ORDER, PRIMARY_KEY, AUTOINCVALUE ... it was read with.
struct PacketParam {
    std::string name;
    std::uint32_t typeWord = 0;
    std::string bytes;

    friend bool operator==(const PacketParam&, const PacketParam&) = default;

    // Builders and accessors for the usual kinds.
    static PacketParam int32(std::string name, std::int32_t v);
    static PacketParam uint16Array(std::string name, const std::vector<std::uint16_t>& v);
    static PacketParam uint32Array(std::string name, const std::vector<std::uint32_t>& v);
    static PacketParam text(std::string name, std::string_view cp1252);
    // Integer value(s) of an integer, boolean or integer-array parameter;
    // DataError when the parameter is of another kind or badly encoded.
    std::vector<std::int64_t> numbers() const;
};

// What a packet holds once read: the declared fields, the current rows (change
// log applied, then ordered by DEFAULT_ORDER when the table has one, as the
// component shows them) and the table parameters other than CHANGE_LOG.
struct PacketContent {
    std::vector<FieldDef> fields;
    std::vector<Row> rows;
    std::vector<PacketParam> params;
    // Texts that held characters without a Windows-1252 form (each took its
    // Latin spelling or '?'): column and text as read, each pair once.
    std::vector<std::pair<std::size_t, std::string>> narrowed;
};

enum class PacketFormat { Binary, Xml, XmlUtf8 };

// Reads a file in either form, recognised by its content. Errors (DataError or
// IoError) name the file and what is wrong.
PacketContent readPacketFile(const std::string& path);
PacketContent readPacket(std::string_view bytes, const std::string& nameForErrors);

// Writes a table's fields and rows in the given form, every row as a plain row
// (no change log). DataError when a value does not fit its field.
std::string writePacket(const PacketContent& content, PacketFormat format);
void writePacketFile(const std::string& path, const PacketContent& content, PacketFormat format);

}  // namespace doz
