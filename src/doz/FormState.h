// The state the export window owns for its whole life: the tables, the
// provider, the settings, the folders and the window-level values that the
// bank-file writer, the validation rules and the reports share.
#pragma once

#include <algorithm>
#include <bitset>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Dates.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/Table.h"
#include "platform/WindowPort.h"

namespace doz {

class CheckSink;     // findings/Findings.h
struct CheckPlace;   // bankfile/DispositionCheck.h
class RecordPlans;   // bankfile/BankFileWriter.cpp
class FieldLookup;   // bankfile/FieldValidation.h

// Where the program reads and writes. Every path ends without a separator
// except mainFolder, which ends with '/' because sub-paths are appended to it.
struct FormPaths {
    std::string mainFolder;      // e.g. ~/.local/share/Ulmor/
    std::string bankFolder;      // default folder of the bank file, e.g. ~/Ulmordata/Banca
    std::string developerFile;   // its existence shows the Log button
    std::string workingFolder;   // where Tracciati.xml and the layout files are read; "" = current folder
    std::string dispositionsArg; // the program's folder argument
    std::string schemaFolder;    // the interbank schemas' folder when given (batch --xsd-dir); "" = setting or default
    // Started without the folder argument (from the desktop menu): the window
    // asks for the dispositions folder and, when the working folder has no
    // Tracciati.xml, for the layouts folder; both choices are kept in Banca.ini.
    bool chooseFolders = false;
    // Started only to log a bank file (batch log): no dispositions are read,
    // and choosing the bank loads its layout alone.
    bool withoutDispositions = false;

    // The defaults of this machine: $XDG_DATA_HOME/Ulmor/ (or ~/.local/share/Ulmor/),
    // ~/Ulmordata/Banca, ~/pzt-retribuzioni/src/doz/PztExport_Banche.
    static FormPaths defaults();
};

// The bank file while it is built: every record followed by CR LF, in one
// buffer (no list of lines and no joining). With `spill` set, every block of
// about a megabyte of lines is handed to it and leaves the buffer, so the
// file is written as it is built instead of held whole.
struct BankFileText {
    static constexpr std::size_t kSpillBlock = std::size_t{1} << 20;

    std::string content;  // the lines not handed on
    std::size_t lineCount = 0;
    std::function<void(std::string_view)> spill;

    void addLine(std::string_view line) {
        content.append(line).append("\r\n");
        ++lineCount;
        if (spill && content.size() >= kSpillBlock) {
            spill(content);
            content.clear();
        }
    }
    // The records in order, without their line ends.
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        out.reserve(lineCount);
        for (std::size_t start = 0; start < content.size();) {
            const std::size_t end = std::min(content.find("\r\n", start), content.size());
            out.push_back(content.substr(start, end - start));
            start = end + 2;
        }
        return out;
    }
};

struct FormState {
    explicit FormState(WindowPort& w) : window(w) {}

    WindowPort& window;
    FormPaths paths;

    Table cdsTracciati{"cdsTracciati"};
    Table cdsTraccCorrente{"cdsTraccCorrente"};
    Table cdsTrasfCorrente{"cdsTrasfCorrente"};
    Table cdsLeggi{"cdsLeggi"};
    Table cdsDisp{"cdsDisp"};
    Table cdsTot{"cdsTot"};
    Table cdsDistinta{"cdsDistinta"};
    Provider dspDisp{"dspDisp"};

    std::unique_ptr<IniFile> settings;  // Banca.ini

    std::bitset<8> confirmedWarnings;   // warnings 0..7 agreed to in this OK command
    std::string currentLine;            // the record being assembled, or the line being logged
    int currentFieldLength = 0;         // the field being formatted
    BankFileText* lineList = nullptr;   // the bank file, during one build
    // Set only while the dispositions are checked without writing a file: the
    // failures of each field and the warnings go here instead of stopping the
    // build or asking the user.
    CheckSink* checkSink = nullptr;
    // Where a check run's findings belong while it walks layout rows read beforehand.
    const CheckPlace* checkPlace = nullptr;
    // The layout rows of each record type and the fields found once, for the
    // length of one build or check run (none outside one).
    RecordPlans* recordPlans = nullptr;
    FieldLookup* fieldLookup = nullptr;
    // Now, local time: the system clock unless a test sets another. Today's
    // date for the checks and the moment an XML file is created come from it.
    std::function<DateTimeMs()> clock = localNow;
    DaySerial today() const { return datePart(clock()); }
    // The user has been told that an XML bank's schema is missing (once per run).
    bool schemaAbsenceTold = false;
    // Disposizioni.cds as it was when read into cdsLeggi, and a later state of
    // it the user chose not to read again (so that it is not asked twice).
    FileStamp dispositionsStamp;
    FileStamp keptDispositionsStamp;
    // Why the last OK command's log could not be written (the command went on
    // without it); empty when it was written or nothing was logged.
    std::string logFailure;
    // Set by the batch command, which runs one command and ends: that
    // command's reload is the last, so the raw rows move into cdsDisp instead
    // of being copied (the two tables are never held at once while the file
    // is written), and cdsLeggi keeps only its fields and reading notes.
    bool dropRawAfterReload = false;
    // Set by the batch command, which shows no grid, until its command runs:
    // a reload then runs the bank's transfer rules for the header controls
    // they show, on none of the dispositions; the command's own reload is the
    // first to run them on the rows.
    bool reloadWithoutRows = false;
    // Set by the batch command, whose questions are answered at once from
    // its arguments: the register's write lock may then be taken before the
    // questions (the payments are recorded while the request is walked),
    // since no person is waited for while another run waits for the lock.
    bool answersAtOnce = false;
    // How long a bank file's writer waits for another writing the same file
    // (platform/Files.h WriterTurn).
    std::chrono::milliseconds writerTurnWait = kWriterTurnWait;
    // The register's journal being folded while the dispositions are read
    // (register/History.h); the last member, so that it is joined first.
    std::jthread registerFolding;

    // A file name in the working folder (layouts and catalogue).
    std::string workingFile(const std::string& name) const {
        return paths.workingFolder.empty() ? name : paths.workingFolder + "/" + name;
    }
};

}  // namespace doz
