// Packets built here: every field type through every writer, value formats,
// change logs, and what broken or hostile input gives.
#include "platform/DataPacket.h"

#include <gtest/gtest.h>

#include "support/SamplePackets.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/Ansi.h"
#include "platform/DataPacketCodec.h"
#include "platform/Error.h"

namespace doz {
namespace {

const std::string kDir = doz::testing::samplePacketDir();
const std::string kBcdSample = doz::testing::bcdSamplePacket();

FieldDef field(std::string name, FieldType t, int size = 0, std::string subtype = {}) {
    FieldDef f;
    f.name = std::move(name);
    f.type = t;
    f.size = size;
    f.subtype = std::move(subtype);
    return f;
}

const PacketFormat kFormats[] = {PacketFormat::Binary, PacketFormat::Xml, PacketFormat::XmlUtf8};

std::string formatName(PacketFormat f) {
    return f == PacketFormat::Binary ? "binary" : f == PacketFormat::Xml ? "xml" : "xml-utf8";
}

std::string dataErrorOf(std::string_view bytes, const std::string& name = "prova.cds") {
    try {
        readPacket(bytes, name);
    } catch (const DataError& e) {
        return e.what();
    }
    return "(no error)";
}

// A table with a column of every type, values at their edges.
PacketContent everyType() {
    PacketContent c;
    FieldDef wide = field("Wide", FieldType::String, 12);
    wide.wide = true;
    FieldDef bcd = field("Amount", FieldType::Bcd, 18);
    bcd.scale = 3;
    FieldDef id = field("Id", FieldType::Int32, 0, "Autoinc");
    id.readOnly = true;
    FieldDef name = field("Name (full)", FieldType::String, 40);
    name.required = true;
    c.fields = {id,
                name,
                wide,
                field("I8", FieldType::Int8),
                field("I16", FieldType::Int16),
                field("I64", FieldType::Int64),
                field("U8", FieldType::UInt8),
                field("U16", FieldType::UInt16),
                field("U32", FieldType::UInt32),
                field("U64", FieldType::UInt64),
                field("Flag", FieldType::Boolean),
                field("Ratio", FieldType::Float),
                field("Pay", FieldType::Currency, 0, "Money"),
                bcd,
                field("Day", FieldType::Date),
                field("At", FieldType::Time),
                field("Stamp", FieldType::DateTime),
                field("Notes", FieldType::Memo, 30, "Text"),
                field("WideNotes", FieldType::Memo, 0, "WideText"),
                field("Picture", FieldType::Blob, 0, "Graphics"),
                field("Raw", FieldType::Blob, 6)};
    const std::string accents = utf8ToAnsi("Citt\u00e0 \u20ac \u0153 ") + "\x81\xFF";
    c.rows.push_back({1, "<&\"'> a\\b\tc\r\nd", accents, -128, -32768, INT64_MIN, 255, 65535, std::int64_t{4294967295},
                      std::uint64_t{18446744073709551615ULL}, true, 859.57, Currency{-12'345'678}, Decimal{"-123.450"},
                      Date{encodeDate(1, 1, 1)}, Time{86'399'999}, DateTime{-1}, "riga 1\r\nriga 2 \xE8",
                      accents + "\t", Bytes{0, 1, 2, 255}, Bytes{9, 8, 7}});
    c.rows.push_back({2, "", "", 127, 32767, INT64_MAX, 0, 0, 0, std::int64_t{0}, false, 1e-300,
                      Currency{10'000}, Decimal{"0.000"}, Date{encodeDate(9999, 12, 31)}, Time{0},
                      DateTime{static_cast<DateTimeMs>(encodeDate(2024, 2, 29)) * kMsPerDay + 45'296'789}, "", "",
                      Bytes{}, Bytes{1, 2, 3, 4, 5, 6}});
    c.rows.push_back({3, "x", Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(),
                      -1.5e20, Value(), Decimal{"999999999999999.999"}, Value(), Value(), Value(), Value(), Value(),
                      Value(), Value()});
    c.params = {PacketParam::uint16Array("DEFAULT_ORDER", {1}), PacketParam::uint16Array("PRIMARY_KEY", {1}),
                PacketParam::int32("LCID", 1040), PacketParam::text("TABLE_NOTE", "prova")};
    return c;
}

void expectSameFields(const PacketContent& a, const PacketContent& b) {
    ASSERT_EQ(a.fields.size(), b.fields.size());
    for (std::size_t k = 0; k < a.fields.size(); ++k) {
        SCOPED_TRACE(a.fields[k].name);
        EXPECT_EQ(a.fields[k].name, b.fields[k].name);
        EXPECT_EQ(a.fields[k].type, b.fields[k].type);
        EXPECT_EQ(a.fields[k].size, b.fields[k].size);
        EXPECT_EQ(a.fields[k].scale, b.fields[k].scale);
        EXPECT_EQ(a.fields[k].wide, b.fields[k].wide);
        EXPECT_EQ(a.fields[k].subtype, b.fields[k].subtype);
        EXPECT_EQ(a.fields[k].required, b.fields[k].required);
        EXPECT_EQ(a.fields[k].readOnly, b.fields[k].readOnly);
    }
}

// ---- round trips -------------------------------------------------------------------------

TEST(DataPacketCodec, EveryTypeSurvivesEveryForm) {
    const PacketContent c = everyType();
    for (PacketFormat format : kFormats) {
        SCOPED_TRACE(formatName(format));
        const std::string bytes = writePacket(c, format);
        const PacketContent back = readPacket(bytes, "prova");
        expectSameFields(c, back);
        ASSERT_EQ(back.rows.size(), c.rows.size());
        for (std::size_t r = 0; r < c.rows.size(); ++r)
            for (std::size_t k = 0; k < c.fields.size(); ++k)
                EXPECT_EQ(back.rows[r][k], c.rows[r][k]) << "row " << r + 1 << " field " << c.fields[k].name;
        EXPECT_EQ(back.params, c.params);
        // Written again, the packet is the same bytes.
        EXPECT_TRUE(writePacket(back, format) == bytes);
    }
}

TEST(DataPacketCodec, FilesRoundTripAndErrorsNameTheFile) {
    const auto dir = std::filesystem::temp_directory_path() / ("doz_packet_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "Disposizioni.cds").string();
    writePacketFile(path, everyType(), PacketFormat::Binary);
    EXPECT_EQ(readPacketFile(path).rows, everyType().rows);

    const std::string missing = (dir / "manca.cds").string();
    try {
        readPacketFile(missing);
        ADD_FAILURE() << "no error for a missing file";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    }
    EXPECT_THROW(writePacketFile((dir / "no" / "dir.cds").string(), everyType(), PacketFormat::Xml), IoError);
    std::filesystem::remove_all(dir);
}

// ---- value formats of the XML form -----------------------------------------------------

TEST(DataPacketCodec, XmlLayoutAndValueTexts) {
    PacketContent c;
    c.fields = {field("When", FieldType::DateTime), field("At", FieldType::Time), field("On", FieldType::Date),
                field("Length (cm)", FieldType::Float), field("Ok", FieldType::Boolean)};
    c.rows.push_back({DateTime{static_cast<DateTimeMs>(encodeDate(1988, 5, 3)) * kMsPerDay + 12 * 3600000},
                      Time{(12 * 3600 + 34 * 60 + 56) * 1000 + 789}, Date{encodeDate(1996, 6, 15)}, 22.5, false});
    c.rows.push_back({DateTime{static_cast<DateTimeMs>(encodeDate(1988, 4, 12)) * kMsPerDay}, Value(), Value(),
                      Value(), Value()});
    EXPECT_EQ(writePacket(c, PacketFormat::Xml),
              "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
              "<FIELD attrname=\"When\" fieldtype=\"dateTime\"/><FIELD attrname=\"At\" fieldtype=\"time\"/>"
              "<FIELD attrname=\"On\" fieldtype=\"date\"/>"
              "<FIELD fieldname=\"Length (cm)\" attrname=\"Length__cm_\" fieldtype=\"r8\"/>"
              "<FIELD attrname=\"Ok\" fieldtype=\"boolean\"/></FIELDS><PARAMS/></METADATA><ROWDATA>"
              "<ROW When=\"19880503T12:00:00000\" At=\"12:34:56789\" On=\"19960615\" Length__cm_=\"22.5\" Ok=\"FALSE\"/>"
              "<ROW When=\"19880412\"/></ROWDATA></DATAPACKET>");
    c.rows.clear();
    EXPECT_TRUE(writePacket(c, PacketFormat::XmlUtf8).ends_with("<PARAMS/></METADATA><ROWDATA></ROWDATA></DATAPACKET>"));
}

TEST(DataPacketCodec, DoublesPrintWithTheComponentsSixteenDigits) {
    using packet::formatDouble16;
    EXPECT_EQ(formatDouble16(2777815), "2777815");
    EXPECT_EQ(formatDouble16(4.5), "4.5");
    EXPECT_EQ(formatDouble16(134.85000000000002), "134.85");
    EXPECT_EQ(formatDouble16(51673.149999999994), "51673.14999999999");
    // The double nearest 859.57 lies just above a tie at 16 digits.
    EXPECT_EQ(formatDouble16(859.57), "859.57");
    EXPECT_EQ(formatDouble16(0.1 + 0.2), "0.3");
    EXPECT_EQ(formatDouble16(-0.0001), "-0.0001");
    EXPECT_EQ(formatDouble16(0.00001), "1e-05");
    EXPECT_EQ(formatDouble16(1e16), "1e+16");
    EXPECT_EQ(formatDouble16(123456789012345.6), "123456789012345.6");
    EXPECT_EQ(formatDouble16(9999999999999999.0), "1e+16");
    EXPECT_EQ(formatDouble16(-2.5e-300), "-2.5e-300");
    EXPECT_EQ(formatDouble16(0), "0");
}

TEST(DataPacketCodec, LenientXmlValueTexts) {
    const std::string xml =
        "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
        "<FIELD attrname=\"d\" fieldtype=\"date\"/><FIELD attrname=\"t\" fieldtype=\"time\"/>"
        "<FIELD attrname=\"b\" fieldtype=\"boolean\"/><FIELD attrname=\"w\" fieldtype=\"string.uni\" WIDTH=\"20\"/>"
        "<FIELD attrname=\"v\" fieldtype=\"fixed\" DECIMALS=\"2\" WIDTH=\"10\"/>"
        "<FIELD attrname=\"i\" fieldtype=\"int\"/></FIELDS><PARAMS/></METADATA><ROWDATA>"
        "<ROW d=\"1996-06-15\" t=\"10:00\" b=\"true\" w=\"&#8364;&#233;&#x41;&#55357;&#56832;\" v=\"-5\" i=\"-7\"/>"
        "<ROW d=\"\" b=\"f\" v=\"0012.5\"/>"
        "</ROWDATA></DATAPACKET>";
    const PacketContent c = readPacket(xml, "x.xml");
    ASSERT_EQ(c.rows.size(), 2u);
    EXPECT_EQ(c.fields[3].size, 10);
    EXPECT_TRUE(c.fields[3].wide);
    EXPECT_EQ(c.rows[0], (Row{Date{encodeDate(1996, 6, 15)}, Time{36'000'000}, true, "\x80\xE9" "A?",
                              Decimal{"-5.00"}, -7}));
    EXPECT_EQ(c.rows[1], (Row{Value(), Value(), false, Value(), Decimal{"12.50"}, Value()}));
}

// ---- change log -------------------------------------------------------------------------

std::string changeLogXml(const std::string& params, const std::string& rows) {
    return "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
           "<FIELD attrname=\"Id\" fieldtype=\"i4\"/><FIELD attrname=\"Name\" fieldtype=\"string\" WIDTH=\"20\"/>"
           "<FIELD attrname=\"Memo\" fieldtype=\"bin.hex\" SUBTYPE=\"Text\"/></FIELDS><PARAMS " +
           params + "/></METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

TEST(DataPacketCodec, ChangeLogGivesTheVisibleNewestVersions) {
    // 1 plain, 2 modified twice (3 then 4, memo not changed), 5 inserted then deleted.
    const std::string xml = changeLogXml(
        "CHANGE_LOG=\"3 2 8 4 3 8 5 0 4 5 0 2\"",
        "<ROW Id=\"1\" Name=\"uno\"/>"
        "<ROW RowState=\"1\" Id=\"2\" Name=\"due\" Memo=\"nota &#232;\"/>"
        "<ROW RowState=\"9\" Id=\"2\" Name=\"due bis\"/>"
        "<ROW RowState=\"8\" Id=\"2\" Name=\"due ter\"/>"
        "<ROW RowState=\"6\" Id=\"5\" Name=\"cinque\"/>");
    const PacketContent c = readPacket(xml, "log.xml");
    EXPECT_EQ(c.rows, (std::vector<Row>{{1, "uno", Value()}, {2, "due ter", "nota \xE8"}}));
    EXPECT_TRUE(c.params.empty());
}

TEST(DataPacketCodec, DefaultOrderSortsTheCurrentRows) {
    const std::string rows =
        "<ROW Id=\"1\" Name=\"beta\"/><ROW Id=\"2\" Name=\"Alfa\"/><ROW Id=\"3\" Name=\"alfa\"/><ROW Id=\"4\"/>";
    const auto names = [](const PacketContent& c) {
        std::vector<Value> v;
        for (const Row& r : c.rows) v.push_back(r[0]);
        return v;
    };
    EXPECT_EQ(names(readPacket(changeLogXml("DEFAULT_ORDER=\"2\"", rows), "o.xml")),
              (std::vector<Value>{4, 2, 3, 1}));
    EXPECT_EQ(names(readPacket(changeLogXml("DEFAULT_ORDER=\"32770\"", rows), "o.xml")),  // descending
              (std::vector<Value>{1, 3, 2, 4}));
    EXPECT_EQ(names(readPacket(changeLogXml("DEFAULT_ORDER=\"16386 1\"", rows), "o.xml")),  // no case, then Id
              (std::vector<Value>{4, 2, 3, 1}));
    EXPECT_EQ(names(readPacket(changeLogXml("DEFAULT_ORDER=\"16386 32769\"", rows), "o.xml")),
              (std::vector<Value>{4, 3, 2, 1}));
}

TEST(DataPacketCodec, BadChangeLogsAreDataErrors) {
    const std::string rows = "<ROW Id=\"1\"/><ROW RowState=\"8\" Id=\"1\"/>";
    for (const char* log : {"CHANGE_LOG=\"2 1\"", "CHANGE_LOG=\"3 0 4\"", "CHANGE_LOG=\"2 9 8\"", "CHANGE_LOG=\"0 0 4\"",
                            "CHANGE_LOG=\"x\""}) {
        SCOPED_TRACE(log);
        const std::string message = dataErrorOf(changeLogXml(log, rows), "log.xml");
        EXPECT_TRUE(message.starts_with("File dati 'log.xml' non valido: ")) << message;
    }
    // A cycle of older versions ends in an error, not a hang.
    const std::string cycle = changeLogXml("CHANGE_LOG=\"1 2 8 2 1 8\"",
                                           "<ROW RowState=\"8\" Id=\"1\"/><ROW RowState=\"8\" Id=\"2\"/>");
    EXPECT_NE(dataErrorOf(cycle, "log.xml").find("ciclo"), std::string::npos);
}

// ---- broken and hostile input --------------------------------------------------------------

std::string header(std::uint16_t columns, std::uint32_t rows) {
    std::string h("\x96\x19\xE0\xBD\x01\x00\x00\x00\x18\x00\x00\x00", 12);
    packet::appendLE(h, columns, 2);
    packet::appendLE(h, rows, 4);
    packet::appendLE(h, 1, 4);
    packet::appendLE(h, 0, 2);
    return h;
}

std::string column(const std::string& name, std::uint32_t typeWord) {
    std::string c(1, static_cast<char>(name.size()));
    c += name;
    packet::appendLE(c, typeWord, 4);
    packet::appendLE(c, 0, 2);
    packet::appendLE(c, 0, 2);
    return c;
}

TEST(DataPacketCodec, HostileBinaryCountsAreCheckedBeforeUse) {
    const std::string oneBlob = header(1, 1) + column("B", 0x004B0004) + std::string(2, '\0');
    struct Case {
        const char* what;
        std::string bytes;
        const char* expected;
    } cases[] = {
        {"row count", header(1, 0xFFFFFFFF) + column("I", 0x00010004) + std::string(2, '\0'), "troncato"},
        {"column count", header(0xFFFF, 0) + column("I", 0x00010004), "troncato"},
        {"blob length", oneBlob + std::string("\x00\x00\xFF\xFF\xFF\x7F", 6), "troncato"},
        {"param array", header(0, 0) + std::string("\x01\x00\x01P\x04\x00\x82\x00\xFF\xFF\xFF\xFF", 12), "troncato"},
        {"trailing bytes", oneBlob + std::string("\x00\x01\xAB", 3), "eccesso"},
        {"nested column", header(1, 0) + column("N", 0x050E0001) + std::string(2, '\0'), "annidata"},
        {"unknown kind", header(1, 0) + column("Q", 0x003F0004) + std::string(2, '\0'), "tipo non gestito"},
        {"version", "\x96\x19\xE0\xBD\x07" + std::string(19, '\0'), "versione"},
        {"bcd digits", header(1, 1) + column("D", 0x00050012) + std::string(2, '\0') +
                           std::string("\x00\x00\x02\x00\xFA", 5) + std::string(15, '\0'), "BCD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string message = dataErrorOf(c.bytes, "ostile.cds");
        EXPECT_TRUE(message.starts_with("File dati 'ostile.cds' non valido: ")) << message;
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    }
    EXPECT_NE(dataErrorOf("", "vuoto.cds").find("vuoto"), std::string::npos);
    EXPECT_NE(dataErrorOf("PK\x03\x04 zip", "a.cds").find("formato non riconosciuto"), std::string::npos);
}

TEST(DataPacketCodec, BrokenXmlIsADataError) {
    const std::string deep = "<DATAPACKET>" + [] {
        std::string s;
        for (int i = 0; i < 200000; ++i) s += "<a>";
        return s;
    }();
    for (const std::string& xml :
         {std::string("<?xml version=\"1.0\"?><DATAPACKET><METADATA>"), std::string("<?xml version=\"1.0\"?><OTHER/>"),
          deep, changeLogXml("", "<ROW Id=\"abc\"/>"), changeLogXml("", "<ROW RowState=\"999\"/>"),
          std::string("<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"n\" fieldtype=\"nested\"/></FIELDS>"
                      "</METADATA></DATAPACKET>")}) {
        const std::string message = dataErrorOf(xml, "rotto.xml");
        EXPECT_TRUE(message.starts_with("File dati 'rotto.xml' non valido: ")) << message;
    }
}

// Empty rows are six bytes whatever the number of columns: a small file must
// not be able to ask for a table of billions of cells.
TEST(DataPacketCodec, XmlOfManyColumnsAndEmptyRowsIsCapped) {
    std::string xml = "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
    for (int k = 0; k < 3000; ++k) xml += "<FIELD attrname=\"c" + std::to_string(k) + "\" fieldtype=\"i4\"/>";
    xml += "</FIELDS></METADATA><ROWDATA>";
    for (int r = 0; r < 100'000; ++r) xml += "<ROW/>";
    xml += "</ROWDATA></DATAPACKET>";
    EXPECT_NE(dataErrorOf(xml, "largo.xml").find("troppe righe"), std::string::npos);
}

// Declared UTF-8 but not UTF-8: read as Windows-1252, as the component does.
TEST(DataPacketCodec, FalseUtf8DeclarationFallsBackToWindows1252) {
    const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  "
                            "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"s\" fieldtype=\"string\" "
                            "WIDTH=\"9\"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW s=\"gi\xE0 \x80\"/>"
                            "</ROWDATA></DATAPACKET>";
    EXPECT_EQ(readPacket(xml, "f.xml").rows.at(0).at(0), Value("gi\xE0 \x80"));
}

// Characters Windows-1252 lacks take their Latin spelling (or '?' without one),
// and the packet tells which texts were narrowed; its own characters stay.
TEST(DataPacketCodec, TextsOutsideWindows1252TakeTheirLatinFormAndAreNoted) {
    EXPECT_EQ(utf8ToAnsi("\u0218tefan \u0141ukasz Dvo\u0159\u00e1k Erd\u0151s \u0152\u20ac\u00e0 \u0416 \u4e2d"),
              "Stefan Lukasz Dvor\xE1k Erdos \x8C\x80\xE0 Zh ?");
    bool narrowed = false;
    EXPECT_EQ(utf8ToAnsi("caff\xC3\xA8", &narrowed), "caff\xE8");
    EXPECT_FALSE(narrowed);
    EXPECT_EQ(utf8ToAnsi("Rossi \xFF\xC3", &narrowed), "Rossi ??");  // not UTF-8: noted as well
    EXPECT_TRUE(narrowed);

    const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  "
                            "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                            "<FIELD attrname=\"s\" fieldtype=\"string\" WIDTH=\"20\"/>"
                            "<FIELD attrname=\"t\" fieldtype=\"string\" WIDTH=\"20\"/></FIELDS><PARAMS/></METADATA>"
                            "<ROWDATA><ROW s=\"\xC8\x98tefan\" t=\"Citt\xC3\xA0\"/><ROW s=\"&#x15A;wi&#x119;s \xE4\xB8\xAD\" "
                            "t=\"\xC5\x81ukasz\"/><ROW s=\"\xC8\x98tefan\"/></ROWDATA></DATAPACKET>";
    const PacketContent fromXml = readPacket(xml, "f.xml");
    EXPECT_EQ(fromXml.rows.at(1).at(0), Value("Swies ?"));
    using Noted = std::vector<std::pair<std::size_t, std::string>>;
    EXPECT_EQ(fromXml.narrowed, (Noted{{0, "Stefan"}, {0, "Swies ?"}, {1, "Lukasz"}}));

    // A wide column of a binary packet: the UTF-16 "X" of "Xtefan" made an "Ș".
    PacketContent c;
    FieldDef wide = field("Wide", FieldType::String, 12);
    wide.wide = true;
    c.fields = {wide};
    c.rows = {{Value("Xtefan")}, {Value("Mario")}};
    std::string bytes = writePacket(c, PacketFormat::Binary);
    const std::size_t at = bytes.find(std::string("X\0t\0", 4));
    ASSERT_NE(at, std::string::npos);
    bytes[at] = '\x18';
    bytes[at + 1] = '\x02';
    const PacketContent fromBinary = readPacket(bytes, "f.cds");
    EXPECT_EQ(fromBinary.rows.at(0).at(0), Value("Stefan"));
    EXPECT_EQ(fromBinary.narrowed, (Noted{{0, "Stefan"}}));
}

// The binary reader lets a longer text read again in its column share the
// bytes of its first reading: texts that look alike (same length, same first
// and last bytes) or come back after others must still read as written.
TEST(DataPacketCodec, RepeatedLongTextsReadBackAsWritten) {
    PacketContent c;
    FieldDef wide = field("Wide", FieldType::String, 40);
    wide.wide = true;
    c.fields = {field("Narrow", FieldType::String, 40), wide};
    for (int r = 0; r < 6000; ++r) {
        std::string t = "Banca Popolare " + std::to_string(r % 2500 * 7919 % 10007) + " filiale 00";
        if (r % 3 == 0) t[20] = 'X';  // alike but for a middle byte
        c.rows.push_back({Value(t), Value(r % 4 == 0 ? t + " è" : r % 4 == 1 ? t + " " : t)});
    }
    const PacketContent back = readPacket(writePacket(c, PacketFormat::Binary), "prova.cds");
    ASSERT_EQ(back.rows.size(), c.rows.size());
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
        ASSERT_EQ(back.rows[r][0], c.rows[r][0]) << "row " << r + 1;
        ASSERT_EQ(back.rows[r][1], c.rows[r][1]) << "row " << r + 1;
    }
    EXPECT_TRUE(back.narrowed.empty());
}

TEST(DataPacketCodec, WriterRefusesValuesThatDoNotFit) {
    PacketContent c;
    c.fields = {field("S", FieldType::String, 3), field("N", FieldType::Int16)};
    for (PacketFormat format : kFormats) {
        SCOPED_TRACE(formatName(format));
        c.rows = {{"abcd", 1}};
        EXPECT_THROW(writePacket(c, format), DataError);
        c.rows = {{"abc", 40000}};
        EXPECT_THROW(writePacket(c, format), DataError);
        c.rows = {{"abc", "1"}};
        EXPECT_THROW(writePacket(c, format), DataError);
        c.rows = {{"abc"}};
        EXPECT_THROW(writePacket(c, format), DataError);
        c.rows = {{"abc", Value()}};
        EXPECT_NO_THROW(writePacket(c, format));
    }
    // Dates outside 0001-9999 and names that clash once made XML names.
    PacketContent d;
    d.fields = {field("D", FieldType::Date)};
    d.rows = {{Date{encodeDate(1, 1, 1) - 1}}};
    for (PacketFormat format : kFormats) EXPECT_THROW(writePacket(d, format), DataError) << formatName(format);
    d.fields = {field("a b", FieldType::Int32), field("a_b", FieldType::Int32)};
    d.rows.clear();
    EXPECT_THROW(writePacket(d, PacketFormat::Xml), DataError);
    EXPECT_NO_THROW(writePacket(d, PacketFormat::Binary));
}

// Cut short anywhere or with bytes changed at random, every sample file loads
// or gives a DataError; nothing else escapes.
TEST(DataPacketCodec, DamagedSampleFilesNeverCrash) {
    if (!std::filesystem::exists(kDir + "orders.cds")) GTEST_SKIP() << "sample packets not found in " << kDir;
    std::mt19937 random(20240607);
    for (const char* file : {"orders.cds", "orders.xml", "reservat.cds", "reservat.xml", "events.cds", "events.xml",
                             "Products.cds", "iconData.cds", "dados.xml", "TestTable.xml",
                             kBcdSample.c_str()}) {
        SCOPED_TRACE(file);
        std::ifstream in(kDir + file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(bytes.empty());
        const bool binary = bytes[0] == '\x96';
        int truncatedErrors = 0, cuts = 0;
        const bool big = bytes.size() > 100'000;
        const std::size_t step = std::max<std::size_t>(1, bytes.size() / (big ? 100 : 600));
        for (std::size_t cut = 0; cut < bytes.size(); cut += step) {
            ++cuts;
            try {
                readPacket(std::string_view(bytes).substr(0, cut), file);
            } catch (const DataError&) {
                ++truncatedErrors;
            }
        }
        // The binary form knows its exact length: every cut is an error.
        if (binary) {
            EXPECT_EQ(truncatedErrors, cuts);
        }
        for (int round = 0; round < (big ? 30 : 400); ++round) {
            std::string damaged = bytes;
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int k = 0; k < flips; ++k) {
                // Half of the damage lands in the header and metadata, where counts live.
                const std::size_t limit = random() % 2 ? std::min<std::size_t>(bytes.size(), 600) : bytes.size();
                damaged[random() % limit] = static_cast<char>(random());
            }
            try {
                readPacket(damaged, file);
            } catch (const DataError&) {
            }
        }
    }
}

}  // namespace
}  // namespace doz
