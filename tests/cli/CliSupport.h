// Running pzt-bankfile as a child process, and the small data folders it reads.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/Ansi.h"
#include "platform/DataPacket.h"
#include "platform/Dates.h"
#include "support/ExecutionDate.h"
#include "support/TestFiles.h"

extern char** environ;

namespace cli_test {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "pzt-cli-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string str(const std::string& sub = {}) const { return sub.empty() ? path_.string() : (path_ / sub).string(); }

private:
    fs::path path_;
};

using test_files::readFile;
using test_files::writeFile;


struct RunResult {
    int status = -1;  // exit status; -1 when the child did not exit normally
    std::string out;
    std::string err;

    // The last line of stderr, without its line end.
    std::string lastErrorLine() const {
        std::string e = err;
        while (!e.empty() && (e.back() == '\n' || e.back() == '\r')) e.pop_back();
        const auto nl = e.rfind('\n');
        return nl == std::string::npos ? e : e.substr(nl + 1);
    }
};

// Runs the batch command with the given arguments in a clean environment:
// HOME is `homeDir` and XDG_DATA_HOME its "xdg" sub-folder; `cwd` empty keeps
// the test's own folder; `moreEnv` adds NAME=VALUE entries (LC_ALL=C unless given).
inline RunResult runCli(const std::vector<std::string>& args, const std::string& homeDir, const std::string& cwd = {},
                        const std::vector<std::string>& moreEnv = {}) {
    const fs::path home = homeDir;
    const fs::path outFile = home / ".cli-stdout";
    const fs::path errFile = home / ".cli-stderr";

    std::vector<std::string> env = {"HOME=" + home.string(), "XDG_DATA_HOME=" + (home / "xdg").string(),
                                    "PATH=/usr/bin:/bin"};
    bool hasLocale = false;
    for (const std::string& e : moreEnv) {
        env.push_back(e);
        if (e.rfind("LC_ALL=", 0) == 0) hasLocale = true;
    }
    if (!hasLocale) env.push_back("LC_ALL=C");

    std::vector<std::string> argvStore = {DOZ_CLI_PATH};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

    pid_t pid = 0;
    const int rc = posix_spawn(&pid, DOZ_CLI_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("posix_spawn failed");
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {
    }

    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.out = readFile(outFile);
    r.err = readFile(errFile);
    fs::remove(outFile);
    fs::remove(errFile);
    return r;
}

// ---- the small data folders -------------------------------------------------------

inline doz::FieldDef textField(std::string name, int size) {
    doz::FieldDef f;
    f.name = std::move(name);
    f.type = doz::FieldType::String;
    f.size = size;
    return f;
}

inline doz::FieldDef typedField(std::string name, doz::FieldType type) {
    doz::FieldDef f;
    f.name = std::move(name);
    f.type = type;
    return f;
}

// A catalogue of two banks, the record layout and transfer rules of the first
// ("Banca Prova", code PROVA), and three dispositions, the third without a
// payment mode. The layout writes:
//   PC: " PC" + NOME_SUPPORTO (10, obligatory) + DATA_CREAZIONE ddmmyy
//   10: " 10" + PROGRESSIVO (7) + IMPORTO (10) + DESC_DESTINATARIO (20)
//   EF: " EF" + PROGRESSIVO (7) + TOT_IMP_POS (15) + TOT_RECORD (7)
// and the rules fill NOME_SUPPORTO from edNOME_SUPPORTO and DATA_CREAZIONE
// from deData_Creazione.
struct BankFolders {
    std::string layouts;       // Tracciati.xml, PROVA.Xml, PROVA_X.Xml
    std::string dispositions;  // Disposizioni.cds
};

inline BankFolders writeBankFolders(const fs::path& root) {
    using doz::FieldType;
    using doz::Value;
    BankFolders folders{(root / "layouts").string(), (root / "disp").string()};
    fs::create_directories(folders.layouts);
    fs::create_directories(folders.dispositions);

    doz::PacketContent catalogue;
    catalogue.fields = {textField("Banca", 40), textField("CodTracciato", 20), textField("ABI", 5),
                        textField("PosTipoRecord", 10)};
    catalogue.rows = {{Value("Banca Prova"), Value("PROVA"), Value("03069"), Value("2-3")},
                      {Value(doz::utf8ToAnsi("Banca Citt\u00e0")), Value("CITTA"), Value("01005"), Value("2-3")}};
    doz::writePacketFile(folders.layouts + "/Tracciati.xml", catalogue, doz::PacketFormat::Xml);

    doz::PacketContent layout;
    layout.fields = {textField("Record", 2),          typedField("Ord", FieldType::Int32),
                     textField("Pos", 10),            textField("FieldName", 30),
                     textField("ColType", 5),         textField("Extra", 2),
                     textField("Required", 2),        textField("FillingChar", 2)};
    int ord = 0;
    auto row = [&](const char* record, const char* pos, const char* field, const char* colType, const char* extra,
                   const char* required, const char* filling) {
        layout.rows.push_back({Value(record), Value(++ord), Value(pos), Value(field), Value(colType), Value(extra),
                               Value(required), Value(filling)});
    };
    for (const char* record : {"PC", "10", "EF"}) {
        row(record, "1-1", "", "F", "", "", " ");
        row(record, "2-3", "", "F", "", "", record);
        if (std::string(record) == "PC") {
            row(record, "4-13", "NOME_SUPPORTO", "AN", "", "O", "");
            row(record, "14-19", "DATA_CREAZIONE", "D", "", "", "0");
        } else if (std::string(record) == "10") {
            row(record, "4-10", "PROGRESSIVO", "N", "F", "", "0");
            row(record, "11-20", "IMPORTO", "N", "", "O", "0");
            row(record, "21-40", "DESC_DESTINATARIO", "AN", "", "", " ");
        } else {
            row(record, "4-10", "PROGRESSIVO", "N", "F", "", "0");
            row(record, "11-25", "TOT_IMP_POS", "N", "F", "", "0");
            row(record, "26-32", "TOT_RECORD", "N", "F", "", "0");
        }
    }
    doz::writePacketFile(folders.layouts + "/PROVA.Xml", layout, doz::PacketFormat::Xml);

    doz::PacketContent rules;
    rules.fields = {textField("FieldName", 30), textField("ColType", 5), textField("ValOut", 20),
                    textField("Condition", 100)};
    rules.rows = {{Value("NOME_SUPPORTO"), Value("AN"), Value(), Value()},
                  {Value("DATA_CREAZIONE"), Value("D"), Value(), Value()}};
    doz::writePacketFile(folders.layouts + "/PROVA_X.Xml", rules, doz::PacketFormat::Xml);

    doz::PacketContent disp;
    const std::vector<std::string> texts = {
        "DESC_DESTINATARIO", "ABI_DESTINATARIO", "CAB_DESTINATARIO", "CC_DESTINATARIO", "CCP_DESTINATARIO",
        "CIN",               "CF_DESTINATARIO",  "IND_DESTINATARIO", "CAP_DESTINATARIO", "COM_DESTINATARIO",
        "BANCA_DESCR_DEST",  "SACOMNUMCC",       "ABI_ORDINANTE",    "CC_ORDINANTE",     "CIN_ORDINANTE",
        "IBAN_STATO_ORDINANTE", "IBAN_CKD_ORDINANTE", "MESE", "ESERCIZIO", "DESC_MOD_PAGAMENTO", "NOME_SUPPORTO"};
    disp.fields = {typedField("IMPGID", FieldType::Int32), typedField("MODALITA_PAGAMENTO", FieldType::Int32),
                   typedField("IMPORTO", FieldType::Int32), typedField("IMPORTO_EURO", FieldType::Float)};
    for (const std::string& t : texts) disp.fields.push_back(textField(t, 40));
    for (const char* d : {"DATA_CREAZIONE", "DATA_DISPOSIZIONE", "DATA_VALUTA", "DATA_SCADENZA"})
        disp.fields.push_back(typedField(d, FieldType::Date));

    struct Payee {
        int impgid;
        Value mode;
        int cents;
        std::string name;
        std::string mode_text;
    };
    const std::vector<Payee> payees = {
        {3, Value(1), 150000, "Rossi Mario", "Bonifico"},
        {1, Value(2), 99950, "Bianchi Lucia", "Contanti"},
        {3, Value(), 1000, doz::utf8ToAnsi("Nicol\u00f2 Ferr\u00e0"), "Sconosciuta"},
    };
    for (const Payee& p : payees) {
        doz::Row r = {Value(p.impgid), p.mode, Value(p.cents), Value(p.cents / 100.0)};
        for (const std::string& t : texts) {
            if (t == "DESC_DESTINATARIO") r.push_back(Value(p.name));
            else if (t == "ABI_DESTINATARIO" || t == "ABI_ORDINANTE") r.push_back(Value("03069"));
            else if (t == "CAB_DESTINATARIO") r.push_back(Value("01600"));
            else if (t == "CC_DESTINATARIO") r.push_back(Value("000012345678"));
            else if (t == "CAP_DESTINATARIO") r.push_back(Value("20100"));
            else if (t == "IND_DESTINATARIO") r.push_back(Value("Via Roma 1"));
            else if (t == "COM_DESTINATARIO") r.push_back(Value("Milano"));
            else if (t == "CC_ORDINANTE") r.push_back(Value("000099999999"));
            else if (t == "MESE") r.push_back(Value("06"));
            else if (t == "ESERCIZIO") r.push_back(Value("2024"));
            else if (t == "DESC_MOD_PAGAMENTO") r.push_back(Value(p.mode_text));
            else r.push_back(Value());
        }
        for (int i = 0; i < 4; ++i) r.push_back(Value());
        disp.rows.push_back(std::move(r));
    }
    doz::writePacketFile(folders.dispositions + "/Disposizioni.cds", disp, doz::PacketFormat::Binary);
    return folders;
}

// The demonstration data of examples/ and the header values examples/README.md
// documents, with fixed dates: created on a Monday, executed and valued two
// working days later, expiring at the end of the year.
inline const std::string kExamples = std::string(DOZ_SOURCE_DIR) + "/examples";
inline const std::map<std::string, std::string> kHeader = {
    {"Mittente", "A1B2C"},           {"NOME_SUPPORTO", "STIPENDI"},          {"CC_ORDINANTE", "000010203040"},
    {"Conto_Tesoreria", "1234567"},  {"Data_Creazione", "2026-12-07"},       {"Data_Disposizione", "2026-12-09"},
    {"Data_Valuta", "2026-12-09"},   {"DATA_SCADENZA", "2026-12-31"},
};

// The documented header values with dates from today (the checks compare
// the dates with the day they run): created today, executed and valued on
// test_dates::FutureExecutionDay(), expiring `expiryDays` after execution.
inline std::map<std::string, std::string> headerFromToday(int expiryDays = 30) {
    const doz::DaySerial execution = test_dates::FutureExecutionDay();
    return {{"Data_Creazione", doz::isoDate(doz::today())},
            {"Data_Disposizione", doz::isoDate(execution)},
            {"Data_Valuta", doz::isoDate(execution)},
            {"DATA_SCADENZA", doz::isoDate(execution + expiryDays)}};
}

// Appends "--set FIELD=VALUE" for every documented header value, with `changes`
// replacing or adding values.
inline void appendDemoHeader(std::vector<std::string>& args, const std::map<std::string, std::string>& changes) {
    std::map<std::string, std::string> header = kHeader;
    for (const auto& [k, v] : changes) header[k] = v;
    for (const auto& [k, v] : header) {
        args.push_back("--set");
        args.push_back(k + "=" + v);
    }
}

}  // namespace cli_test
