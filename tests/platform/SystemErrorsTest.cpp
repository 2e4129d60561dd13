// The system's reasons in Italian, wherever they come from.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "platform/SystemErrors.h"

namespace doz {
namespace {

TEST(SystemErrors, ReasonsOfTheSystemAndOfTheStandardLibraryAreItalian) {
    EXPECT_EQ(systemErrorText(EINPROGRESS), "operazione in corso");
    EXPECT_EQ(systemErrorText(std::make_error_code(std::errc::timed_out)), "tempo scaduto");
    EXPECT_EQ(systemErrorText(4095), "errore di sistema 4095");

    const std::filesystem::filesystem_error missing("cannot open", "/a/b", std::make_error_code(std::errc::no_such_file_or_directory));
    EXPECT_EQ(exceptionText(missing), "Impossibile accedere a '/a/b': file o cartella inesistente");
    const std::system_error thread(std::make_error_code(std::errc::resource_unavailable_try_again), "thread");
    EXPECT_EQ(exceptionText(thread), "Errore di sistema: risorsa momentaneamente non disponibile");
    EXPECT_EQ(exceptionText(std::runtime_error("Campo obbligatorio")), "Campo obbligatorio");
}

}  // namespace
}  // namespace doz
