// pzt-bankfile dump: a data packet as one JSON document.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "cli/CliSupport.h"
#include "cli/Json.h"

namespace cli_test {
namespace {

using doz::FieldType;
using doz::Value;

class DumpTest : public ::testing::Test {
protected:
    TempDir home;
    RunResult dump(const std::string& file) { return runCli({"dump", file}, home.str()); }
};

TEST_F(DumpTest, EveryTypeNullsAndTextAsUtf8) {
    doz::PacketContent p;
    p.fields = {textField("S", 30),
                typedField("I8", FieldType::Int8),
                typedField("I16", FieldType::Int16),
                typedField("I32", FieldType::Int32),
                typedField("I64", FieldType::Int64),
                typedField("U8", FieldType::UInt8),
                typedField("U16", FieldType::UInt16),
                typedField("U32", FieldType::UInt32),
                typedField("U64", FieldType::UInt64),
                typedField("B", FieldType::Boolean),
                typedField("F", FieldType::Float),
                typedField("C", FieldType::Currency),
                typedField("D", FieldType::Bcd),
                typedField("DT", FieldType::Date),
                typedField("TM", FieldType::Time),
                typedField("TS", FieldType::DateTime),
                typedField("M", FieldType::Memo),
                typedField("BL", FieldType::Blob)};
    p.fields[12].size = 10;
    p.fields[12].scale = 2;

    const doz::DaySerial leapDay = doz::encodeDate(2024, 2, 29);
    const std::int32_t time = ((13 * 60 + 5) * 60 + 9) * 1000 + 7;
    const std::string text = doz::utf8ToAnsi("Caff\u00e8 \"q\" \\ \t\x01 \u20ac");
    p.rows.push_back({Value(text), Value(-128), Value(-32768), Value(std::int64_t{-2147483648LL}),
                      Value(std::numeric_limits<std::int64_t>::min()), Value(255), Value(65535),
                      Value(std::int64_t{4294967295LL}), Value(std::numeric_limits<std::uint64_t>::max()), Value(true),
                      Value(0.1), Value(doz::Currency{-123400}), Value(doz::Decimal{"123.45"}), Value(doz::Date{leapDay}),
                      Value(doz::Time{time}),
                      Value(doz::DateTime{static_cast<std::int64_t>(leapDay) * doz::kMsPerDay + time}),
                      Value(std::string("riga1\r\nriga2")), Value(doz::Bytes{0x00, 0xAB, 0xFF})});
    p.rows.push_back(doz::Row(p.fields.size()));  // all null
    doz::Row third(p.fields.size());
    third[10] = Value(std::numeric_limits<double>::infinity());
    third[11] = Value(doz::Currency{5});
    third[9] = Value(false);
    p.rows.push_back(third);
    doz::Row fourth(p.fields.size());
    fourth[10] = Value(1e300);
    fourth[11] = Value(doz::Currency{12345678});
    p.rows.push_back(fourth);
    const std::string file = home.str("all.cds");
    doz::writePacketFile(file, p, doz::PacketFormat::Binary);

    const RunResult r = dump(file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Json doc = JsonReader::parse(r.out);
    ASSERT_EQ(doc.members.size(), 2u);

    const Json& columns = doc["columns"];
    ASSERT_EQ(columns.items.size(), p.fields.size());
    const char* types[] = {"string", "int8",  "int16",    "int32", "int64", "uint8", "uint16", "uint32", "uint64",
                           "boolean", "float", "currency", "bcd",   "date",  "time",  "datetime", "memo",  "blob"};
    for (std::size_t i = 0; i < p.fields.size(); ++i) {
        EXPECT_EQ(columns[i]["name"].text, p.fields[i].name);
        EXPECT_EQ(columns[i]["type"].text, types[i]) << p.fields[i].name;
        EXPECT_EQ(columns[i]["size"].kind, Json::Kind::Number);
    }
    EXPECT_EQ(columns[0]["size"].text, "30");
    EXPECT_EQ(columns[12]["size"].text, "10");

    const Json& rows = doc["rows"];
    ASSERT_EQ(rows.items.size(), 4u);
    for (const Json& row : rows.items) {
        ASSERT_EQ(row.members.size(), p.fields.size());
        for (std::size_t i = 0; i < p.fields.size(); ++i) EXPECT_EQ(row.members[i].first, p.fields[i].name);
    }

    const Json& a = rows[0];
    EXPECT_EQ(a["S"].text, "Caff\u00e8 \"q\" \\ \t\x01 \u20ac");
    EXPECT_EQ(a["I8"].text, "-128");
    EXPECT_EQ(a["I16"].text, "-32768");
    EXPECT_EQ(a["I32"].text, "-2147483648");
    EXPECT_EQ(a["I64"].text, "-9223372036854775808");
    EXPECT_EQ(a["U8"].text, "255");
    EXPECT_EQ(a["U16"].text, "65535");
    EXPECT_EQ(a["U32"].text, "4294967295");
    EXPECT_EQ(a["U64"].text, "18446744073709551615");
    EXPECT_EQ(a["B"].kind, Json::Kind::Bool);
    EXPECT_TRUE(a["B"].boolean);
    EXPECT_EQ(a["F"].text, "0.1");  // shortest form that reads back the same double
    EXPECT_EQ(a["C"].kind, Json::Kind::String);
    EXPECT_EQ(a["C"].text, "-12.3400");
    EXPECT_EQ(a["D"].text, "123.45");
    EXPECT_EQ(a["DT"].text, "2024-02-29");
    EXPECT_EQ(a["TM"].text, "13:05:09.007");
    EXPECT_EQ(a["TS"].text, "2024-02-29T13:05:09.007");
    EXPECT_EQ(a["M"].text, "riga1\r\nriga2");
    EXPECT_EQ(a["BL"].text, "00abff");

    for (const auto& [name, v] : rows[1].members) EXPECT_TRUE(v.isNull()) << name;

    EXPECT_TRUE(rows[2]["F"].isNull()) << "infinity has no JSON number";
    EXPECT_EQ(rows[2]["C"].text, "0.0005");
    EXPECT_FALSE(rows[2]["B"].boolean);
    EXPECT_EQ(rows[2]["B"].kind, Json::Kind::Bool);
    EXPECT_EQ(std::stod(rows[3]["F"].text), 1e300);
    EXPECT_EQ(rows[3]["C"].text, "1234.5678");

    // The control characters are escaped, never written raw.
    EXPECT_NE(r.out.find("\\t"), std::string::npos);
    EXPECT_NE(r.out.find("\\u0001"), std::string::npos);
}

TEST_F(DumpTest, XmlPacketKeepsRowOrderAndAccentedNames) {
    doz::PacketContent p;
    p.fields = {textField(doz::utf8ToAnsi("Citt\u00e0"), 20), typedField("N", FieldType::Int32)};
    for (int i = 0; i < 5; ++i) p.rows.push_back({Value(std::string(1, static_cast<char>('e' - i))), Value(i)});
    const std::string file = home.str("t.xml");
    doz::writePacketFile(file, p, doz::PacketFormat::Xml);

    const RunResult r = dump(file);
    ASSERT_EQ(r.status, 0) << r.err;
    const Json doc = JsonReader::parse(r.out);
    EXPECT_EQ(doc["columns"][0]["name"].text, "Citt\u00e0");
    ASSERT_EQ(doc["rows"].items.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(doc["rows"][i]["Citt\u00e0"].text, std::string(1, static_cast<char>('e' - i)));
        EXPECT_EQ(doc["rows"][i]["N"].text, std::to_string(i));
    }
}

TEST_F(DumpTest, UnreadableFilesFailWithTheirMessage) {
    const RunResult missing = dump(home.str("nothing-here.cds"));
    EXPECT_EQ(missing.status, 4);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.lastErrorLine().find("nothing-here.cds"), std::string::npos) << missing.err;

    writeFile(home.path() / "garbage.cds", "this is no data packet");
    const RunResult garbage = dump(home.str("garbage.cds"));
    EXPECT_EQ(garbage.status, 4);
    EXPECT_EQ(garbage.out, "");
    EXPECT_FALSE(garbage.lastErrorLine().empty());

    EXPECT_EQ(runCli({"dump"}, home.str()).status, 2);
    EXPECT_EQ(runCli({"dump", "a", "b"}, home.str()).status, 2);
}

TEST_F(DumpTest, SharedSamplePacketsDumpAsValidJson) {
    const std::string dir = std::string(DOZ_SHARED_DIR) + "/fixtures/datapackets";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "shared sample packets not present: " << dir;
    int dumped = 0;
    for (const char* name : {"events.cds", "dados.xml", "Products.cds"}) {
        const std::string file = dir + "/" + name;
        if (!fs::exists(file)) continue;
        const doz::PacketContent content = doz::readPacketFile(file);
        const RunResult r = dump(file);
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        const Json doc = JsonReader::parse(r.out);
        ASSERT_EQ(doc["columns"].items.size(), content.fields.size()) << name;
        ASSERT_EQ(doc["rows"].items.size(), content.rows.size()) << name;
        for (const Json& row : doc["rows"].items) ASSERT_EQ(row.members.size(), content.fields.size()) << name;
        ++dumped;
    }
    if (dumped == 0) GTEST_SKIP() << "none of the sample packets is present";
}

}  // namespace
}  // namespace cli_test
