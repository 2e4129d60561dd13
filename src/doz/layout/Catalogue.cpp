#include "layout/Catalogue.h"

#include <optional>
#include <filesystem>
#include <string>

#include "layout/Dispositions.h"
#include "platform/Error.h"

namespace doz {

namespace {

// The piece of `text` between the (n-1)-th and the n-th '-' (n from 1); empty
// when the text has fewer pieces.
std::string_view delimitedPiece(std::string_view text, int n) {
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) {
        const std::size_t dash = text.find('-', start);
        if (dash == std::string_view::npos) return {};
        start = dash + 1;
    }
    const std::size_t end = text.find('-', start);
    return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// Text to integer as the run-time library does it: leading blanks allowed, an
// optional sign, then decimal digits and nothing else.
int toInt(std::string_view text) {
    std::string_view s = text;
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    bool ok = !s.empty();
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9' || v > 2147483648LL) {
            ok = false;
            break;
        }
        v = v * 10 + (c - '0');
    }
    if (ok) {
        if (negative) v = -v;
        if (v < -2147483648LL || v > 2147483647LL) ok = false;
    }
    if (!ok) throw ConvertError(quotedValue(text) + " non \xE8 un valore intero valido");
    return static_cast<int>(v);
}

}  // namespace

FieldPosition ParsePos(std::string_view text) {
    FieldPosition pos;
    try {
        pos.start = toInt(delimitedPiece(text, 1));
        const int end = toInt(delimitedPiece(text, 2));
        pos.length = end - pos.start + 1;
    } catch (const ConvertError& e) {
        // The piece alone does not tell the user which position is wrong.
        throw ConvertError(std::string(e.what()) + " (posizione " + quotedValue(text) + ")");
    }
    return pos;
}

BankFileKind CurrentBankFileKind(FormState& form) {
    Table& catalogue = form.cdsTracciati;
    if (!catalogue.active() || catalogue.eof()) return BankFileKind::FixedWidth;
    const std::optional<Field> column = catalogue.findField("Formato");
    if (!column) return BankFileKind::FixedWidth;
    const std::string text = column->asText();
    if (text.empty()) return BankFileKind::FixedWidth;
    if (text == "CBIBdyPaymentRequest.00.04.01") return BankFileKind::CbiBody;
    if (text == "CBIPaymentRequest.00.04.01") return BankFileKind::CbiRequest;
    if (text == "pain.001.001.09") return BankFileKind::Pain001;
    throw DataError("Tracciati.xml: formato del file sconosciuto '" + text + "' per la banca " +
                    catalogue.fieldByName("Banca").asText());
}

void LoadCatalogue(FormState& form) {
    Table& catalogue = form.cdsTracciati;
    try {
        catalogue.loadFromFile(form.workingFile("Tracciati.xml"));
    } catch (const IoError& e) {
        // The file's name alone does not tell the user where it was looked for.
        std::error_code ec;
        const std::filesystem::path folder =
            std::filesystem::absolute(form.paths.workingFolder.empty() ? "." : form.paths.workingFolder, ec);
        throw IoError(std::string(e.what()) + " (cartella dei tracciati: '" +
                      (ec ? form.paths.workingFolder : folder.lexically_normal().string()) + "')");
    }
    catalogue.first();
    while (!catalogue.eof()) {
        form.window.addItem("cbBanche", catalogue.fieldByName("Banca").asText());
        catalogue.next();
    }
}

void LoadBankLayouts(FormState& form) {
    WindowPort& w = form.window;
    const int selected = w.selectedIndex("cbBanche");
    const std::vector<std::string> items = w.items("cbBanche");
    // A list with nothing selected reads as an empty name.
    const std::string name =
        selected >= 0 && static_cast<std::size_t>(selected) < items.size() ? items[static_cast<std::size_t>(selected)]
                                                                            : std::string();

    Table& catalogue = form.cdsTracciati;
    if (!catalogue.locate("Banca", {Value(name)})) throw AssertionFailure();

    form.cdsTraccCorrente.setIndexFieldNames("Ord");
    form.cdsTraccCorrente.loadFromFile(form.workingFile(catalogue.fieldByName("CodTracciato").asText() + ".Xml"));
    form.cdsTrasfCorrente.loadFromFile(form.workingFile(catalogue.fieldByName("CodTracciato").asText() + "_X.Xml"));
}

void cbBancheClick(FormState& form) {
    LoadBankLayouts(form);
    ReloadDispositions(form);
}

}  // namespace doz
