// The list of Controlla: a header value's findings once, under the window's
// caption; the other findings as they were.
#include <gtest/gtest.h>

#include "CheckList.h"
#include "PztFExport_Banche.h"
#include "platform/MemoryWindow.h"

namespace doz {
namespace {

TEST(CheckList, HeaderValuesAreOneFindingUnderTheirCaption) {
    MemoryWindow window;
    FormState form(window);
    EXPECT_EQ(HeaderCaption(form, "MITTENTE"), "Codice SIA");
    EXPECT_EQ(HeaderCaption(form, "DATA_CREAZIONE"), "Data creazione");
    EXPECT_EQ(HeaderCaption(form, "CC_DESTINATARIO"), "");

    CheckSink sink;
    for (int n = 1; n <= 3; ++n) {
        sink.add({FindingKind::Error, n, "Payee " + std::to_string(n), "10", "Mittente", "Campo obbligatorio: Mittente"});
        sink.add({FindingKind::Error, n, "Payee " + std::to_string(n), "10", "CC_DESTINATARIO",
                  "Campo obbligatorio: CC_DESTINATARIO"});
    }
    sink.add({FindingKind::Error, 0, "", "PC", "Mittente", "Campo numerico: Mittente"});
    CollapseHeaderFindings(form, sink);
    std::vector<std::string> lines;
    for (const CheckFinding& f : sink.findings()) lines.push_back(FormatFinding(f));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Campo Codice SIA: Campo obbligatorio: Codice SIA",
                         "Disposizione 1 (Payee 1), record 10, campo CC_DESTINATARIO: Campo obbligatorio: CC_DESTINATARIO",
                         "Disposizione 2 (Payee 2), record 10, campo CC_DESTINATARIO: Campo obbligatorio: CC_DESTINATARIO",
                         "Disposizione 3 (Payee 3), record 10, campo CC_DESTINATARIO: Campo obbligatorio: CC_DESTINATARIO",
                         "Campo Codice SIA: Campo numerico: Codice SIA",
                     }));
}

// The window's place in Banca.ini: read back as written; anything else is no place.
TEST(WindowPlacementSetting, ReadBackAsWrittenOrNotAtAll) {
    const WindowPlacement p{-20, 35, 1200, 600, true};
    EXPECT_EQ(TfmPzExport_Banche::PlacementText(p), "-20,35,1200,600,1");
    EXPECT_EQ(TfmPzExport_Banche::ParsePlacement("-20,35,1200,600,1"), p);
    for (const char* bad : {"", "1,2,3,4", "10,10,1200,600,1,9", "10,10,50,600,0", "a,10,1200,600,0", "10,10,1200,600,2",
                            "10,,1200,600,0", "1-0,10,1200,600,0", "99999999999,1,1200,600,0"})
        EXPECT_FALSE(TfmPzExport_Banche::ParsePlacement(bad).has_value()) << bad;
}

}  // namespace
}  // namespace doz
