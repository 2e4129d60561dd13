// The checks of a request before it is written.
#include <gtest/gtest.h>

#include <functional>

#include "SepaSample.h"
#include "platform/Regional.h"
#include "sepa/Prepare.h"

using namespace doz;
using namespace doz::sepa;

namespace {

struct Prepared {
    bool ok = false;
    CheckSink sink;
    Message message;
};

Prepared prepare(const std::function<void(Message&)>& change) {
    Prepared r;
    r.message = sepa_sample::message();
    change(r.message);
    r.ok = PrepareMessage(r.message, r.sink);
    return r;
}

// A sound IBAN of another country.
std::string foreignIban(const char* country, const char* bban) {
    return country + IbanCheckDigits(country, bban).value() + bban;
}

// A payee in Switzerland: inside SEPA, outside the EEA.
void swissPayee(Message& m) {
    m.transfers[1].creditorIban = foreignIban("CH", "00762011623852957");
    m.transfers[1].creditorBic = "UBSWCHZH80A";
    m.debtorAddress = {"Piazza Grande 1", "", "", "Villanova", "IT"};
}

std::vector<const CheckFinding*> errors(const Prepared& r) {
    std::vector<const CheckFinding*> out;
    for (const CheckFinding& f : r.sink.findings())
        if (f.kind == FindingKind::Error) out.push_back(&f);
    return out;
}

// The regional settings of a test, those before restored at its end.
class RegionalScope {
public:
    explicit RegionalScope(const char* locale) : saved_(regional()) { regional() = Regional::forLocale(locale); }
    ~RegionalScope() { regional() = saved_; }

private:
    Regional saved_;
};

}  // namespace

TEST(PrepareMessage, SoundBatchPassesUntouched) {
    const Prepared r = prepare([](Message&) {});
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.sink.findings().empty());
    EXPECT_EQ(r.message.transfers[1].creditorName, "Bianchi Anna");
}

TEST(PrepareMessage, EachFaultIsOneErrorNamingItsField) {
    struct Case {
        const char* what;
        std::function<void(Message&)> change;
        int disposition;
        const char* field;
        const char* message;
    };
    const Case cases[] = {
        {"payee CIN", [](Message& m) { m.transfers[1].creditorIban = BuildItalianIban("IT", "A", "03069", "09606", "2000088"); }, 2, "IBAN_DESTINATARIO", "CIN A"},
        {"payee IBAN", [](Message& m) { m.transfers[1].creditorIban[4] = 'A'; }, 2, "IBAN_DESTINATARIO", "cifre di controllo"},
        {"payee IBAN missing", [](Message& m) { m.transfers[0].creditorIban.clear(); }, 1, "IBAN_DESTINATARIO", "IBAN mancante"},
        {"debtor IBAN", [](Message& m) { m.debtorIban[3] = '9'; }, 0, "DbtrAcct/Id/IBAN", "cifre di controllo"},
        {"debtor ABI", [](Message& m) { m.debtorAbi = "03069"; }, 0, "DbtrAgt/FinInstnId/ClrSysMmbId/MmbId", "diverso da quello dell'IBAN"},
        {"debtor ABI missing", [](Message& m) { m.debtorAbi.clear(); }, 0, "DbtrAgt/FinInstnId/ClrSysMmbId/MmbId", "mancante"},
        {"CUC missing", [](Message& m) { m.cuc = "   "; }, 0, "CUC", "codice CUC mancante"},
        {"CUC form", [](Message& m) { m.cuc = "1234-678"; }, 0, "CUC", "non valido"},
        {"CUC length", [](Message& m) { m.cuc = "1A2"; }, 0, "CUC", "\"1A2\" non valido (8 lettere o cifre)"},
        {"no execution date", [](Message& m) { m.execution = {}; }, 0, "DATA_ESECUZIONE", "mancante"},
        {"impossible date", [](Message& m) { m.execution = {2026, 11, 31}; }, 0, "DATA_ESECUZIONE", "inesistente"},
        {"Christmas", [](Message& m) { m.execution = {2026, 12, 25}; }, 0, "DATA_ESECUZIONE", "TARGET2"},
        {"Saturday", [](Message& m) { m.execution = {2026, 12, 12}; }, 0, "DATA_ESECUZIONE", "TARGET2"},
        {"zero amount", [](Message& m) { m.transfers[0].cents = 0; }, 1, "Amt/InstdAmt", "importo ,00 fuori dai limiti"},
        {"negative", [](Message& m) { m.transfers[0].cents = -5; }, 1, "Amt/InstdAmt", "-,05"},
        {"too large", [](Message& m) { m.transfers[1].cents = 100'000'000'000; }, 2, "Amt/InstdAmt", "1.000.000.000,00"},
        {"payee name", [](Message& m) { m.transfers[1].creditorName = "    "; }, 2, "DESC_DESTINATARIO", "nome mancante"},
        {"debtor name", [](Message& m) { m.debtorName.clear(); }, 0, "Dbtr/Nm", "nome mancante"},
        {"company name", [](Message& m) { m.initiatingName.clear(); }, 0, "InitgPty/Nm", "nome mancante"},
        {"message id", [](Message& m) { m.messageId = std::string(36, 'M'); }, 0, "GrpHdr/MsgId", "36 caratteri"},
        {"block id", [](Message& m) { m.paymentInfoId.clear(); }, 0, "PmtInf/PmtInfId", "identificativo mancante"},
        {"instruction id", [](Message& m) { m.transfers[1].instructionId = m.transfers[0].instructionId; }, 2, "PmtId/InstrId", "usato dalla disposizione 1"},
        {"end-to-end id", [](Message& m) { m.transfers[1].endToEndId = m.transfers[0].endToEndId + " "; }, 2, "PmtId/EndToEndId", "usato dalla disposizione 1"},
        {"long end-to-end id", [](Message& m) { m.transfers[0].endToEndId.append(30, '9'); }, 1, "PmtId/EndToEndId", "al massimo 35"},
        {"purpose", [](Message& m) { m.transfers[0].categoryPurpose = "SALAR"; }, 1, "PmtTpInf/CtgyPurp/Cd", "SALAR"},
        {"address without town", [](Message& m) { m.transfers[1].creditorAddress.town.clear(); }, 2, "Cdtr/PstlAdr/TwnNm", "senza localit"},
        {"address country", [](Message& m) { m.transfers[1].creditorAddress.country = "Italia"; }, 2, "Cdtr/PstlAdr/Ctry", "Italia"},
        {"nothing to pay", [](Message& m) { m.transfers.clear(); }, 0, "PmtInf/CdtTrfTxInf", "nessun pagamento"},
        {"outside SEPA", [](Message& m) { m.transfers[1].creditorIban = foreignIban("TR", "0006100519786457841326"); }, 2,
         "IBAN_DESTINATARIO", "conto in TR, paese fuori dall'area dei bonifici SEPA"},
        {"BIC missing", [](Message& m) { swissPayee(m); m.transfers[1].creditorBic.clear(); }, 2,
         "CdtrAgt/FinInstnId/BICFI", "BIC della banca del beneficiario mancante: \xE8 richiesto per i conti in CH"},
        {"BIC form", [](Message& m) { m.transfers[0].creditorBic = "UBSW1HZH"; }, 1, "CdtrAgt/FinInstnId/BICFI", "\"UBSW1HZH\" non valido"},
        {"payer address", [](Message& m) { swissPayee(m); m.debtorAddress = {}; }, 0, "Dbtr/PstlAdr/TwnNm",
         "indirizzo dell'ordinante mancante: \xE8 richiesto per i bonifici verso paesi SEPA fuori dallo Spazio economico "
         "europeo (disposizione 2, Bianchi Anna, conto in CH)"},
        {"filling fault", [](Message& m) { m.transfers[0].faults.push_back({"Amt/InstdAmt", "importo con tre decimali"}); }, 1,
         "Amt/InstdAmt", "importo con tre decimali"},
        {"header fault", [](Message& m) { m.faults.push_back({"DbtrAcct/Id/IBAN", "IBAN diverso"}); }, 0,
         "DbtrAcct/Id/IBAN", "IBAN diverso"},
    };
    const RegionalScope italian("it_IT");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Prepared r = prepare(c.change);
        EXPECT_FALSE(r.ok);
        const auto found = errors(r);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0]->disposition, c.disposition);
        if (c.disposition > 0) {
            EXPECT_EQ(found[0]->payee, r.message.transfers[c.disposition - 1].payee);
        }
        EXPECT_EQ(found[0]->field, c.field);
        EXPECT_TRUE(found[0]->recordType.empty());
        EXPECT_NE(found[0]->message.find(c.message), std::string::npos) << found[0]->message;
    }
}

// Amounts are written as the question about cash payments writes them: by the regional settings.
TEST(PrepareMessage, AmountsFollowTheRegionalSettingsAndHugeValuesAreCut) {
    const RegionalScope american("en_US");
    const Prepared r = prepare([](Message& m) {
        m.transfers[1].cents = 100'000'000'000;
        m.transfers[0].creditorName = std::string(10'000, '&');
    });
    const auto found = errors(r);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NE(found[0]->message.find("importo 1,000,000,000.00 fuori dai limiti (da un centesimo a 999,999,999.99)"),
              std::string::npos)
        << found[0]->message;
    // A value of 10,000 characters is shown cut, as every quoted value.
    ASSERT_FALSE(r.sink.findings().empty());
    EXPECT_LT(r.sink.findings()[0].message.size(), 600u);
}

TEST(PrepareMessage, ConvertedAndCutTextsAreNoticesAndTheMessageTakesThem) {
    const Prepared r = prepare([](Message& m) {
        m.transfers[0].creditorName = "Citt\xE0 Nu\xF8va   ";
        m.transfers[1].remittance = std::string(150, 'x');
        m.transfers[1].creditorIban.insert(4, " ");
        m.transfers[1].creditorAddress.street = "Stra\xDF" "e";
    });
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.sink.count(FindingKind::Notice), 4u);
    const auto& f = r.sink.findings();
    EXPECT_EQ(f[0].disposition, 1);
    EXPECT_EQ(f[0].field, "DESC_DESTINATARIO");
    EXPECT_EQ(f[0].message, "testo adattato ai caratteri ammessi nei bonifici SEPA: \"Citt\xE0 Nu\xF8va\" diventa \"Citta Nuova\"");
    EXPECT_EQ(r.message.transfers[0].creditorName, "Citta Nuova");
    EXPECT_EQ(r.message.transfers[1].remittance.size(), kMaxRemittanceLength);
    EXPECT_EQ(r.message.transfers[1].creditorAddress.street, "Strasse");
    EXPECT_EQ(r.message.transfers[1].creditorIban.find(' '), std::string::npos);
    EXPECT_EQ(f[1].field, "Cdtr/PstlAdr/StrtNm");
    EXPECT_EQ(f[2].field, "IBAN_DESTINATARIO");
    EXPECT_EQ(f[3].field, "RmtInf/Ustrd");
}

TEST(PrepareMessage, ReachOfSepaAndTheEpcRuleForIdentifiers) {
    // Germany without a BIC; Gibraltar, outside the EEA, with BIC and payer address.
    const Prepared r = prepare([](Message& m) {
        swissPayee(m);
        m.transfers[0].creditorIban = foreignIban("DE", "500105170648489890");
        m.transfers[1].creditorIban = foreignIban("GI", "NWBK000000007099453");
        m.transfers[1].endToEndId = "/A//1-2/";
    });
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.sink.findings().size(), 1u);
    const CheckFinding& f = r.sink.findings()[0];
    EXPECT_EQ(f.kind, FindingKind::Notice);
    EXPECT_EQ(f.field, "PmtId/EndToEndId");
    EXPECT_EQ(r.message.transfers[1].endToEndId, "A/1-2");
    EXPECT_NE(f.message.find("\"/A//1-2/\" scritto come \"A/1-2\""), std::string::npos) << f.message;
}

TEST(PrepareMessage, RepeatedIdentifiersAreFoundAmongManyTransfers) {
    const Prepared r = prepare([](Message& m) {
        const Transfer model = m.transfers[0];
        m.transfers.clear();
        for (int i = 1; i <= 3000; ++i) {
            Transfer t = model;
            t.disposition = i;
            t.instructionId = "ISTR-" + std::to_string(i);
            t.endToEndId = "E2E-" + std::to_string(i);
            m.transfers.push_back(t);
        }
        m.transfers[2999].endToEndId = "E2E-1500";    // the last repeats one far before it
        m.transfers[1700].instructionId = "ISTR-17";  // and one in the middle
    });

    // Checked one at a time through a single Transfer, as the written request
    // is: the identifiers seen must outlive the transfer that carried them.
    Message header = r.message;
    header.transfers.clear();
    CheckSink streamed;
    MessageCheck check(header, streamed, 16);
    check.header();
    Transfer t;
    for (const Transfer& each : r.message.transfers) {
        t = each;
        check.transfer(t);
        t.instructionId.assign(t.instructionId.size(), 'x');  // overwritten by the next one
        t.endToEndId.assign(t.endToEndId.size(), 'y');
    }
    EXPECT_FALSE(check.finish());
    ASSERT_EQ(streamed.findings().size(), r.sink.findings().size());
    for (std::size_t i = 0; i < streamed.findings().size(); ++i)
        EXPECT_EQ(FormatFinding(streamed.findings()[i]), FormatFinding(r.sink.findings()[i]));

    EXPECT_FALSE(r.ok);
    const auto found = errors(r);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0]->disposition, 1701);
    EXPECT_EQ(found[0]->field, "PmtId/InstrId");
    EXPECT_NE(found[0]->message.find("usato dalla disposizione 17"), std::string::npos) << found[0]->message;
    EXPECT_EQ(found[1]->disposition, 3000);
    EXPECT_NE(found[1]->message.find("usato dalla disposizione 1500"), std::string::npos) << found[1]->message;
}
