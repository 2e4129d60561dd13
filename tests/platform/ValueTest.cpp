// The compact value: texts inline or shared, copies that share, and every kind
// keeping what it was given.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/Table.h"
#include "platform/Value.h"

using namespace doz;

namespace {

// Texts around the length where a value stops holding its text inline.
const std::vector<std::string> kTexts = {"", "a", std::string(13, 'x'), std::string(14, 'y'), std::string(15, 'z'),
                                         std::string("con\0zero", 8), std::string(300, '\xE0')};

}  // namespace

TEST(ValueTest, TextsOfEveryLengthComeBackWhole) {
    for (const std::string& t : kTexts) {
        const Value v(t);
        ASSERT_TRUE(v.is<std::string>()) << t.size();
        EXPECT_EQ(v.text(), t) << t.size();
        const Value d(Decimal{t});
        EXPECT_TRUE(d.is<Decimal>());
        EXPECT_EQ(d.get<Decimal>().text, t);
        const Value b(Bytes(t.begin(), t.end()));
        ASSERT_TRUE(b.is<Bytes>());
        EXPECT_EQ(Bytes(b.get<Bytes>().begin(), b.get<Bytes>().end()), Bytes(t.begin(), t.end()));
    }
}

TEST(ValueTest, CopiesAndMovesKeepTheTextAfterTheOriginalIsGone) {
    for (const std::string& t : kTexts) {
        std::vector<Value> copies;
        {
            Value original(t);
            copies.push_back(original);           // copy
            Value assigned;
            assigned = original;                  // copy assignment over null
            copies.push_back(std::move(assigned));
            EXPECT_TRUE(assigned.isNull());       // a moved-from value is null
            Value over("sovrascritto e abbastanza lungo");
            over = copies.front();                // copy assignment over a shared text
            copies.push_back(over);
            Value& self = over;
            over = self;                          // self assignment
            copies.push_back(over);
        }
        for (const Value& c : copies) EXPECT_EQ(c.text(), t);
        // Changing one copy leaves the others alone.
        copies[0] = Value(std::string("altro testo che non sta nel valore"));
        EXPECT_EQ(copies[1].text(), t);
        EXPECT_EQ(copies[0].text(), "altro testo che non sta nel valore");
    }
}

TEST(ValueTest, ScalarsKeepTheirKindAndValue) {
    EXPECT_TRUE(Value().isNull());
    EXPECT_EQ(Value(true).get<bool>(), true);
    EXPECT_EQ(Value(false).get<bool>(), false);
    EXPECT_EQ(Value(std::numeric_limits<std::int64_t>::min()).get<std::int64_t>(),
              std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Value(std::numeric_limits<std::uint64_t>::max()).get<std::uint64_t>(),
              std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(Value(-0.1).get<double>(), -0.1);
    EXPECT_EQ(Value(Currency{-12345678}).get<Currency>().scaled, -12345678);
    EXPECT_EQ(Value(Date{46363}).get<Date>().serial, 46363);
    EXPECT_EQ(Value(Time{86399999}).get<Time>().ms, 86399999);
    EXPECT_EQ(Value(DateTime{-1}).get<DateTime>().ms, -1);
    EXPECT_TRUE(Value(1).is<std::int64_t>());
    EXPECT_FALSE(Value(1).is<std::uint64_t>());
}

TEST(ValueTest, EqualityNeedsTheSameKindAndTheSameContent) {
    EXPECT_EQ(Value(std::string(20, 'a')), Value(std::string(20, 'a')));
    EXPECT_NE(Value(std::string(20, 'a')), Value(std::string(21, 'a')));
    EXPECT_NE(Value("12"), Value(Decimal{"12"}));
    EXPECT_NE(Value(std::int64_t{0}), Value(Date{0}));
    EXPECT_NE(Value(std::int64_t{1}), Value(true));
    EXPECT_EQ(Value(), Value());
    EXPECT_NE(Value(), Value(""));
    const double nan = std::nan("");
    EXPECT_NE(Value(nan), Value(nan));  // as a double compares
    EXPECT_EQ(Value(0.0), Value(-0.0));
}

TEST(ValueTest, ATableCopyFedByAProviderSharesAndKeepsItsOwnChanges) {
    Table source("src");
    std::vector<FieldDef> defs(2);
    defs[0].name = "NOME";
    defs[0].size = 40;
    defs[1].name = "NOTA";
    source.assign(defs, {{Value(std::string(30, 'n')), Value("breve")}, {Value("x"), Value()}});
    Provider provider("dsp");
    provider.setDataSet(&source);
    provider.onGetData = [](Table& t) {
        t.first();
        t.edit();
        t.fieldByName("NOTA").setText(std::string(25, 'c'));
        t.next();
        t.edit();
        t.fieldByName("NOME").setText("x");  // what it holds already
        t.post();
    };
    Table copy("copy");
    copy.setProvider(&provider);
    copy.open();
    EXPECT_EQ(copy.allRows()[0][0].text(), std::string(30, 'n'));
    EXPECT_EQ(copy.allRows()[0][1].text(), std::string(25, 'c'));
    EXPECT_EQ(source.allRows()[0][1].text(), "breve");
    // The row the callback left as it was is shared until either side changes it.
    EXPECT_TRUE(copy.allRows()[1].shared());
    EXPECT_FALSE(copy.allRows()[0].shared());
    source.last();
    source.edit();
    source.fieldByName("NOME").setText("y");
    source.post();
    EXPECT_EQ(copy.allRows()[1][0].text(), "x");
    copy.last();
    copy.edit();
    copy.fieldByName("NOME").setText("z");
    copy.cancel();
    EXPECT_EQ(copy.allRows()[1][0].text(), "x");
    EXPECT_EQ(source.allRows()[1][0].text(), "y");
    source.close();  // the source's rows go; the copy keeps its texts
    EXPECT_EQ(copy.allRows()[0][0].text(), std::string(30, 'n'));
    EXPECT_EQ(copy.allRows()[1][0].text(), "x");
    EXPECT_TRUE(copy.allRows()[1][1].isNull());
}
