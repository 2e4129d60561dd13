// A small, sound salary batch for the SEPA tests.
#pragma once

#include <filesystem>
#include <string>

#include "payments/Iban.h"
#include "sepa/Message.h"

namespace sepa_sample {

using namespace doz::sepa;
using doz::BuildItalianIban;

inline Transfer transfer(int number, std::string name, std::int64_t cents, std::string account) {
    Transfer t;
    t.disposition = number;
    t.payee = name;
    t.instructionId = "STIP-202612-" + std::to_string(number);
    t.endToEndId = "STIP-202612-MATR" + std::to_string(1000 + number);
    t.cents = cents;
    t.categoryPurpose = "SALA";
    t.creditorName = std::move(name);
    t.creditorIban = BuildItalianIban("IT", "", "03069", "09606", account);
    t.remittance = "Stipendio dicembre 2026";
    return t;
}

// Two payees, one with a hybrid address; created 2026-12-07 09:30:00, paid on
// Thursday 2026-12-10.
inline Message message(Form form = Form::CbiBody) {
    Message m;
    m.form = form;
    m.messageId = "PZT-20261207-093000";
    m.created = DateTime{{2026, 12, 7}, 9, 30, 0};
    m.paymentInfoId = "PZT-20261207-093000-1";
    m.execution = Date{2026, 12, 10};
    m.initiatingName = "Comune di Villanova";
    m.cuc = "1234567A";
    m.debtorName = "Comune di Villanova";
    m.debtorIban = BuildItalianIban("IT", "", "05428", "11101", "123456");
    m.debtorAbi = "05428";
    m.transfers.push_back(transfer(1, "Rossi Mario", 185'432, "100077"));
    Transfer second = transfer(2, "Bianchi Anna", 210'000, "2000088");
    second.creditorAddress = PostalAddress{"Via Roma", "12", "20100", "Milano", "IT"};
    m.transfers.push_back(second);
    m.sourceField = {{"Cdtr/Nm", "DESC_DESTINATARIO"}, {"CdtrAcct/Id/IBAN", "IBAN_DESTINATARIO"},
                     {"InitgPty/Id", "CUC"}, {"ReqdExctnDt", "DATA_ESECUZIONE"}};
    return m;
}

inline std::filesystem::path fixtureSchemas() { return std::filesystem::path(DOZ_SHARED_DIR) / "fixtures/xsd"; }

}  // namespace sepa_sample
