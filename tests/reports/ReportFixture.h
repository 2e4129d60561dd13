// Common ground of the report tests: a window held in memory, the Italian
// regional setting, a main folder in a fresh temporary folder, and small
// helpers for files and tables.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FormState.h"
#include "platform/MemoryWindow.h"
#include "platform/Regional.h"
#include "support/TestFiles.h"

namespace doz::testing {

using test_files::readFile;
using test_files::writeFile;


// Joins lines, each ended by CR LF.
inline std::string crlf(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\r\n";
    return out;
}

// A declared field; text unless told otherwise.
inline FieldDef field(std::string name, FieldType type = FieldType::String, int size = 0) {
    FieldDef def;
    def.name = std::move(name);
    def.type = type;
    def.size = size;
    return def;
}

class ReportFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedRegional_ = regional();
        regional() = Regional::italian();
        std::string pattern = (std::filesystem::temp_directory_path() / "doz-reports-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        form.paths.mainFolder = root + "/main/";
    }
    void TearDown() override {
        regional() = savedRegional_;
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    MemoryWindow window;
    FormState form{window};
    std::string root;

private:
    Regional savedRegional_;
};

}  // namespace doz::testing
