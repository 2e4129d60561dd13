// The real sample packets: decoded values, cross-form agreement, round trips.
#include "platform/DataPacket.h"

#include <gtest/gtest.h>

#include "support/SamplePackets.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Ansi.h"
#include "platform/Error.h"

namespace doz {
namespace {

const std::string kDir = doz::testing::samplePacketDir();
const std::string kBcdSample = doz::testing::bcdSamplePacket();

#define REQUIRE_FIXTURES()                                                                   \
    if (!std::filesystem::exists(kDir + "orders.cds")) GTEST_SKIP() << "sample packets not found in " << kDir

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A small SHA-1, to check blobs against the digests the format notes list.
std::string sha1(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::vector<std::uint8_t> m(data, data + size);
    m.push_back(0x80);
    while (m.size() % 64 != 56) m.push_back(0);
    const std::uint64_t bits = static_cast<std::uint64_t>(size) * 8;
    for (int i = 7; i >= 0; --i) m.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    auto rol = [](std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
    for (std::size_t off = 0; off < m.size(); off += 64) {
        std::uint32_t w[80];
        for (int i = 0; i < 16; ++i)
            w[i] = (std::uint32_t{m[off + 4 * i]} << 24) | (std::uint32_t{m[off + 4 * i + 1]} << 16) |
                   (std::uint32_t{m[off + 4 * i + 2]} << 8) | m[off + 4 * i + 3];
        for (int i = 16; i < 80; ++i) w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            std::uint32_t f, k;
            if (i < 20) f = (b & c) | (~b & d), k = 0x5A827999;
            else if (i < 40) f = b ^ c ^ d, k = 0x6ED9EBA1;
            else if (i < 60) f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            else f = b ^ c ^ d, k = 0xCA62C1D6;
            const std::uint32_t t = rol(a, 5) + f + e + k + w[i];
            e = d, d = c, c = rol(b, 30), b = a, a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    char out[41];
    for (int i = 0; i < 5; ++i) std::snprintf(out + 8 * i, 9, "%08x", h[i]);
    return out;
}
std::string sha1(BytesRef b) { return sha1(b.data(), b.size()); }
std::string sha1(std::string_view s) { return sha1(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); }

std::size_t col(const PacketContent& c, const std::string& name) {
    for (std::size_t k = 0; k < c.fields.size(); ++k)
        if (c.fields[k].name == name) return k;
    ADD_FAILURE() << "no column " << name;
    return 0;
}

const Value& at(const PacketContent& c, std::size_t row1, const std::string& name) {
    return c.rows.at(row1 - 1).at(col(c, name));
}

DateTimeMs dt(int y, int m, int d, int h = 0, int mi = 0) {
    return static_cast<DateTimeMs>(encodeDate(y, m, d)) * kMsPerDay + (h * 60 + mi) * 60000LL;
}

Value money(std::int64_t tenThousandths) { return Value(Currency{tenThousandths}); }

// ---- binary and XML pairs ------------------------------------------------------------

TEST(DataPacketFixtures, OrdersInBothForms) {
    REQUIRE_FIXTURES();
    for (const char* file : {"orders.cds", "orders.xml"}) {
        SCOPED_TRACE(file);
        const PacketContent c = readPacketFile(kDir + file);
        ASSERT_EQ(c.fields.size(), 21u);
        ASSERT_EQ(c.rows.size(), 205u);
        EXPECT_EQ(c.fields[0].type, FieldType::Float);
        EXPECT_TRUE(c.fields[col(c, "CustNo")].required);
        EXPECT_EQ(c.fields[col(c, "SaleDate")].type, FieldType::DateTime);
        EXPECT_EQ(c.fields[col(c, "EmpNo")].type, FieldType::Int32);
        EXPECT_EQ(c.fields[col(c, "ShipToCountry")].size, 20);
        EXPECT_EQ(c.fields[col(c, "ShipVIA")].size, 7);
        EXPECT_EQ(c.fields[col(c, "ItemsTotal")].type, FieldType::Currency);
        EXPECT_EQ(c.fields[col(c, "TaxRate")].type, FieldType::Float);

        EXPECT_EQ(at(c, 1, "OrderNo"), Value(1003.0));
        EXPECT_EQ(at(c, 1, "CustNo"), Value(1351.0));
        EXPECT_EQ(at(c, 1, "SaleDate"), Value(DateTime{dt(1988, 4, 12)}));
        EXPECT_EQ(at(c, 1, "ShipDate"), Value(DateTime{dt(1988, 5, 3, 12)}));
        EXPECT_EQ(at(c, 1, "EmpNo"), Value(114));
        for (const char* n : {"ShipToContact", "ShipToAddr1", "ShipToCity", "ShipToPhone", "PO"})
            EXPECT_TRUE(at(c, 1, n).isNull()) << n;
        EXPECT_EQ(at(c, 1, "ShipVIA"), Value("UPS"));
        EXPECT_EQ(at(c, 1, "PaymentMethod"), Value("Credit"));
        EXPECT_EQ(at(c, 1, "ItemsTotal"), money(12'500'000));
        EXPECT_EQ(at(c, 1, "TaxRate"), Value(4.5));
        EXPECT_EQ(at(c, 1, "Freight"), money(0));

        EXPECT_EQ(at(c, 2, "ShipToContact"), Value("Maria Eventosh"));
        EXPECT_EQ(at(c, 2, "ShipToAddr1"), Value("PO Box 737"));
        EXPECT_TRUE(at(c, 2, "ShipToAddr2").isNull());
        EXPECT_EQ(at(c, 2, "ShipToCountry"), Value("Republic So. Africa"));
        EXPECT_EQ(at(c, 2, "ShipToPhone"), Value("27-11-4432458"));
        EXPECT_EQ(at(c, 2, "AmountPaid"), money(78'850'000));

        EXPECT_EQ(at(c, 205, "OrderNo"), Value(1860.0));
        EXPECT_EQ(at(c, 205, "SaleDate"), Value(DateTime{dt(1996, 2, 4)}));
        EXPECT_TRUE(at(c, 205, "ShipDate").isNull());
        EXPECT_EQ(at(c, 205, "EmpNo"), Value(9));
        EXPECT_EQ(at(c, 205, "Terms"), Value("net 30"));
        EXPECT_EQ(at(c, 205, "ItemsTotal"), money(650'000));
        // 134.85000000000002 in the binary file, 134.85 in XML: the same money.
        EXPECT_EQ(at(c, 12, "ItemsTotal"), money(1'348'500));
    }
}

TEST(DataPacketFixtures, ReservatInBothForms) {
    REQUIRE_FIXTURES();
    for (const char* file : {"reservat.cds", "reservat.xml"}) {
        SCOPED_TRACE(file);
        const PacketContent c = readPacketFile(kDir + file);
        ASSERT_EQ(c.fields.size(), 11u);
        ASSERT_EQ(c.rows.size(), 100u);
        const FieldDef& resNo = c.fields[0];
        EXPECT_EQ(resNo.type, FieldType::Int32);
        EXPECT_EQ(resNo.subtype, "Autoinc");
        EXPECT_TRUE(resNo.readOnly);
        const FieldDef& notes = c.fields[col(c, "Pay_Notes")];
        EXPECT_EQ(notes.type, FieldType::Memo);
        EXPECT_EQ(notes.subtype, "Text");
        EXPECT_EQ(notes.size, 30);
        EXPECT_EQ(c.fields[col(c, "Paid")].type, FieldType::Boolean);
        EXPECT_EQ(c.fields[col(c, "Card_Exp")].type, FieldType::Date);

        EXPECT_EQ(c.rows[0], (Row{9, 2, 14, 4, money(200'000), "VISA", "770557078235538241",
                                  Date{encodeDate(1996, 11, 30)}, Value(), Date{encodeDate(1996, 6, 30)}, true}));
        EXPECT_EQ(c.rows[1], (Row{10, 8, 9, 3, money(225'000), "WILL CALL", "762723745540848772",
                                  Date{encodeDate(1997, 12, 31)}, Value(), Date{encodeDate(1996, 6, 30)}, true}));
        EXPECT_EQ(c.rows[99], (Row{108, 2, 20, 7, money(350'000), "CASH/CK", Value(), Date{encodeDate(1998, 2, 1)},
                                   Value(), Date{encodeDate(1996, 6, 30)}, Value()}));
        int paidTrue = 0, paidNull = 0, notesNull = 0;
        for (const Row& r : c.rows) {
            paidTrue += r[10] == Value(true);
            paidNull += r[10].isNull();
            notesNull += r[8].isNull();
        }
        EXPECT_EQ(paidTrue, 82);
        EXPECT_EQ(paidNull, 18);
        EXPECT_EQ(notesNull, 100);
    }
}

TEST(DataPacketFixtures, EventsInBothForms) {
    REQUIRE_FIXTURES();
    PacketContent forms[2];
    int i = 0;
    for (const char* file : {"events.cds", "events.xml"}) {
        SCOPED_TRACE(file);
        const PacketContent& c = forms[i++] = readPacketFile(kDir + file);
        ASSERT_EQ(c.fields.size(), 8u);
        ASSERT_EQ(c.rows.size(), 23u);
        EXPECT_EQ(c.fields[col(c, "Event_Time")].type, FieldType::Time);
        EXPECT_EQ(c.fields[col(c, "Event_Description")].size, 100);
        EXPECT_EQ(c.fields[col(c, "Event_Photo")].type, FieldType::Blob);
        EXPECT_EQ(c.fields[col(c, "Event_Photo")].subtype, "Graphics");

        EXPECT_EQ(at(c, 1, "Event_Name"), Value("Men's Track and Field"));
        EXPECT_EQ(at(c, 1, "Event_Date"), Value(Date{encodeDate(1996, 6, 15)}));
        EXPECT_EQ(at(c, 1, "Event_Time"), Value(Time{10 * 3600000}));
        EXPECT_EQ(at(c, 1, "Event_Description"),
                  Value("Outdoor arena, one of the most popular events.  High speed contenders for this medal round."));
        EXPECT_EQ(at(c, 1, "Ticket_price"), money(50'000));
        const BytesRef photo = at(c, 1, "Event_Photo").get<Bytes>();
        ASSERT_EQ(photo.size(), 27286u);
        EXPECT_EQ(Bytes(photo.begin(), photo.begin() + 10), (Bytes{0x01, 0, 0, 0x01, 0x8e, 0x6a, 0, 0, 0x42, 0x4d}));
        EXPECT_EQ(sha1(photo), "3d1c254e8cb444ae41c7672965e81963831e8712");
        EXPECT_EQ(at(c, 2, "Event_Time"), Value(Time{8 * 3600000}));
        EXPECT_EQ(sha1(at(c, 2, "Event_Photo").get<Bytes>()), "e2f7c134fce2babbe8291502b7a03df16e804ca2");
        EXPECT_EQ(at(c, 23, "EventNo"), Value(23));
        EXPECT_TRUE(at(c, 23, "VenueNo").isNull());
        EXPECT_TRUE(at(c, 23, "Event_Description").isNull());
        EXPECT_EQ(at(c, 23, "Event_Time"), Value(Time{14 * 3600000}));
        EXPECT_EQ(at(c, 23, "Ticket_price"), money(100'000));
        EXPECT_EQ(sha1(at(c, 23, "Event_Photo").get<Bytes>()), "1456593dee9dee349cd982e0bba7aad433e1fbdd");
    }
    EXPECT_EQ(forms[0].rows, forms[1].rows);
}

// Everything but seven ItemsTotal doubles is identical; as money they agree too.
TEST(DataPacketFixtures, PairsHoldTheSameContent) {
    REQUIRE_FIXTURES();
    for (const char* base : {"orders", "reservat", "events"}) {
        SCOPED_TRACE(base);
        const PacketContent b = readPacketFile(kDir + base + ".cds");
        const PacketContent x = readPacketFile(kDir + base + ".xml");
        EXPECT_EQ(b.fields.size(), x.fields.size());
        for (std::size_t k = 0; k < b.fields.size() && k < x.fields.size(); ++k) {
            EXPECT_EQ(b.fields[k].name, x.fields[k].name);
            EXPECT_EQ(b.fields[k].type, x.fields[k].type);
            EXPECT_EQ(b.fields[k].size, x.fields[k].size);
            EXPECT_EQ(b.fields[k].subtype, x.fields[k].subtype);
            EXPECT_EQ(b.fields[k].required, x.fields[k].required);
            EXPECT_EQ(b.fields[k].readOnly, x.fields[k].readOnly);
        }
        EXPECT_EQ(b.params, x.params);
        EXPECT_EQ(b.rows, x.rows);
    }
}

// ---- change-logged binary files ------------------------------------------------------

TEST(DataPacketFixtures, ProductsShowsTheRowsOfItsChangeLog) {
    REQUIRE_FIXTURES();
    const PacketContent c = readPacketFile(kDir + "Products.cds");
    ASSERT_EQ(c.fields.size(), 4u);
    EXPECT_EQ(c.fields[0].subtype, "Autoinc");
    EXPECT_EQ(c.fields[1].size, 20);
    const std::vector<Row> expected = {
        {11, "DiegoN", 0, 100},  {12, "JoseP", 0, 100}, {14, "JulianM", 0, 200}, {15, "AntonioT", 0, 300},
        {16, "IvanG", 0, 100},   {17, "JuanR", 0, 500}, {10, "DiegoE", 0, 1000}, {13, "JorgeA", 0, 600},
    };
    EXPECT_EQ(c.rows, expected);
    // The log itself is gone; the next auto-increment value stays.
    ASSERT_EQ(c.params.size(), 1u);
    EXPECT_EQ(c.params[0].name, "AUTOINCVALUE");
    EXPECT_EQ(c.params[0].numbers(), std::vector<std::int64_t>{18});
}

TEST(DataPacketFixtures, IconDataTakesUnchangedBlobsFromOlderVersions) {
    REQUIRE_FIXTURES();
    const PacketContent c = readPacketFile(kDir + "iconData.cds");
    ASSERT_EQ(c.fields.size(), 5u);
    EXPECT_EQ(c.fields[3].type, FieldType::Memo);
    EXPECT_EQ(c.fields[4].type, FieldType::Blob);
    EXPECT_EQ(c.fields[4].subtype, "Binary");
    ASSERT_EQ(c.rows.size(), 8u);
    for (const Row& r : c.rows) EXPECT_TRUE(r[0].isNull());  // "not changed" integer: null
    EXPECT_EQ(c.rows[0][1], Value("System"));
    EXPECT_EQ(c.rows[0][2], Value("Email"));
    EXPECT_EQ(c.rows[0][3], Value("Email\r\n@\r\nAccounts"));
    EXPECT_EQ(c.rows[0][4].get<Bytes>().size(), 3143u);
    EXPECT_EQ(sha1(c.rows[0][4].get<Bytes>()), "7911e546be219e6d93079b8ab7458cadef32b0d1");
    EXPECT_EQ(c.rows[1][2], Value("Home Page"));
    EXPECT_EQ(c.rows[1][3], Value("Internet\r\nHome\r\nDefault\r\nWebsite\r\nHome Page"));
    EXPECT_EQ(sha1(c.rows[1][4].get<Bytes>()), "087bef89b35bf3cee29dd9c3f01a2ef93dfe0ff8");
    EXPECT_EQ(c.rows[7][1], Value("Internet"));
    EXPECT_EQ(c.rows[7][2], Value("Favorites"));
    EXPECT_EQ(c.rows[7][3], Value("Internet\r\nFavorites\r\n"));
    const BytesRef icon = c.rows[7][4].get<Bytes>();  // from record 8 by way of record 23
    EXPECT_EQ(icon.size(), 3331u);
    EXPECT_EQ(sha1(icon), "62e611785b37a468562d0e79c11ed4a5e7e3478a");
    EXPECT_EQ(Bytes(icon.begin(), icon.begin() + 4), (Bytes{0x89, 'P', 'N', 'G'}));
}

// ---- XML-only files --------------------------------------------------------------------

TEST(DataPacketFixtures, DadosKeepsItsWindows1252Text) {
    REQUIRE_FIXTURES();
    const PacketContent c = readPacketFile(kDir + "dados.xml");
    ASSERT_EQ(c.fields.size(), 3u);
    EXPECT_EQ(c.fields[2].type, FieldType::Memo);
    EXPECT_EQ(c.fields[2].size, 0);
    ASSERT_EQ(c.rows.size(), 4u);
    EXPECT_EQ(c.rows[0][0], Value(7));
    EXPECT_EQ(c.rows[0][1], Value("Ex Eva"));
    const std::string program =
        "int main(){\r\n\tx = 8;\r\n\twhile(x<=10){\r\n\t\tprintf(x);\r\n\t\tx++;\r\n\t\tif(x==10){\r\n\t\t\tprintf("
        "\x93\xFAltima execu\xE7\xE3o\x94);\r\n\t\t}\r\n\t}\t\r\n}";
    EXPECT_EQ(program.size(), 116u);
    EXPECT_EQ(c.rows[0][2], Value(program));
    EXPECT_EQ(c.rows[1][0], Value(8));
    EXPECT_EQ(c.rows[1][1], Value("prova"));
    const std::string_view second = c.rows[1][2].get<std::string>();
    EXPECT_EQ(second.size(), 331u);
    EXPECT_EQ(sha1(second), "70cd72a3b9fb3dd336cf4d0e6a6d1f89ca35607b");
    EXPECT_TRUE(second.starts_with("#include <iostream>\r\nusing namespace std"));
    EXPECT_EQ(c.rows[3][0], Value(6));
    EXPECT_EQ(c.rows[3][1], Value("EX Else"));
    const std::string_view last = c.rows[3][2].get<std::string>();
    EXPECT_EQ(last.size(), 249u);
    EXPECT_EQ(sha1(last), "905503e0556881cb3125a402a2d413f334264b1e");
    EXPECT_TRUE(last.starts_with("int main () {\r\n\tfor"));
}

TEST(DataPacketFixtures, TestTableJapaneseBecomesQuestionMarks) {
    REQUIRE_FIXTURES();
    const PacketContent c = readPacketFile(kDir + "TestTable.xml");
    ASSERT_EQ(c.fields.size(), 10u);
    EXPECT_EQ(c.fields[0].name, "??");  // two full-width letters
    EXPECT_EQ(c.fields[0].type, FieldType::Int32);
    ASSERT_EQ(c.rows.size(), 3u);
    EXPECT_EQ(c.rows[0][0], Value(1));
    EXPECT_EQ(c.rows[0][1], Value("????"));      // three katakana and a full-width digit
    EXPECT_EQ(c.rows[1][9], Value("?"));
    EXPECT_EQ(c.rows[2][0], Value(3));
    EXPECT_EQ(c.rows[2][5], Value("??????"));
}

TEST(DataPacketFixtures, BcdSampleHoldsDecimalText) {
    REQUIRE_FIXTURES();
    const PacketContent c = readPacketFile(kDir + kBcdSample);
    ASSERT_EQ(c.fields.size(), 3u);
    EXPECT_EQ(c.fields[2].type, FieldType::Bcd);
    EXPECT_EQ(c.fields[2].size, 32);
    EXPECT_EQ(c.fields[2].scale, 2);
    EXPECT_EQ(c.fields[1].size, 100);
    ASSERT_EQ(c.rows.size(), 2u);
    EXPECT_EQ(c.rows[0], (Row{Value(), "nmnmcvmv", Decimal{"646.00"}}));
    EXPECT_EQ(c.rows[1], (Row{Value(), "xzvxzbvzx", Decimal{"54165.00"}}));
}

// ---- writers against the real files ---------------------------------------------------

// The XML written from a binary demo file is the real XML file, byte for byte,
// except where the binary file holds a money double that is not the nearest
// double to its ten-thousandths (six ItemsTotal values of the orders): money is
// held as Currency, so the written text is that of the rounded amount.
TEST(DataPacketFixtures, XmlWrittenFromBinaryEqualsTheRealXml) {
    REQUIRE_FIXTURES();
    for (const char* base : {"reservat", "events"}) {
        SCOPED_TRACE(base);
        const std::string written = writePacket(readPacketFile(kDir + base + ".cds"), PacketFormat::Xml);
        const std::string real = slurp(kDir + base + ".xml");
        EXPECT_EQ(written.size(), real.size());
        EXPECT_TRUE(written == real) << "first difference at byte "
                                     << std::mismatch(written.begin(), written.end(), real.begin(), real.end()).first -
                                            written.begin();
    }
    const std::string written = writePacket(readPacketFile(kDir + "orders.cds"), PacketFormat::Xml);
    const std::string real = slurp(kDir + "orders.xml");
    std::size_t i = 0, j = 0;
    int moneyDifferences = 0;
    while (i < written.size() && j < real.size()) {
        if (written[i] == real[j]) {
            ++i, ++j;
            continue;
        }
        const std::size_t open = written.rfind('"', i - 1);
        ASSERT_NE(open, std::string::npos);
        ASSERT_EQ(written.substr(0, open + 1).ends_with("ItemsTotal=\""), true) << "difference at byte " << i;
        const std::size_t endW = written.find('"', i);
        const std::size_t endR = real.find('"', j);
        const double a = std::stod(written.substr(open + 1, endW - open - 1));
        const double b = std::stod(real.substr(open + 1 + (j - i), endR - open - 1 - (j - i)));
        EXPECT_EQ(std::llround(a * 10000), std::llround(b * 10000));
        ++moneyDifferences;
        i = endW, j = endR;
    }
    EXPECT_EQ(i, written.size());
    EXPECT_EQ(j, real.size());
    EXPECT_EQ(moneyDifferences, 6);
}

// Binary written from either form equals the real binary file, except for the
// orders' money doubles that are not the nearest double to their cents.
TEST(DataPacketFixtures, BinaryWrittenBackEqualsTheRealBinary) {
    REQUIRE_FIXTURES();
    for (const char* base : {"reservat", "events"}) {
        SCOPED_TRACE(base);
        const std::string real = slurp(kDir + base + ".cds");
        EXPECT_TRUE(writePacket(readPacketFile(kDir + base + ".cds"), PacketFormat::Binary) == real);
        EXPECT_TRUE(writePacket(readPacketFile(kDir + base + ".xml"), PacketFormat::Binary) == real);
    }
    const std::string real = slurp(kDir + "orders.cds");
    const std::string written = writePacket(readPacketFile(kDir + "orders.cds"), PacketFormat::Binary);
    ASSERT_EQ(written.size(), real.size());
    int differingBytes = 0;
    for (std::size_t k = 0; k < real.size(); ++k) differingBytes += written[k] != real[k];
    EXPECT_GT(differingBytes, 0);
    EXPECT_LE(differingBytes, 7 * 8);
}

TEST(DataPacketFixtures, EveryFileSurvivesEveryWriter) {
    REQUIRE_FIXTURES();
    for (const char* file : {"orders.cds", "orders.xml", "reservat.cds", "reservat.xml", "events.cds", "events.xml",
                             "Products.cds", "iconData.cds", "dados.xml", "TestTable.xml",
                             kBcdSample.c_str()}) {
        const PacketContent c = readPacketFile(kDir + file);
        for (PacketFormat format : {PacketFormat::Binary, PacketFormat::Xml, PacketFormat::XmlUtf8}) {
            SCOPED_TRACE(std::string(file) + " as format " + std::to_string(static_cast<int>(format)));
            const std::string bytes = writePacket(c, format);
            const PacketContent back = readPacket(bytes, "copia");
            ASSERT_EQ(back.fields.size(), c.fields.size());
            for (std::size_t k = 0; k < c.fields.size(); ++k) {
                EXPECT_EQ(back.fields[k].name, c.fields[k].name);
                EXPECT_EQ(back.fields[k].type, c.fields[k].type);
                EXPECT_EQ(back.fields[k].size, c.fields[k].size);
                EXPECT_EQ(back.fields[k].scale, c.fields[k].scale);
                EXPECT_EQ(back.fields[k].subtype, c.fields[k].subtype);
                EXPECT_EQ(back.fields[k].required, c.fields[k].required);
                EXPECT_EQ(back.fields[k].readOnly, c.fields[k].readOnly);
            }
            EXPECT_EQ(back.params, c.params);
            EXPECT_EQ(back.rows, c.rows);
        }
    }
}

}  // namespace
}  // namespace doz
