// The messages and help texts here go straight to the terminal, so they are
// UTF-8 (accents as \x escapes), unlike the window's Windows-1252 texts.
#include "Arguments.h"

#include <string_view>

namespace doz::cli {

namespace {

// Which options a subcommand takes.
struct Grammar {
    bool positional = false;  // one positional argument (dump: FILE; others: DISPOSITIONS_DIR)
    bool windowOptions = false;  // --regional, --set, --all, --yes
    bool bankOptions = false;    // --bank, --output, --layouts, --main-folder
    bool historyOptions = false; // --bank (optional), --main-folder, --show, --file, --yes
};

Grammar grammarOf(Command c) {
    switch (c) {
        case Command::Dump: return {true, false, false};
        case Command::Log: return {false, false, true};
        case Command::History: return {false, false, false, true};
        case Command::Export:
        case Command::Check:
        case Command::Distinta:
        case Command::Brogliaccio: return {true, true, true};
        case Command::Help: break;
    }
    return {};
}

bool commandFromName(std::string_view name, Command& out) {
    if (name == "dump") out = Command::Dump;
    else if (name == "export") out = Command::Export;
    else if (name == "check") out = Command::Check;
    else if (name == "log") out = Command::Log;
    else if (name == "distinta") out = Command::Distinta;
    else if (name == "brogliaccio") out = Command::Brogliaccio;
    else if (name == "history") out = Command::History;
    else return false;
    return true;
}

bool isHelp(std::string_view a) { return a == "--help" || a == "-h"; }

// A produced file's number in the register: a positive whole number.
std::int64_t fileNumber(const std::string& option, const std::string& text) {
    std::int64_t n = 0;
    bool ok = !text.empty() && text.size() <= 18;
    for (const char c : text) {
        if (c < '0' || c > '9') ok = false;
        else n = n * 10 + (c - '0');
    }
    if (!ok || n == 0) throw UsageError(option + ": numero del file non valido '" + text + "'");
    return n;
}

}  // namespace

Arguments parseArguments(int argc, const char* const* argv) {
    Arguments out;
    if (argc < 2) throw UsageError("manca il sottocomando (dump, export, check, log, distinta, brogliaccio, history)");
    const std::string_view first = argv[1];
    if (isHelp(first) || first == "help") {
        out.command = Command::Help;
        out.help = true;
        if (argc > 2) {
            Command c;
            if (!commandFromName(argv[2], c)) throw UsageError("sottocomando sconosciuto: " + std::string(argv[2]));
            out.commandName = argv[2];
        }
        return out;
    }
    if (!commandFromName(first, out.command)) throw UsageError("sottocomando sconosciuto: " + std::string(first));
    out.commandName = std::string(first);
    const Grammar g = grammarOf(out.command);

    std::vector<std::string> positional;
    bool onlyPositional = false;
    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (onlyPositional || arg.size() < 2 || arg.substr(0, 2) != "--") {
            if (!onlyPositional && isHelp(arg)) {
                out.help = true;
                continue;
            }
            if (!onlyPositional && arg.size() > 1 && arg[0] == '-')
                throw UsageError("opzione sconosciuta per " + out.commandName + ": " + std::string(arg));
            positional.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        // "--name value" or "--name=value"
        std::string name(arg);
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.erase(eq);
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= argc) throw UsageError("manca il valore dell'opzione " + name);
            return argv[++i];
        };
        auto flag = [&](bool& target) {
            if (inlineValue) throw UsageError("l'opzione " + name + " non prende valori");
            target = true;
        };
        if (name == "--help") {
            flag(out.help);
        } else if ((g.bankOptions || g.historyOptions) && name == "--bank") {
            out.bank = value();
            if (out.bank.empty()) throw UsageError("--bank: nome della banca vuoto");
        } else if (g.bankOptions && name == "--output") {
            out.output = value();
            if (out.output.empty()) throw UsageError("--output: nome del file vuoto");
        } else if (g.bankOptions && name == "--layouts") {
            out.layouts = value();
        } else if (g.historyOptions && name == "--show") {
            out.show = fileNumber(name, value());
        } else if (g.historyOptions && name == "--file") {
            out.keptFile = fileNumber(name, value());
        } else if ((g.bankOptions || g.historyOptions) && name == "--main-folder") {
            out.mainFolder = value();
            if (out.mainFolder->empty()) throw UsageError("--main-folder: cartella vuota");
        } else if (g.windowOptions && name == "--xsd-dir") {
            out.xsdDir = value();
            if (out.xsdDir->empty()) throw UsageError("--xsd-dir: cartella vuota");
        } else if (g.windowOptions && name == "--regional") {
            out.regional = value();
        } else if (g.windowOptions && name == "--set") {
            const std::string assignment = value();
            const auto eq = assignment.find('=');
            if (eq == std::string::npos || eq == 0)
                throw UsageError("--set vuole CAMPO=VALORE, non '" + assignment + "'");
            out.sets.emplace_back(assignment.substr(0, eq), assignment.substr(eq + 1));
        } else if (g.windowOptions && name == "--all") {
            flag(out.all);
        } else if ((g.windowOptions || g.historyOptions) && name == "--yes") {
            flag(out.yes);
        } else {
            throw UsageError("opzione sconosciuta per " + out.commandName + ": " + name);
        }
    }
    if (out.help) return out;

    if (g.positional) {
        const char* what = out.command == Command::Dump ? "il file da leggere" : "la cartella delle disposizioni";
        if (positional.empty()) throw UsageError(out.commandName + ": manca " + std::string(what));
        if (positional.size() > 1) throw UsageError(out.commandName + ": argomento in pi\xC3\xB9: " + positional[1]);
        out.file = positional.front();
    } else if (out.command == Command::History && out.keptFile) {
        if (out.show) throw UsageError("history: --show e --file non vanno insieme");
        if (positional.empty()) throw UsageError("history --file: manca il file da scrivere");
        if (positional.size() > 1) throw UsageError("history: argomento in pi\xC3\xB9: " + positional[1]);
        out.file = positional.front();
    } else if (!positional.empty()) {
        throw UsageError(out.commandName + ": argomento inatteso: " + positional.front());
    }
    if (g.bankOptions) {
        if (out.bank.empty()) throw UsageError(out.commandName + ": manca --bank NOME");
        // check writes no bank file: the name is only the window's, as for export
        if (out.output.empty() && out.command != Command::Check)
            throw UsageError(out.commandName + ": manca --output FILE");
    }
    return out;
}

std::string helpText(const std::string& commandName) {
    static const char* const kWindowOptions =
        "  --bank NOME          la banca, scritta esattamente come nel catalogo (obbligatoria)\n"
        "  --output FILE        il file per la banca (obbligatoria)\n"
        "  --layouts CARTELLA   dove si leggono Tracciati.xml e i tracciati (predefinita: la cartella corrente)\n"
        "  --main-folder CARTELLA\n"
        "                       la cartella principale dei dati (predefinita: $XDG_DATA_HOME/Ulmor/,\n"
        "                       altrimenti ~/.local/share/Ulmor/); vi stanno Banca.ini, il log e i report\n"
        "  --regional LOCALE    impostazioni regionali, per esempio it_IT (predefinite: quelle\n"
        "                       dell'ambiente, LC_ALL / LC_NUMERIC / LANG); non serve il locale di sistema\n"
        "  --set CAMPO=VALORE   riempie il valore di testata \"ed\"/\"de\" + CAMPO (maiuscole e minuscole\n"
        "                       indifferenti), ripetibile: Mittente, NOME_SUPPORTO, CC_ORDINANTE,\n"
        "                       Conto_Tesoreria, CUC, Data_Creazione, Data_Disposizione, Data_Valuta,\n"
        "                       DATA_SCADENZA; le date come AAAA-MM-GG, vuote per nessuna data\n"
        "  --xsd-dir CARTELLA   banche XML: la cartella degli schemi interbancari (predefinita: l'impostazione\n"
        "                       CartellaSchemi di Banca.ini, altrimenti cartella principale + usr/Pzt/doz/xsd/);\n"
        "                       lo schema ISO pain.001.001.09 \xC3\xA8 fornito con il programma\n"
        "  --all                include anche le disposizioni senza modalit\xC3\xA0 di pagamento\n"
        "  --yes                risponde S\xC3\xAC a ogni domanda (sovrascrittura, avvisi, pagamenti per cassa\n"
        "                       o con assegno lasciati fuori da un file XML); senza, risponde No\n";
    static const char* const kExitStatus =
        "Stato di uscita: 0 fatto; 1 errore di convalida o di coerenza dei dati; 2 riga di comando\n"
        "errata; 3 domanda con risposta No; 4 ogni altro errore (dati, lettura o scrittura).\n"
        "In caso di errore l'ultima riga dello standard error \xC3\xA8 il messaggio che la finestra mostrerebbe.\n";

    if (commandName == "dump") {
        return "Uso: pzt-bankfile dump FILE\n\n"
               "Legge un file dati (binario o XML) e scrive sullo standard output un documento JSON:\n"
               "  {\"columns\":[{\"name\":...,\"type\":...,\"size\":N}],\"rows\":[{\"CAMPO\":valore,...}]}\n"
               "Le righe sono nell'ordine della tabella e ogni riga ha tutti i campi dichiarati.\n"
               "Testi in UTF-8; numeri come numeri JSON (NaN e infiniti: null); valuta con quattro\n"
               "decimali e BCD come stringhe decimali; booleani true/false; date \"AAAA-MM-GG\",\n"
               "ore \"HH:MM:SS.mmm\", date e ore \"AAAA-MM-GGTHH:MM:SS.mmm\"; campi binari in esadecimale;\n"
               "campi vuoti null.\n\n"
               "Stato di uscita: 0 fatto; 2 riga di comando errata; 4 file illeggibile (il messaggio\n"
               "sullo standard error).\n";
    }
    if (commandName == "export") {
        return std::string("Uso: pzt-bankfile export CARTELLA_DISPOSIZIONI --bank NOME --output FILE [opzioni]\n\n"
                           "Crea il file per la banca come il comando OK della finestra: legge Disposizioni.cds\n"
                           "dalla CARTELLA_DISPOSIZIONI, sceglie la banca, applica i valori di testata e le regole\n"
                           "di trasferimento, controlla ogni campo e scrive FILE. Il file viene poi registrato nel\n"
                           "log e le impostazioni salvate in Banca.ini. Non apre cartelle n\xC3\xA9 programmi.\n\n"
                           "Opzioni:\n") +
               kWindowOptions + "\n" + kExitStatus;
    }
    if (commandName == "check") {
        return std::string("Uso: pzt-bankfile check CARTELLA_DISPOSIZIONI --bank NOME [opzioni di export]\n\n"
                           "Controlla le disposizioni come il comando OK, ma senza fermarsi al primo errore e senza\n"
                           "scrivere il file: ogni campo di ogni disposizione passa gli stessi controlli di export.\n"
                           "Scrive sullo standard output una riga per ogni problema (numero della disposizione\n"
                           "nell'ordine mostrato, beneficiario, tipo record, campo, messaggio) e in fondo il conteggio\n"
                           "\"Errori: N, avvisi: N, note: N\". L'avviso sul numero di conto \xC3\xA8 elencato\n"
                           "(\"Avviso: ...\") e non chiesto. Le note (\"Nota: ...\") segnalano ci\xC3\xB2 che le banche\n"
                           "rifiutano spesso anche se il tracciato lo accetta: caratteri fuori dalla tabella CBI nei\n"
                           "campi alfanumerici, CIN del destinatario che non corrisponde ad ABI, CAB e conto, cifre di\n"
                           "controllo dell'IBAN ordinante errate. Le note non contano come errori.\n"
                           "Per una banca XML si controlla il messaggio SEPA: IBAN, CUC, data di esecuzione, importi,\n"
                           "identificativi, schema; le note elencano i testi adattati ai caratteri SEPA e i pagamenti\n"
                           "per cassa o con assegno che non saranno nel file.\n"
                           "--output \xC3\xA8 facoltativa; non si scrivono file, log n\xC3\xA9 impostazioni.\n\n"
                           "Opzioni:\n") +
               kWindowOptions +
               "\nStato di uscita: 0 nessun errore (avvisi e note ammessi); 1 almeno un errore; 2 riga di\n"
               "comando errata; 4 ogni altro errore (dati, lettura). Se i dati non si possono leggere,\n"
               "l'ultima riga dello standard error \xC3\xA8 il messaggio che la finestra mostrerebbe.\n";
    }
    if (commandName == "distinta" || commandName == "brogliaccio") {
        const bool distinta = commandName == "distinta";
        return std::string("Uso: pzt-bankfile ") + commandName +
               " CARTELLA_DISPOSIZIONI --bank NOME --output FILE [opzioni]\n\n" +
               (distinta ? "Scrive la distinta (riepilogo per modalit\xC3\xA0 di pagamento) come il pulsante Distinta.\n"
                         : "Scrive il brogliaccio (elenco dei beneficiari) come il pulsante Brogliaccio.\n") +
               "FILE \xC3\xA8 il file per la banca: il report si chiama " + (distinta ? "DISTINTA_" : "BROGLIACCIO_") +
               " seguito dal suo\nnome e va nella cartella dei report (cartella principale + var/log/Pzt/doz/stp/).\n"
               "Il report non viene aperto.\n\nOpzioni:\n" +
               kWindowOptions + "\n" + kExitStatus;
    }
    if (commandName == "history") {
        return std::string(
                   "Uso: pzt-bankfile history [--main-folder CARTELLA] [--bank NOME]\n"
                   "     pzt-bankfile history --show N [--main-folder CARTELLA]\n"
                   "     pzt-bankfile history --file N FILE [--main-folder CARTELLA]\n\n"
                   "Il registro dei file prodotti (cartella principale + var/lib/Pzt/doz/Registro.sqlite): ogni\n"
                   "file per la banca scritto da export o dal pulsante OK, con i suoi pagamenti e una copia\n"
                   "compressa dei suoi byte (var/lib/Pzt/doz/Copie/).\n\n"
                   "Senza opzioni scrive una riga per file, dal pi\xC3\xB9 recente, separata da tabulazioni: numero,\n"
                   "data e ora, banca, file, numero dei pagamenti, totale in euro.\n\n"
                   "Opzioni:\n"
                   "  --bank NOME          solo i file di questa banca\n"
                   "  --show N             i dati del file numero N e una riga per pagamento: disposizione,\n"
                   "                       codice, nome, codice fiscale, IBAN (o ABI, CAB e conto), importo,\n"
                   "                       modalit\xC3\xA0 di pagamento\n"
                   "  --file N FILE        riscrive in FILE, intero, il file numero N come fu prodotto, dopo averne\n"
                   "                       confrontato l'impronta SHA-256 con quella del registro; se la copia manca o\n"
                   "                       non corrisponde non scrive nulla; un FILE che esiste \xC3\xA8 sostituito solo\n"
                   "                       con --yes\n"
                   "  --main-folder CARTELLA\n"
                   "                       la cartella principale dei dati (predefinita: $XDG_DATA_HOME/Ulmor/)\n\n"
                   "Stato di uscita: 0 fatto; 2 riga di comando errata; 3 FILE esiste e manca --yes; 4 registro\n"
                   "illeggibile, file sconosciuto, copia mancante o alterata (il messaggio \xC3\xA8 l'ultima riga\n"
                   "dello standard error).\n");
    }
    if (commandName == "log") {
        return std::string(
                   "Uso: pzt-bankfile log --bank NOME --output FILE [--layouts CARTELLA] [--main-folder CARTELLA]\n\n"
                   "Scompone il file per la banca FILE campo per campo secondo il tracciato della banca NOME,\n"
                   "come il pulsante Log, e scrive il log nella cartella principale + var/log/Pzt/doz/ con lo\n"
                   "stesso nome del file. Non servono le disposizioni.\n\n"
                   "Opzioni:\n"
                   "  --bank NOME          la banca, scritta esattamente come nel catalogo (obbligatoria)\n"
                   "  --output FILE        il file per la banca da registrare (obbligatoria)\n"
                   "  --layouts CARTELLA   dove si leggono Tracciati.xml e i tracciati (predefinita: la cartella corrente)\n"
                   "  --main-folder CARTELLA\n"
                   "                       la cartella principale dei dati (predefinita: $XDG_DATA_HOME/Ulmor/)\n\n") +
               kExitStatus;
    }
    return "Uso: pzt-bankfile SOTTOCOMANDO [argomenti]\n\n"
           "Crea i file per la banca dalle disposizioni degli stipendi senza aprire la finestra.\n\n"
           "Sottocomandi:\n"
           "  dump FILE                      mostra un file dati come JSON\n"
           "  export CARTELLA --bank NOME --output FILE [opzioni]\n"
           "                                 crea il file per la banca (il pulsante OK)\n"
           "  check CARTELLA --bank NOME [opzioni]\n"
           "                                 elenca tutti gli errori, gli avvisi e le note delle\n"
           "                                 disposizioni senza scrivere il file\n"
           "  distinta CARTELLA --bank NOME --output FILE [opzioni]\n"
           "                                 scrive la distinta (il pulsante Distinta)\n"
           "  brogliaccio CARTELLA --bank NOME --output FILE [opzioni]\n"
           "                                 scrive il brogliaccio (il pulsante Brogliaccio)\n"
           "  log --bank NOME --output FILE [--layouts CARTELLA] [--main-folder CARTELLA]\n"
           "                                 registra un file per la banca campo per campo (il pulsante Log)\n"
           "  history [--bank NOME] | --show N | --file N FILE [--main-folder CARTELLA]\n"
           "                                 il registro dei file prodotti; una copia conservata\n\n"
           "Opzioni di export, check, distinta e brogliaccio (per check --output \xC3\xA8 facoltativa):\n" +
           std::string(kWindowOptions) +
           "\n'pzt-bankfile SOTTOCOMANDO --help' descrive un sottocomando.\n\n" + kExitStatus;
}

}  // namespace doz::cli
