// The dump subcommand: one data packet as one JSON document.
#pragma once

#include <string>
#include <string_view>

#include "Arguments.h"
#include "platform/DataPacket.h"

namespace doz::cli {

// {"columns":[{"name":..,"type":..,"size":N},..],"rows":[{"FIELD":value,..},..]}
// Texts converted from Windows-1252 to UTF-8; see the dump's help for the forms.
std::string packetToJson(const PacketContent& content);

// Appends `cp1252` as a JSON string literal (quotes included), in UTF-8.
void appendJsonString(std::string& out, std::string_view cp1252);

// The subcommand: reads args.file and prints its JSON; exit status.
int runDump(const Arguments& args);

}  // namespace doz::cli
