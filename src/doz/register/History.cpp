#include "register/History.h"

#include <algorithm>

#include <cstdlib>
#include <limits>
#include <system_error>
#include <string_view>

#include "layout/Catalogue.h"
#include "payments/PaymentKind.h"
#include "platform/Dates.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Regional.h"
#include "register/FileRegister.h"
#include "register/KeptCopy.h"

namespace doz {

namespace {

std::string dateText(DaySerial date) { return date == 0 ? std::string() : isoDate(date); }

}  // namespace

PayrollHistory LoadPayrollHistory(FormState& form, const std::string& bank,
                                  const std::vector<PayrollPayment>& payroll, bool lastFilePayments) {
    PayrollHistory out;
    if (!RegisterEnabled()) return out;
    try {
        // Copied only when some payment would not be in the file.
        std::vector<PayrollPayment> transfers;
        const bool filtered =
            IsXmlBank(form) && std::any_of(payroll.begin(), payroll.end(),
                                           [](const PayrollPayment& p) { return !IsCreditTransferKind(p.kind); });
        if (filtered)
            for (const PayrollPayment& p : payroll)
                if (IsCreditTransferKind(p.kind)) transfers.push_back(p);
        FileRegister reg(form.paths.mainFolder, FileRegister::Open::Existing);
        out = reg.history(bank, filtered ? transfers : payroll, payroll, lastFilePayments);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        out = {};
        out.unavailable = e.what();
    }
    return out;
}

RegisterEntry BankFileEntry(FormState& form, bool withPayments) {
    RegisterEntry entry;
    WindowPort& w = form.window;
    Table& catalogue = form.cdsTracciati;
    if (catalogue.active() && !catalogue.eof()) {
        // The catalogue stands on the chosen bank.
        entry.bank = catalogue.fieldByName("Banca").asText();
        if (const std::optional<Field> format = catalogue.findField("Formato")) entry.format = format->asText();
        if (entry.format.empty())
            if (const std::optional<Field> code = catalogue.findField("CodTracciato")) entry.format = code->asText();
    }
    entry.supportName = w.text("edNOME_SUPPORTO");
    entry.creationDate = dateText(w.date("deData_Creazione"));
    entry.executionDate = dateText(w.date("deData_Disposizione"));
    if (withPayments && RegisterEnabled()) entry.payments = CollectPayroll(form);
    return entry;
}

namespace {

std::string reasonOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "errore sconosciuto";
    }
}

}  // namespace

RegisterRecording::RegisterRecording(std::string mainFolder) : mainFolder_(std::move(mainFolder)) {}

RegisterRecording::~RegisterRecording() {
    join();
    if (register_) register_->abandonRecord();
}

void RegisterRecording::join() noexcept {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;  // parts not yet completed by start() are abandoned
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void RegisterRecording::recordParts() noexcept {
    try {
        register_ = std::make_unique<FileRegister>(mainFolder_, FileRegister::Open::Create);
        id_ = register_->beginPayments();
        for (;;) {
            std::vector<PayrollPayment> part;
            const std::vector<PayrollPayment>* all = nullptr;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !parts_.empty() || all_ || stop_; });
                if (!parts_.empty()) {
                    part = std::move(parts_.front());
                    parts_.pop_front();
                } else if (all_) {
                    all = all_;
                } else {
                    return;  // abandoned
                }
            }
            if (all) {
                register_->completePayments(id_, *all);
                return;
            }
            register_->addPayments(id_, part);
        }
    } catch (...) {
        register_.reset();
        std::lock_guard lock(mutex_);
        failure_ = std::current_exception();
        broken_ = true;
        parts_.clear();
    }
}

bool RegisterRecording::startInParts() noexcept {
    if (!fileExists(RegisterPath(mainFolder_))) return false;
    try {
        thread_ = std::thread([this] { recordParts(); });
    } catch (const std::system_error&) {
        return false;  // no thread to be had: the payments are written once all are there
    }
    started_ = inParts_ = true;
    return true;
}

void RegisterRecording::take(std::vector<PayrollPayment> part) noexcept {
    {
        std::lock_guard lock(mutex_);
        if (!inParts_ || broken_ || part.empty()) return;
        try {
            parts_.push_back(std::move(part));
        } catch (...) {
            failure_ = std::current_exception();
            broken_ = true;
            return;
        }
    }
    changed_.notify_all();
}

void RegisterRecording::begin(const std::vector<PayrollPayment>& payments) noexcept {
    try {
        register_ = std::make_unique<FileRegister>(mainFolder_, FileRegister::Open::Create);
        id_ = register_->beginRecord(payments);
    } catch (...) {
        register_.reset();
        failure_ = std::current_exception();
    }
}

void RegisterRecording::start(const std::vector<PayrollPayment>& payments) noexcept {
    if (inParts_) {
        {
            std::lock_guard lock(mutex_);
            all_ = &payments;
        }
        changed_.notify_all();
        return;
    }
    // A register is made only for a file that was saved: the first one is
    // written once the file is in place.
    if (!fileExists(RegisterPath(mainFolder_))) return;
    started_ = true;
    try {
        thread_ = std::thread([this, &payments] { begin(payments); });
    } catch (const std::system_error&) {
        begin(payments);  // no thread to be had: now
    }
}

std::string RegisterRecording::finish(const RegisterEntry& entry, const std::string& path,
                                      ContentKeeper* keeper) noexcept {
    if (inParts_) {
        {
            std::lock_guard lock(mutex_);
            if (!all_) all_ = &entry.payments;
        }
        changed_.notify_all();
    }
    if (started_) join();
    else begin(entry.payments);
    std::string told;
    try {
        if (failure_) std::rethrow_exception(failure_);
        ProducedFile file;
        file.moment = RegisterMoment();
        file.bank = entry.bank;
        file.format = entry.format;
        file.path = path;
        file.name = extractFileName(path);
        file.supportName = entry.supportName;
        file.creationDate = entry.creationDate;
        file.executionDate = entry.executionDate;
        file.messageId = entry.messageId;
        if (keeper) {
            // The digest and size come with the copy; a copy that cannot be
            // made or written leaves the row without it.
            try {
                const ContentKeeper::Kept kept = keeper->finish();
                file.sha256 = kept.sha256;
                file.size = kept.size;
                file.copy = WriteKeptCopy(mainFolder_, kept);
            } catch (...) {
                told = "Copia del file non conservata: " + reasonOf(std::current_exception());
            }
        }
        register_->endRecord(id_, file);
    } catch (...) {
        if (register_) register_->abandonRecord();
        return "Registro non aggiornato: " + reasonOf(std::current_exception());
    }
    return told;
}

std::string RecordProducedFile(const std::string& mainFolder, const RegisterEntry& entry, const std::string& path,
                               ContentKeeper* keeper) noexcept {
    RegisterRecording recording(mainFolder);
    return recording.finish(entry, path, keeper);
}

void FoldRegisterJournalAside(FormState& form) {
    if (!RegisterEnabled() || form.registerFolding.joinable()) return;
    try {
        form.registerFolding = std::jthread([folder = form.paths.mainFolder] { FileRegister::foldJournal(folder); });
    } catch (const std::system_error&) {
        // No thread to be had: the recording folds it.
    }
}

bool RegisterEnabled() {
    const char* off = std::getenv("PZT_BANKFILE_NO_REGISTER");
    return !(off && std::string_view(off) == "1");
}

std::vector<HistoryRow> ProducedFileRows(const std::string& mainFolder, const std::string& bank) {
    FileRegister reg(mainFolder, FileRegister::Open::Existing);
    std::vector<HistoryRow> rows;
    for (const ProducedFile& f : reg.files(bank))
        rows.push_back({f.id, f.moment, f.bank, f.path, f.count, f.totalCents, !f.copy.empty()});
    return rows;
}

namespace {

// A row of a list, added to its cells and to its text form (tab-separated, CRLF).
void addRow(FindingList& list, std::vector<std::string> cells, int key) {
    for (std::size_t i = 0; i < cells.size(); ++i) list.textForm += (i ? "\t" : "") + cells[i];
    list.textForm += "\r\n";
    list.rows.push_back(std::move(cells));
    list.keys.push_back(key);
}

int keyOf(std::int64_t id) { return id > 0 && id <= std::numeric_limits<int>::max() ? static_cast<int>(id) : 0; }

}  // namespace

FindingList ProducedFileList(const std::vector<HistoryRow>& rows) {
    FindingList list;
    list.title = "Storico dei file prodotti";
    list.saveName = "Storico.txt";
    list.columns = {"N.", "Prodotto", "Banca", "Pagamenti", "Totale", "File"};
    if (rows.empty())
        list.summary = "Nessun file prodotto.";
    else
        list.summary = (rows.size() == 1 ? std::string("1 file prodotto") : std::to_string(rows.size()) + " file prodotti") +
                       ", dal pi\xF9 recente. Doppio clic (o Invio) su un file per vederne i pagamenti e salvarlo di nuovo.";
    list.textForm = list.title + "\r\n" + list.summary + "\r\n\r\n";
    for (const HistoryRow& row : rows)
        addRow(list,
               {std::to_string(row.id), ShownMoment(row.moment), row.bank, std::to_string(row.count),
                formatCentsGrouped(row.totalCents), row.path},
               keyOf(row.id));
    return list;
}

ProducedFileDetails ProducedFileOf(const std::string& mainFolder, std::int64_t id) {
    FileRegister reg(mainFolder, FileRegister::Open::Existing);
    std::optional<ProducedFile> file = reg.file(id);
    if (!file) throw RegisterError("il registro non ha un file numero " + std::to_string(id));
    ProducedFileDetails details{std::move(*file), {}};
    details.payments = reg.payments(id);
    return details;
}

FindingList ProducedFilePaymentList(const ProducedFileDetails& details) {
    const ProducedFile& f = details.file;
    FindingList list;
    list.title = "File n. " + std::to_string(f.id) + " dello storico";
    list.saveName = "Storico_" + std::to_string(f.id) + ".txt";
    // The name last: that column takes the room the others leave.
    list.columns = {"Disposizione", "Codice", "Codice fiscale", "Conto", "Importo", "Modalit\xE0", "Beneficiario"};
    list.summary = "Prodotto il " + ShownMoment(f.moment) + " per la banca " + f.bank + ": " + std::to_string(f.count) +
                   " pagamenti, totale " + formatCentsGrouped(f.totalCents) + ".\r\nFile: " + f.path;
    if (f.copy.empty()) {
        list.summary += "\r\nDi questo file non \xE8 stata conservata una copia: non si pu\xF2 salvare di nuovo.";
    } else {
        list.summary += "\r\nSHA-256: " + f.sha256;
        list.action = "Salva di nuovo il file...";
        list.actionKey = keyOf(f.id);
    }
    list.textForm = list.title + "\r\n" + list.summary + "\r\n\r\n";
    for (const PayrollPayment& p : details.payments)
        addRow(list,
               {std::to_string(p.disposition), p.payeeCode, p.fiscalCode, p.accountKey(), formatCentsGrouped(p.cents),
                p.mode, p.name},
               0);
    return list;
}

void SaveKeptFileAgain(FormState& form, std::int64_t id, const std::string& path) {
    if (fileExists(path) && !form.window.askYesNo("Il file esiste gi\xE0. Sostituirlo ?")) throw SilentAbort();
    RestoreKeptCopy(form.paths.mainFolder, id, path);
}

}  // namespace doz
