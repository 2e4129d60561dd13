// Where the real sample packets lie, and the one sample that is found by its
// shape rather than its name (the small XML packet with a BCD column, the only
// sample whose name ends in "_temp.xml").
#pragma once

#include <filesystem>
#include <string>

namespace doz::testing {

inline std::string samplePacketDir() { return std::string(DOZ_SHARED_DIR) + "/fixtures/datapackets/"; }

inline std::string bcdSamplePacket() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(samplePacketDir(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 9 && name.compare(name.size() - 9, 9, "_temp.xml") == 0) return name;
    }
    return "missing_temp.xml";
}

}  // namespace doz::testing
