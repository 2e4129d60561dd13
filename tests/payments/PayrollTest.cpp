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

}  // namespace
}  // namespace doz
