#include "publish/Publish.h"

#include <unistd.h>

#include <cerrno>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/SystemErrors.h"
#include "register/FileRegister.h"
#include "register/KeptCopy.h"
#include "reports/Reports.h"

namespace doz {

namespace {

[[noreturn]] void ioFailedToRead(const std::string& path, int err) {
    throw IoError("Impossibile leggere il file '" + path + "': " + systemErrorText(err));
}

// Puts the bank file, written as it was built, in place and, at the same
// time, logs it (read back from the new file) into a file that takes the
// log's place only once the bank file is saved and the log is whole. A bank
// file that cannot be saved leaves the old log as it was. Once the bank file
// is saved the old log, which belongs to the old bank file, is removed at
// once (its blocks are freed while the new log is still being written): the
// log is then the old one, none, or the whole new one. The log is a help for
// the developer and never stops the command: a log that cannot be written
// whole is not put in place, and form.logFailure says why. A file put in
// place whose folder could not be flushed afterwards counts as saved; that
// failure goes to `afterwards`. `saved` runs as soon as the bank file is in
// place, beside the log and its closing (it must not throw); this returns once
// it has run.
void SaveAndLog(FormState& form, ReplacementFile& file, const ContentLog& logContent, std::vector<std::string>& afterwards,
                const std::function<void()>& saved) {
    const std::string& path = file.path();
    form.logFailure.clear();
    auto logFailed = [&form](std::exception_ptr failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            form.logFailure = exceptionText(e);
        } catch (...) {
            form.logFailure = "errore sconosciuto";
        }
    };
    // The new file read back for the log, through a descriptor of its own: the
    // save closes the writer's.
    const int readBack = ::dup(file.descriptor());
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) ::close(fd);
        }
    } closer{readBack};

    // The log folder is made only for a bank file that was saved: without it,
    // the save comes first.
    const bool alongside = directoryExists(LogFolder(form));
    std::optional<TextFileWriter> log;
    std::string logPath;
    if (alongside) {
        try {
            logPath = FileLogPath(form);
            log.emplace(logPath);
        } catch (...) {
            logFailed(std::current_exception());
        }
    }
    // A bank file saved over the log file itself is not logged, and that file is not removed.
    const std::string oldLog = !logPath.empty() && !sameFile(path, logPath) ? logPath : std::string();

    std::exception_ptr saveFailure;
    std::string notFlushed;
    // Told once the bank file is in place or could not be: the log may then
    // be closed while `saved` still runs.
    std::promise<void> settled;
    std::future<void> saveSettled = settled.get_future();
    auto save = [&saveFailure, &notFlushed, &file, oldLog, &saved, &settled]() noexcept {
        try {
            file.commit();
        } catch (const FolderNotFlushedError& e) {
            notFlushed = e.what();  // in place: saved
        } catch (...) {
            saveFailure = std::current_exception();
            settled.set_value();
            return;
        }
        if (!oldLog.empty()) ::unlink(oldLog.c_str());
        settled.set_value();
        if (saved) saved();
    };
    std::jthread saver;  // joined however this function ends
    if (alongside) {
        try {
            saver = std::jthread(save);
        } catch (const std::system_error&) {
            save();  // no thread to be had: one after the other
        }
    } else {
        save();
    }
    if (!saver.joinable() && saveFailure) std::rethrow_exception(saveFailure);

    bool logged = false;
    if (form.logFailure.empty()) {
        try {
            if (readBack < 0) ioFailedToRead(path, errno);
            if (!log) {
                logPath = FileLogPath(form);
                log.emplace(logPath);
            }
            logContent(readBack, path, *log);
            logged = true;
        } catch (...) {
            logFailed(std::current_exception());
        }
    }

    if (saver.joinable()) {
        saveSettled.wait();
        if (saveFailure) std::rethrow_exception(saveFailure);  // the new log goes with it
    }
    if (!notFlushed.empty()) afterwards.push_back(notFlushed);
    if (BankFileIsItsLog(form, logPath)) {
        form.logFailure.clear();
        return;
    }
    try {
        if (logged) log->close();
    } catch (const FolderNotFlushedError& e) {
        afterwards.push_back(e.what());  // the log is in place, whole
    } catch (...) {
        logFailed(std::current_exception());
    }
    // A log not written whole is not kept, and the old one went with the old bank file.
    if (!form.logFailure.empty() && !logPath.empty()) ::unlink(logPath.c_str());
}

}  // namespace

BankFileTurns::BankFileTurns(FormState& form) {
    const std::string path = form.window.text("cbBancaFile");
    bankFile_.emplace(path, form.writerTurnWait);
    if (!directoryExists(LogFolder(form))) return;
    const std::string logPath = FileLogPath(form);
    if (!sameFile(path, logPath)) log_.emplace(logPath, form.writerTurnWait);
}

std::unique_ptr<ContentKeeper> KeepContent(const FormState& form, ReplacementFile& file, std::string& failure) {
    if (!RegisterEnabled()) return nullptr;
    try {
        // Once the register has copies, this one is written among them as it
        // is made and put in place once the content is whole; the keeper
        // removes it again if the file is not saved.
        const std::string copies = KeptCopyFolder(form.paths.mainFolder);
        auto keeper = std::make_unique<ContentKeeper>(file.descriptor(), directoryExists(copies) ? copies : std::string());
        if (file.size() > 0) keeper->written(file.size());  // written before
        ContentKeeper* const watching = keeper.get();
        file.setWatcher([watching](std::string_view piece) { watching->written(piece.size()); });
        return keeper;
    } catch (const std::exception& e) {
        failure = "Copia del file non conservata: " + std::string(e.what());
        return nullptr;
    }
}

void ProduceBankFile(FormState& form, const ContentWriter& write, const ContentLog& logContent,
                     const RegisterEntry& entry, std::unique_ptr<ReplacementFile> draft,
                     std::unique_ptr<RegisterRecording> started, std::unique_ptr<ContentKeeper> draftKept) {
    WindowPort& window = form.window;
    const std::string path = window.text("cbBancaFile");
    if (fileExists(path) && !window.askYesNo("Il file esiste gi\xE0. Sostituirlo ?")) throw SilentAbort();
    if (directoryExists(path))
        throw IoError("Impossibile creare il file della banca: '" + path + "' \xE8 una cartella.");

    std::vector<std::string> afterwards;
    std::string registerNotice;
    {
        // Written as it is built, into a file that has no name until it is
        // saved: a build that stops leaves nothing behind.
        const BankFileTurns turns(form);
        // Made while a draft for another path still exists, so never at its address.
        std::unique_ptr<ReplacementFile> made;
        if (!draft || draft->path() != path) made = std::make_unique<ReplacementFile>(path);
        ReplacementFile& file = made ? *made : *draft;
        // The register works beside the build: the payments are written to
        // it, and the content is digested and compressed as it reaches the
        // file; the record is committed once the file is in place.
        const bool recording = RegisterEnabled();
        std::unique_ptr<ContentKeeper> keeper;
        std::unique_ptr<RegisterRecording> record = std::move(started);
        if (recording) {
            if (!record) record = std::make_unique<RegisterRecording>(form.paths.mainFolder);
            if (!entry.paymentsWhileWriting) record->start(entry.payments);
            if (draftKept && !made) {
                keeper = std::move(draftKept);  // has watched the draft from its first byte
            } else {
                if (draft) draft->setWatcher({});
                draftKept.reset();
                keeper = KeepContent(form, file, registerNotice);
            }
        }
        write(file);
        if (keeper) keeper->complete();
        std::function<void()> saved;
        if (recording)
            saved = [&]() noexcept {
                const std::string told = record->finish(entry, path, keeper.get());
                if (!told.empty()) registerNotice = told;
            };
        SaveAndLog(form, file, logContent, afterwards, saved);
    }
    for (const std::string& message : afterwards) window.showMessage(message);
    if (!registerNotice.empty()) window.showMessage(registerNotice);
}

}  // namespace doz
