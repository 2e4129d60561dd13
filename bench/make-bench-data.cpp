// make-bench-data: a benchmark data folder of N dispositions.
//
//   make-bench-data <demo-folder> <output-folder> <N>
//
// The demo folder (examples/) gives the catalogue, the layouts and the
// transfer rules of the seven demo banks, copied byte for byte, and its forty
// dispositions, which cover every payment kind, the suspended payments
// without a payment mode, accented names and towns. The output's
// Disposizioni.cds holds N dispositions: the demo rows taken in turn, each
// with a payee name, a staff number, an amount and a remittance text of its
// own, written with the program's packet writer (binary packet). The amounts
// are small (allowance-sized), as in the first measurements, so that the
// figures of every round compare; the file's totals are 64-bit since.
//
// The output is deterministic: the same N gives the same bytes.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/DataPacket.h"
#include "platform/Files.h"
#include "platform/Table.h"

using namespace doz;

namespace {

const char* const kDemoFiles[] = {
    "Tracciati.xml",    "CBI_5_02.Xml",  "CBI_5_02_X.Xml", "CBI_SEP.Xml",     "CBI_SEP_X.Xml",
    "CBI_SEP2.Xml",     "CBI_SEP2_X.Xml", "CBI_MARCA.Xml", "CBI_MARCA_X.Xml", "DELTA_SIOPE.Xml",
    "DELTA_SIOPE_X.Xml", "SETIF.Xml",     "SETIF_X.Xml",   "CBI_STD.Xml",     "CBI_STD_X.Xml",
};

std::size_t column(const PacketContent& packet, const char* name) {
    for (std::size_t i = 0; i < packet.fields.size(); ++i)
        if (sameName(packet.fields[i].name, name)) return i;
    throw std::runtime_error(std::string("Disposizioni.cds: no field ") + name);
}

std::string textOf(const Value& v) { return v.is<std::string>() ? std::string(v.text()) : std::string(); }

// "Surname Name" of a demo payee: the surname is everything before the last blank.
void splitName(const std::string& full, std::string& surname, std::string& name) {
    const std::size_t blank = full.rfind(' ');
    surname = blank == std::string::npos ? full : full.substr(0, blank);
    name = blank == std::string::npos ? std::string() : full.substr(blank + 1);
}

PacketContent scaled(const PacketContent& demo, long count) {
    const std::size_t payee = column(demo, "DESC_DESTINATARIO"), cents = column(demo, "IMPORTO"),
                      euro = column(demo, "IMPORTO_EURO"), staff = column(demo, "COD_CLIENTE"),
                      remittance = column(demo, "DESC_CAUSALE"), month = column(demo, "MESE"),
                      year = column(demo, "ESERCIZIO");
    const std::size_t kinds = demo.rows.size();
    if (kinds == 0) throw std::runtime_error("Disposizioni.cds: no dispositions");

    std::vector<std::string> surnames(kinds), names(kinds);
    for (std::size_t k = 0; k < kinds; ++k) splitName(textOf(demo.rows[k][payee]), surnames[k], names[k]);

    PacketContent out;
    out.fields = demo.fields;
    out.params = demo.params;
    out.rows.reserve(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
        const std::size_t k = static_cast<std::size_t>(i) % kinds;
        Row row = demo.rows[k];
        // Surname of this demo row, first name of another: every payee row keeps
        // its payment kind, bank coordinates and address.
        const std::size_t other = (k + static_cast<std::size_t>(i) / kinds) % kinds;
        row[payee] = Value(surnames[k] + " " + names[other]);
        // 50,00 to 299,99 euro: the amounts of the first measurements, kept so
        // that every round's figures compare (the totals were 32-bit then).
        const long amount = 5000 + (i * 7919L) % 25000;
        row[cents] = Value(static_cast<std::int64_t>(amount));
        row[euro] = Value(static_cast<double>(amount) / 100.0);
        char number[24];
        std::snprintf(number, sizeof number, "%07ld", i + 1);
        row[staff] = Value(std::string(number));
        row[remittance] = Value("Retribuzione " + textOf(row[month]) + "/" + textOf(row[year]) + " - matricola " +
                                std::string(number));
        out.rows.push_back(std::move(row));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc != 4) {
            std::fprintf(stderr, "usage: make-bench-data <demo-folder> <output-folder> <N>\n");
            return 2;
        }
        std::string demo = argv[1], folder = argv[2];
        if (demo.back() != '/') demo += '/';
        if (folder.back() != '/') folder += '/';
        const long count = std::strtol(argv[3], nullptr, 10);
        if (count <= 0) throw std::runtime_error("N must be a positive number");
        forceDirectories(folder);
        for (const char* name : kDemoFiles) writeFileAtomically(folder + name, readWholeFile(demo + name));
        const PacketContent dispositions = scaled(readPacketFile(demo + "Disposizioni.cds"), count);
        writePacketFile(folder + "Disposizioni.cds", dispositions, PacketFormat::Binary);
        std::printf("%s: %ld dispositions\n", folder.c_str(), count);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-bench-data: %s\n", e.what());
        return 1;
    }
}
