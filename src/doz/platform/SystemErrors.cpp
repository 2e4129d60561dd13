#include "platform/SystemErrors.h"

#include <cerrno>
#include <filesystem>

#include "platform/Ansi.h"

namespace doz {

std::string systemErrorText(int err) {
    switch (err) {
        case ENOENT: return "file o cartella inesistente";
        case EACCES:
        case EPERM: return "accesso negato";
        case ENOSPC:
        case EDQUOT: return "spazio su disco esaurito";
        case EROFS: return "disco protetto in scrittura";
        case EISDIR: return "il percorso \xE8 una cartella";
        case ENOTDIR: return "una parte del percorso non \xE8 una cartella";
        case ENAMETOOLONG: return "nome troppo lungo";
        case EEXIST: return "esiste gi\xE0";
        case ENOTEMPTY: return "la cartella non \xE8 vuota";
        case EBUSY: return "in uso";
        case ETXTBSY: return "file in uso";
        case EMFILE:
        case ENFILE: return "troppi file aperti";
        case ENOMEM: return "memoria insufficiente";
        case EIO: return "errore di lettura o scrittura sul disco";
        case ELOOP: return "troppi collegamenti simbolici";
        case EXDEV: return "il percorso \xE8 su un altro disco";
        case EFBIG: return "file troppo grande";
        case EINVAL: return "argomento non valido";
        case ENXIO:
        case ENODEV: return "dispositivo inesistente";
        case EAGAIN: return "risorsa momentaneamente non disponibile";
        case EINTR: return "operazione interrotta";
        case EINPROGRESS: return "operazione in corso";
        case EALREADY: return "operazione gi\xE0 in corso";
        case ETIMEDOUT: return "tempo scaduto";
        case ECONNREFUSED: return "connessione rifiutata";
        case ECONNRESET: return "connessione interrotta";
        case ENETUNREACH:
        case ENETDOWN: return "rete non raggiungibile";
        case EHOSTUNREACH: return "computer non raggiungibile";
        case ESTALE: return "file non pi\xF9 valido sul disco di rete";
        case ENOLCK: return "blocco dei file non disponibile";
        case EDEADLK: return "blocco dei file in conflitto";
        case EOPNOTSUPP: return "operazione non supportata";
        case ENOSYS: return "funzione non disponibile";
        case EBADF: return "file non aperto";
        case EPIPE: return "comunicazione interrotta";
        case EMLINK: return "troppi collegamenti";
        default: break;
    }
    return "errore di sistema " + std::to_string(err);
}

std::string systemErrorText(const std::error_code& code) {
    if (code.category() == std::system_category() || code.category() == std::generic_category())
        return systemErrorText(code.value());
    return "errore di sistema " + std::to_string(code.value());
}

std::string exceptionText(const std::exception& e) {
    if (const auto* fs = dynamic_cast<const std::filesystem::filesystem_error*>(&e)) {
        std::string text = "Impossibile accedere a '" + utf8ToAnsi(fs->path1().string()) + "'";
        if (!fs->path2().empty()) text += " o a '" + utf8ToAnsi(fs->path2().string()) + "'";
        return text + ": " + systemErrorText(fs->code());
    }
    if (const auto* system = dynamic_cast<const std::system_error*>(&e))
        return "Errore di sistema: " + systemErrorText(system->code());
    return e.what();
}

}  // namespace doz
