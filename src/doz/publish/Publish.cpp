#include "publish/Publish.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/Ansi.h"
#include "platform/Error.h"
#include "reports/Reports.h"

namespace doz {

namespace {

[[noreturn]] void ioFailedToRead(const std::string& path, int err) {
    throw IoError("Impossibile leggere il file '" + path + "': " + utf8ToAnsi(std::strerror(err)));
}

// Puts the bank file, written as it was built, in place and, at the same
// time, logs it (read back from the new file) into a file that takes the
// log's place only once the bank file is saved and the log is whole. A bank
// file that cannot be saved leaves the old log as it was. Once the bank file
// is saved the old log, which belongs to the old bank file, is removed at
// once (its blocks are freed while the new log is still being written): the
// log is then the old one, none, or the whole new one. The log is a help for
// the developer and never stops the command: a log that cannot be written
// whole is not put in place, and form.logFailure says why.
void SaveAndLog(FormState& form, ReplacementFile& file, const ContentLog& logContent) {
    const std::string& path = file.path();
    form.logFailure.clear();
    auto logFailed = [&form](std::exception_ptr failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            form.logFailure = e.what();
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
    auto save = [&saveFailure, &file, oldLog]() noexcept {
        try {
            file.commit();
        } catch (...) {
            saveFailure = std::current_exception();
            return;
        }
        if (!oldLog.empty()) ::unlink(oldLog.c_str());
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
        saver.join();
        if (saveFailure) std::rethrow_exception(saveFailure);  // the new log goes with it
    }
    if (BankFileIsItsLog(form, logPath)) {
        form.logFailure.clear();
        return;
    }
    try {
        if (logged) log->close();
    } catch (...) {
        logFailed(std::current_exception());
    }
    // A log not written whole is not kept, and the old one went with the old bank file.
    if (!form.logFailure.empty() && !logPath.empty()) ::unlink(logPath.c_str());
}

}  // namespace

void ProduceBankFile(FormState& form, const ContentWriter& write, const ContentLog& logContent) {
    WindowPort& window = form.window;
    const std::string path = window.text("cbBancaFile");
    if (fileExists(path) && !window.askYesNo("Il file esiste gi\xE0. Sostituirlo ?")) throw SilentAbort();
    if (directoryExists(path))
        throw IoError("Impossibile creare il file della banca: '" + path + "' \xE8 una cartella.");

    {
        // Written as it is built, into a file that has no name until it is
        // saved: a build that stops leaves nothing behind.
        ReplacementFile file(path);
        write(file);
        SaveAndLog(form, file, logContent);
    }
}

}  // namespace doz
