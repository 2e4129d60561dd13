#include "platform/SystemErrors.h"

#include <cerrno>

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
        default: return "errore di sistema " + std::to_string(err);
    }
}

std::string systemErrorText(const std::error_code& code) {
    if (code.category() == std::system_category() || code.category() == std::generic_category())
        return systemErrorText(code.value());
    return "errore di sistema " + std::to_string(code.value());
}

}  // namespace doz
