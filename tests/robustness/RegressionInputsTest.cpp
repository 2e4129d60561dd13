// Inputs the fuzz targets once failed on, kept under tests/regressions/<target>/
// and replayed through the same target bodies (fuzz/FuzzTargets.h); and the
// demonstration packets cut at every length and damaged byte by byte, which
// must all be refused with a message naming the file, never crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "../../fuzz/FuzzTargets.h"
#include "support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

const fs::path kRegressions = fs::path(DOZ_SOURCE_DIR) / "tests" / "regressions";
const fs::path kExamples = fs::path(DOZ_SOURCE_DIR) / "examples";

using test_files::readFile;

using Target = std::function<void(const std::uint8_t*, std::size_t)>;

const std::map<std::string, Target>& targets() {
    static const std::map<std::string, Target> t = {
        {"binary_packet", doz::fuzz::binaryPacket}, {"xml_packet", doz::fuzz::xmlPacket},
        {"filter", doz::fuzz::filterText},          {"ini", doz::fuzz::iniFile},
        {"parsepos", doz::fuzz::parsePos},
    };
    return t;
}

TEST(RegressionInputs, EveryKeptInputRunsThroughItsTarget) {
    int replayed = 0;
    for (const auto& [name, target] : targets()) {
        const fs::path dir = kRegressions / name;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
            SCOPED_TRACE(entry.path().string());
            const std::string bytes = readFile(entry.path());
            target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    // Every folder under tests/regressions is a target's.
    for (const auto& entry : fs::directory_iterator(kRegressions)) {
        if (entry.is_directory()) {
            EXPECT_TRUE(targets().count(entry.path().filename().string())) << entry.path();
        }
    }
    EXPECT_GE(replayed, 1) << "no kept input found under " << kRegressions;
}

// Reading must either succeed or throw DataError whose message names the file.
void expectReadOrNamedError(const std::string& bytes, const std::string& name) {
    try {
        (void)doz::readPacket(bytes, name);
    } catch (const doz::DataError& e) {
        EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
}

TEST(DamagedPackets, EveryCutOfADemoPacketIsRefusedWithTheFileName) {
    for (const char* file : {"Disposizioni.cds", "CBI_5_02.Xml", "Tracciati.xml"}) {
        if (!fs::exists(kExamples / file)) GTEST_SKIP() << "examples/ not generated";
        SCOPED_TRACE(file);
        const std::string whole = readFile(kExamples / file);
        const std::size_t step = whole.size() > 4000 ? whole.size() / 2000 : 1;
        for (std::size_t length = 0; length < whole.size(); length += step) {
            try {
                (void)doz::readPacket(whole.substr(0, length), file);
                // Only a cut in the blanks after the closing tag may be accepted.
                const std::size_t end = whole.find("</DATAPACKET>");
                EXPECT_TRUE(end != std::string::npos && length >= end + 13) << "a cut at " << length << " was accepted";
            } catch (const doz::DataError& e) {
                EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
            }
        }
    }
}

TEST(DamagedPackets, EveryDamagedByteOfTheDispositionsHeaderIsHandled) {
    const fs::path path = kExamples / "Disposizioni.cds";
    if (!fs::exists(path)) GTEST_SKIP() << "examples/ not generated";
    const std::string whole = readFile(path);
    // The header and the field declarations: every byte set to 0x00, 0x7F and 0xFF.
    const std::size_t span = std::min<std::size_t>(whole.size(), 1500);
    for (std::size_t at = 0; at < span; ++at)
        for (char value : {'\x00', '\x7F', '\xFF'}) {
            std::string damaged = whole;
            damaged[at] = value;
            expectReadOrNamedError(damaged, "Disposizioni.cds");
        }
}

}  // namespace
