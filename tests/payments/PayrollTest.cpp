// The month's payments as the payroll checks and the register see them.
#include <gtest/gtest.h>

#include <limits>

#include "payments/Payroll.h"
#include "platform/Error.h"
#include "platform/MemoryWindow.h"

namespace doz {
namespace {

FieldDef def(const char* name, FieldType type = FieldType::String) {
    FieldDef d;
    d.name = name;
    d.type = type;
    return d;
}

TEST(Payroll, EachPaymentKnowsItsPayeeAndAccountWhateverTheDispositionsCarry) {
    MemoryWindow window;
    FormState form(window);
    const std::vector<FieldDef> defs{def("IMPGID", FieldType::Int32), def("IMPORTO", FieldType::Int64),
                                     def("COD_CLIENTE"), def("DESC_DESTINATARIO"), def("CF_DESTINATARIO"),
                                     def("SACOMNUMCC"), def("CIN"), def("ABI_DESTINATARIO"), def("CAB_DESTINATARIO"),
                                     def("CC_DESTINATARIO"), def("CCP_DESTINATARIO")};
    auto row = [](int kind, std::int64_t cents, const char* code, const char* name, const char* cf, const char* whole,
                  const char* abi, const char* cab, const char* cc, const char* ccp) {
        return Row{Value(kind), Value(cents), Value(code), Value(name), Value(cf), Value(whole),
                   Value(""),   Value(abi),   Value(cab),  Value(cc),   Value(ccp)};
    };
    form.cdsDisp.assign(defs, {
        // A whole IBAN written with blanks and small letters.
        row(3, 150000, " M001 ", "Rossi Mario ", "RSSMRA80A01H501U", "de89 3704 0044 0532 0130 00", "", "", "", ""),
        // Italian parts only: the IBAN is made from them, CIN and check digits computed.
        row(3, 120000, "", "Bianchi Anna", "BNCNNA85B41F205X", "", "05428", "11101", "123456", ""),
        // A postal account, and no payee code or fiscal code at all.
        row(5, 90000, "", "Verdi Luca", "", "", "", "", "", "1234567"),
        // Parts that make no IBAN stay as parts.
        row(3, 80000, "M004", "Neri Sara", "", "", "0542", "11101", "12", ""),
    });

    const std::vector<PayrollPayment> p = CollectPayroll(form);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].disposition, 1);
    EXPECT_EQ(p[0].payeeKey(), "M001");
    EXPECT_EQ(p[0].name, "Rossi Mario");
    EXPECT_EQ(p[0].accountKey(), "DE89370400440532013000");
    EXPECT_EQ(p[1].payeeKey(), "CF BNCNNA85B41F205X");
    EXPECT_EQ(p[1].accountKey(), "IT60X0542811101000000123456");
    EXPECT_EQ(p[2].payeeKey(), "");
    EXPECT_EQ(p[2].accountKey(), "CC 1234567");
    EXPECT_EQ(p[3].accountKey(), "ABI 0542 CAB 11101 CC 12");
    EXPECT_EQ(PayrollTotalCents(p), 440000);

    std::vector<PayrollPayment> huge(2);
    huge[0].cents = huge[1].cents = std::numeric_limits<std::int64_t>::max() / 2 + 1;
    EXPECT_THROW(PayrollTotalCents(huge), DataError);
}

// A large payroll is read in two halves side by side; an amount stored as
// text sends it through the fields instead. Both readings give the same.
TEST(Payroll, ALargePayrollReadsTheSameSideBySideAndFieldByField) {
    auto collect = [](FieldType amountType) {
        MemoryWindow window;
        FormState form(window);
        const std::vector<FieldDef> defs{def("IMPGID", FieldType::Int32), def("IMPORTO", amountType),
                                         def("COD_CLIENTE"), def("DESC_DESTINATARIO"), def("SACOMNUMCC"),
                                         def("ABI_DESTINATARIO"), def("CAB_DESTINATARIO"), def("CC_DESTINATARIO"),
                                         def("CCP_DESTINATARIO")};
        std::vector<Row> rows;
        for (int i = 0; i < 20001; ++i) {
            const std::string n = std::to_string(i);
            const std::int64_t cents = 100000 + i;
            Value amount = amountType == FieldType::String ? Value(std::to_string(cents)) : Value(cents);
            if (i % 3 == 0)
                rows.push_back(Row{Value(3), amount, Value("M" + n), Value("Rossi " + n), Value("DE89370400440532013000"),
                                   Value(""), Value(""), Value(""), Value("")});
            else if (i % 3 == 1)
                rows.push_back(Row{Value(3), amount, Value(" M" + n + " "), Value("Bianchi"), Value(""), Value("05428"),
                                   Value("11101"), Value(n), Value("")});
            else
                rows.push_back(Row{Value(5), amount, Value(""), Value("Verdi " + n), Value(""), Value(""), Value(""),
                                   Value(""), Value(n)});
        }
        form.cdsDisp.assign(defs, rows);
        return CollectPayroll(form);
    };
    const std::vector<PayrollPayment> sideBySide = collect(FieldType::Int64);
    const std::vector<PayrollPayment> byField = collect(FieldType::String);
    ASSERT_EQ(sideBySide.size(), 20001u);
    ASSERT_EQ(byField.size(), 20001u);
    for (std::size_t i = 0; i < sideBySide.size(); ++i) {
        const PayrollPayment &a = sideBySide[i], &b = byField[i];
        ASSERT_EQ(a.disposition, static_cast<int>(i) + 1);
        ASSERT_TRUE(a.disposition == b.disposition && a.payeeCode == b.payeeCode && a.name == b.name &&
                    a.iban == b.iban && a.abi == b.abi && a.cab == b.cab && a.account == b.account &&
                    a.cents == b.cents && a.kind == b.kind)
            << "disposition " << i + 1;
        ASSERT_EQ(a.cents, 100000 + static_cast<std::int64_t>(i));
    }
    EXPECT_EQ(sideBySide[10000].payeeKey(), "M10000");
    EXPECT_EQ(sideBySide[10001].accountKey(), "CC 10001");
    EXPECT_EQ(sideBySide[19999].payeeKey(), "M19999");
    EXPECT_EQ(sideBySide[19999].accountKey().substr(0, 2), "IT");
    EXPECT_EQ(sideBySide[20000].accountKey(), "CC 20000");
}

}  // namespace
}  // namespace doz
