// The XML of a request: its exact text for one form, validity against the
// schemas of every form, the control sum, the schema's complaint and the log.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <filesystem>

#include "SepaSample.h"
#include "support/TestFiles.h"
#include "platform/Error.h"
#include "sepa/Prepare.h"
#include "sepa/Schema.h"
#include "sepa/Writer.h"
#include "sepa/XmlLog.h"

using namespace doz;
using namespace doz::sepa;
namespace fs = std::filesystem;

namespace {

std::string written(const Message& m) {
    std::string out;
    WriteMessage(m, out);
    return out;
}

fs::path schemaFor(Form form) {
    if (form == Form::Pain001) return BundledSchemaFolder() / SchemaFileName(form);
    return sepa_sample::fixtureSchemas() / SchemaFileName(form);
}

// The log of a document, as the file holds it.
std::string logOf(std::string_view document, const char* name) {
    const fs::path path = fs::temp_directory_path() / name;
    TextFileWriter out(path.string());
    try {
        LogXmlContent(document, out);
    } catch (...) {
        out.close();
        throw;
    }
    out.close();
    std::string text = test_files::readFile(path);
    fs::remove(path);
    return text;
}

}  // namespace

TEST(WriteMessage, BodyFormIsExactlyTheGoldenFile) {
    Message m = sepa_sample::message(Form::CbiBody);
    m.transfers[0].creditorName = "D'Angelo & Figli <srl>";  // escaped as written, even unprepared
    const std::string golden = test_files::readFile(fs::path(DOZ_SOURCE_DIR) / "tests/sepa/data/body-request.xml");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(written(m), golden);
}

TEST(WriteMessage, EveryFormIsValidAgainstItsSchema) {
    for (const Form form : {Form::CbiBody, Form::CbiRequest, Form::Pain001}) {
        SCOPED_TRACE(std::string(SchemaFileName(form)));
        const fs::path xsd = schemaFor(form);
        if (!fs::exists(xsd)) {
            // The interbank schemas are not shipped: skipped without them. The ISO one must be there.
            if (form == Form::Pain001) ADD_FAILURE() << "shipped schema missing: " << xsd;
            std::printf("skipped: no %s\n", xsd.string().c_str());
            continue;
        }
        const SchemaValidator validator(xsd);
        Message m = sepa_sample::message(form);
        m.transfers[0].creditorName = "N\xF8rg\xE5rd & S\xF6hne";
        // A payee in Switzerland: the BIC of the payee's bank and the payer's address travel too.
        m.debtorAddress = {"Piazza Grande", "1", "06010", "Villanova", "IT"};
        m.transfers[1].creditorIban = "CH" + IbanCheckDigits("CH", "00762011623852957").value() + "00762011623852957";
        m.transfers[1].creditorBic = "UBSWCHZH80A";
        m.transfers[1].creditorAddress = {"Bahnhofstrasse", "45", "8001", "Zuerich", "CH"};
        CheckSink sink;
        ASSERT_TRUE(PrepareMessage(m, sink));
        EXPECT_EQ(validator.validate(written(m)), std::nullopt);
        EXPECT_NE(written(m).find("BICFI>UBSWCHZH80A<"), std::string::npos);
        EXPECT_NE(written(m).find("TwnNm>Villanova<"), std::string::npos);
        // Written and validated at once: the same document, the same verdict.
        std::string both;
        EXPECT_EQ(WriteAndValidate(m, validator, both), std::nullopt);
        EXPECT_EQ(both, written(m));
    }
}

TEST(WriteMessage, ControlSumIsExactBeyondThirtyTwoBits) {
    Message m = sepa_sample::message(Form::Pain001);
    const Transfer model = m.transfers[0];
    m.transfers.clear();
    // 100,000 of the largest amount and one cent: an odd number of cents past
    // 2^53, which no sum of binary fractions (nor of euros as doubles) can land on.
    for (int i = 0; i <= 100'000; ++i) {
        Transfer t = model;
        t.cents = i == 100'000 ? 1 : kMaxCents;
        t.endToEndId = "E" + std::to_string(i);
        m.transfers.push_back(std::move(t));
    }
    EXPECT_EQ(ControlSumCents(m), 9'999'999'999'900'001);
    const std::string xml = written(m);
    EXPECT_NE(xml.find("<NbOfTxs>100001</NbOfTxs>\n<CtrlSum>99999999999000.01</CtrlSum>"), std::string::npos);
    EXPECT_NE(xml.find("<InstdAmt Ccy=\"EUR\">999999999.99</InstdAmt>"), std::string::npos);
    EXPECT_NE(xml.find("<InstdAmt Ccy=\"EUR\">0.01</InstdAmt>"), std::string::npos);  // the last one
    EXPECT_EQ(AmountText(5), "0.05");
    EXPECT_EQ(AmountText(99'999'999'999), "999999999.99");
}

TEST(SchemaValidator, RefusedDocumentGivesTheSchemasComplaintWithItsLine) {
    const SchemaValidator validator(schemaFor(Form::Pain001));  // shipped with the program
    Message m = sepa_sample::message(Form::Pain001);
    m.transfers[1].creditorIban = "IT00";  // not an IBAN by the schema's pattern
    const std::string xml = written(m);
    const std::size_t at = xml.find("<IBAN>IT00<");
    ASSERT_NE(at, std::string::npos);
    const auto line = 1 + std::count(xml.begin(), xml.begin() + static_cast<std::ptrdiff_t>(at), '\n');
    testing::internal::CaptureStderr();  // the library prints nothing of its own
    const std::optional<std::string> complaint = validator.validate(xml);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(complaint.has_value());
    // The library's English words quoted and marked as its own.
    EXPECT_EQ(complaint->rfind("riga " + std::to_string(line) + " (messaggio del controllo dello schema: \"", 0), 0u)
        << *complaint;
    EXPECT_TRUE(complaint->ends_with("\")")) << *complaint;
    EXPECT_NE(complaint->find("IBAN"), std::string::npos) << *complaint;

    // Written and validated at once, with the fault past the first piece handed over.
    Message large = sepa_sample::message(Form::Pain001);
    large.transfers.resize(6'000, large.transfers[0]);
    large.transfers.back().creditorIban = "IT00";
    std::string out;
    const std::optional<std::string> late = WriteAndValidate(large, validator, out);
    ASSERT_GT(out.size(), std::size_t{2} << 20);
    ASSERT_TRUE(late.has_value());
    const std::size_t lateAt = out.find("<IBAN>IT00<");
    const auto lateLine = 1 + std::count(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(lateAt), '\n');
    EXPECT_EQ(late->rfind("riga " + std::to_string(lateLine) + " ", 0), 0u) << *late;

    testing::internal::CaptureStderr();
    const std::optional<std::string> notXml = validator.validate("<CstmrCdtTrfInitn");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(notXml.has_value());
    EXPECT_NE(notXml->find("(messaggio del controllo dello schema: \""), std::string::npos) << *notXml;
}

// A folder of schemas for one test, removed at its end.
class SchemaFolder {
public:
    SchemaFolder() {
        std::string pattern = (fs::temp_directory_path() / "pzt-xsd-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        root_ = pattern;
        fs::create_directory(root_ / "xsd");
    }
    ~SchemaFolder() { fs::remove_all(root_); }
    fs::path add(const std::string& name, const std::string& body, const std::string& prolog = "") const {
        const fs::path file = root_ / name;
        test_files::writeFile(file, "<?xml version=\"1.0\"?>\n" + prolog +
                                        "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n" + body +
                                        "</xs:schema>\n");
        return file;
    }
    const fs::path& root() const { return root_; }

private:
    fs::path root_;
};

const char* const kElement = "<xs:element name=\"A\" type=\"xs:string\"/>\n";

TEST(SchemaValidator, ReadsNothingOutsideItsFolderNorFromTheNetwork) {
    const SchemaFolder folder;
    folder.add("xsd/part.xsd", kElement);
    folder.add("outside.xsd", kElement);
    fs::create_symlink(folder.root() / "outside.xsd", folder.root() / "xsd/link.xsd");
    const std::string entity = "<!DOCTYPE xs:schema [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n";
    const struct {
        const char* what;
        fs::path xsd;
        const char* reference;
    } cases[] = {
        {"entity", folder.add("xsd/entity.xsd", "<xs:annotation><xs:documentation>&x;</xs:documentation></xs:annotation>\n",
                              entity),
         "/etc/passwd"},
        {"absolute include", folder.add("xsd/absolute.xsd", "<xs:include schemaLocation=\"/etc/passwd\"/>\n"), "/etc/passwd"},
        {"file address", folder.add("xsd/address.xsd", "<xs:include schemaLocation=\"file:///etc/passwd\"/>\n"),
         "/etc/passwd"},
        {"network import", folder.add("xsd/http.xsd",
                                      "<xs:import namespace=\"urn:x\" schemaLocation=\"http://192.0.2.1/x.xsd\"/>\n"),
         "http://192.0.2.1/x.xsd"},
        {"ftp include", folder.add("xsd/ftp.xsd", "<xs:include schemaLocation=\"ftp://192.0.2.1/x.xsd\"/>\n"),
         "ftp://192.0.2.1/x.xsd"},
        {"parent folder", folder.add("xsd/up.xsd", "<xs:include schemaLocation=\"../outside.xsd\"/>\n"), "outside.xsd"},
        {"link out", folder.add("xsd/linked.xsd", "<xs:include schemaLocation=\"link.xsd\"/>\n"), "link.xsd"},
        // An entity of an included schema: that schema is read with entities on by the library.
        {"entity of an include", folder.add("xsd/deep.xsd", "<xs:include schemaLocation=\"deep-part.xsd\"/>\n"),
         "/etc/passwd"},
    };
    folder.add("xsd/deep-part.xsd", "<xs:annotation><xs:documentation>&x;</xs:documentation></xs:annotation>\n", entity);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            SchemaValidator loaded(c.xsd);
            ADD_FAILURE() << "loaded";
        } catch (const Error& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("Lo schema XML '" + c.xsd.string() + "'"), std::string::npos) << message;
            EXPECT_NE(message.find(c.reference), std::string::npos) << message;
            EXPECT_NE(message.find("rifiutat"), std::string::npos) << message;
        }
        // Every file the library opened lies in the folder: /etc/passwd was never opened.
        for (const SchemaRequest& r : SchemaRequestsOfLastLoad()) {
            if (r.opened) {
                EXPECT_EQ(r.reference.rfind((folder.root() / "xsd/").string(), 0), 0u) << r.reference;
            }
        }
    }
    // A schema that includes one beside it is read, and only the two files are opened.
    const fs::path good = folder.add("xsd/good.xsd", "<xs:include schemaLocation=\"part.xsd\"/>\n");
    const SchemaValidator loaded(good);
    EXPECT_EQ(loaded.validate("<A>x</A>"), std::nullopt);
    const std::vector<SchemaRequest> requests = SchemaRequestsOfLastLoad();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].opened && requests[1].opened);
    EXPECT_EQ(fs::path(requests[1].reference), folder.root() / "xsd/part.xsd");
}

TEST(SchemaValidator, ABrokenIncludedSchemaIsNamedWithItsLine) {
    const SchemaFolder folder;
    const fs::path part = folder.add("xsd/part.xsd", "<xs:element name=\"A\" type=\"xs:string\"/>\n<xs:element/>\n");
    const fs::path top = folder.add("xsd/top.xsd", "\n\n\n\n<xs:include schemaLocation=\"part.xsd\"/>\n");
    try {
        SchemaValidator loaded(top);
        ADD_FAILURE() << "loaded";
    } catch (const Error& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("Lo schema XML '" + part.string() + "' (richiamato dallo schema '" + top.string() +
                                    "') non \xE8 leggibile: riga 4 (messaggio del controllo dello schema: \"",
                                0),
                  0u)
            << message;
    }
}

TEST(SchemaValidator, UnreadableSchemaIsAnItalianError) {
    const fs::path bad = fs::temp_directory_path() / "pzt-sepa-not-a-schema.xsd";
    test_files::writeFile(bad, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element/></xs:schema>");
    EXPECT_THROW(SchemaValidator{bad}, Error);
    fs::remove(bad);
    try {
        SchemaValidator missing(fs::temp_directory_path() / "pzt-sepa-none.xsd");
        ADD_FAILURE() << "a missing schema was loaded";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("Impossibile leggere lo schema XML"), std::string::npos);
    }
}

TEST(LogXmlContent, EachLeafAsPathAndValueInWindows1252) {
    const std::string log = logOf(
        "<?xml version=\"1.0\"?>\n<R xmlns=\"urn:x\" xmlns:P=\"urn:p\"><P:A>\n  <P:B>caff\xC3\xA8 &amp; t\xC3\xA8</P:B>\n"
        "<P:C Ccy=\"EUR\">1.50</P:C><P:D><P:E/></P:D></P:A><F>x</F></R>",
        "pzt-sepa-log-1.txt");
    EXPECT_EQ(log, "A/B=\"caff\xE8 & t\xE8\"\r\nA/C@Ccy=\"EUR\"\r\nA/C=\"1.50\"\r\nA/D/E=\"\"\r\nF=\"x\"\r\n");

    // A whole request: one line per leaf, the amounts with their currency.
    const std::string request = logOf(written(sepa_sample::message(Form::CbiBody)), "pzt-sepa-log-2.txt");
    EXPECT_NE(request.find("CBIEnvelPaymentRequest/CBIPaymentRequest/GrpHdr/CtrlSum=\"3954.32\"\r\n"), std::string::npos);
    EXPECT_NE(request.find("CBIEnvelPaymentRequest/CBIPaymentRequest/PmtInf/CdtTrfTxInf/Cdtr/PstlAdr/TwnNm=\"Milano\"\r\n"),
              std::string::npos);
    EXPECT_EQ(std::count(request.begin(), request.end(), '\n'), 36);

    // A document read in several pieces: 17 lines of header and block, 8 a transfer
    // and 5 more for the one with an address.
    Message large = sepa_sample::message(Form::Pain001);
    large.transfers.resize(6'000, large.transfers[0]);
    large.transfers.back().remittance = "ultimo";
    const std::string document = written(large);
    ASSERT_GT(document.size(), std::size_t{2} << 20);
    const std::string pieces = logOf(document, "pzt-sepa-log-4.txt");
    EXPECT_EQ(std::count(pieces.begin(), pieces.end(), '\n'), 17 + 6'000 * 8 + 5);
    EXPECT_TRUE(pieces.ends_with("\"\r\nCstmrCdtTrfInitn/PmtInf/CdtTrfTxInf/RmtInf/Ustrd=\"ultimo\"\r\n")) << pieces.substr(pieces.size() - 200);

    // The same lines from the schema's validation as it reads the document,
    // handed over in pieces while at most one waits.
    const SchemaValidator validator(schemaFor(Form::Pain001));
    std::string lines;
    XmlLogLines alongside([&lines](std::string_view more) { lines += more; });
    PieceValidation validation(validator, 1, alongside.events(), alongside.user());
    for (std::size_t at = 0; at < document.size(); at += 100'000) validation.feed(document.substr(at, 100'000));
    EXPECT_EQ(validation.finish(), std::nullopt);
    alongside.finish();
    EXPECT_EQ(lines, pieces);
}

TEST(LogXmlContent, MalformedDocumentStopsWithTheLinesBeforeLogged) {
    const fs::path path = fs::temp_directory_path() / "pzt-sepa-log-3.txt";
    {
        TextFileWriter out(path.string());
        EXPECT_THROW(LogXmlContent("<R><A>1</A>\n<B>2</C></R>", out), Error);
        out.close();
    }
    EXPECT_EQ(test_files::readFile(path), "A=\"1\"\r\n");
    fs::remove(path);
}
