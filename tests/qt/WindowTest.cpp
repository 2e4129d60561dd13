// The export window on screen (offscreen platform): start-up, bank choice,
// header controls, exclusion, the commands and their message boxes, driven
// through the real widgets with data files written into a scratch folder.
#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "PztFExport_Banche.h"
#include "platform/Ansi.h"
#include "platform/DataPacket.h"
#include "platform/Dates.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/MemoryWindow.h"
#include "platform/Regional.h"
#include "qt/BrowseEdit.h"
#include "qt/DateEdit.h"
#include "qt/DispositionModel.h"
#include "qt/ExportWindow.h"
#include "qt/FindingListPanel.h"
#include "qt/SingleInstance.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using namespace doz;

namespace {

// ---- data files --------------------------------------------------------------------

FieldDef fieldDef(const char* name, FieldType type, int size = 0) {
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = size;
    return f;
}
FieldDef textDef(const char* name, int size) { return fieldDef(name, FieldType::String, size); }

struct LayoutRow {
    std::string record, pos, fieldName, colType, extra, required, fillingChar;
};

void writeLayout(const std::string& path, const std::vector<LayoutRow>& rows) {
    PacketContent c;
    c.fields = {textDef("Record", 2),  fieldDef("Ord", FieldType::Int32), textDef("Pos", 10),
                textDef("FieldName", 40), textDef("ColType", 4),            textDef("Extra", 2),
                textDef("Required", 4),   textDef("FillingChar", 1)};
    int ord = 0;
    auto orNull = [](const std::string& s) { return s.empty() ? Value() : Value(s); };
    for (const LayoutRow& r : rows)
        c.rows.push_back({Value(r.record), Value(++ord), Value(r.pos), orNull(r.fieldName), Value(r.colType),
                          orNull(r.extra), orNull(r.required), orNull(r.fillingChar)});
    writePacketFile(path, c, PacketFormat::Xml);
}

// Transfer rules: each header field read from its edit ("AN") or date edit ("D").
void writeRules(const std::string& path, const std::vector<std::pair<std::string, std::string>>& rules) {
    PacketContent c;
    c.fields = {textDef("FieldName", 40), textDef("ColType", 4), textDef("ValOut", 40), textDef("Condition", 200),
                textDef("FieldOut", 40)};
    for (const auto& [field, type] : rules) c.rows.push_back({Value(field), Value(type), Value(), Value(), Value()});
    writePacketFile(path, c, PacketFormat::Xml);
}

struct Payee {
    std::string name;  // UTF-8
    std::optional<int> mode;
    int amount;
    std::string account;
};

// The payees of the tests; the third has no accepted payment mode.
std::vector<Payee> standardPayees() {
    return {{"Rossi Mario", 1, 10001, "000000000011"},
            {"Nicol\xC3\xB2 Esposito", 1, 20002, "000000000022"},
            {"Verdi Anna", std::nullopt, 30003, "000000000033"},
            {"Neri Luca", 1, 40004, "000000000044"}};
}

void writeDispositions(const std::string& path, const std::vector<Payee>& payees) {
    PacketContent c;
    c.fields = {fieldDef("IMPGID", FieldType::Int32),
                fieldDef("MODALITA_PAGAMENTO", FieldType::Int32),
                textDef("DESC_MOD_PAGAMENTO", 30),
                textDef("DESC_DESTINATARIO", 40),
                fieldDef("IMPORTO", FieldType::Int32),
                fieldDef("IMPORTO_EURO", FieldType::Float),
                textDef("ABI_DESTINATARIO", 5),
                textDef("CAB_DESTINATARIO", 5),
                textDef("CC_DESTINATARIO", 12),
                textDef("CIN", 1),
                textDef("CF_DESTINATARIO", 16),
                textDef("IND_DESTINATARIO", 30),
                textDef("CAP_DESTINATARIO", 5),
                textDef("COM_DESTINATARIO", 30),
                textDef("ABI_ORDINANTE", 5),
                textDef("CC_ORDINANTE", 20),
                textDef("CIN_ORDINANTE", 1),
                textDef("IBAN_STATO_ORDINANTE", 2),
                textDef("IBAN_CKD_ORDINANTE", 2),
                textDef("SACOMNUMCC", 27),
                textDef("MESE", 2),
                textDef("ESERCIZIO", 4),
                textDef("Mittente", 10),
                textDef("NOME_SUPPORTO", 20),
                textDef("Conto_Tesoreria", 7),
                fieldDef("DATA_CREAZIONE", FieldType::Date),
                fieldDef("DATA_DISPOSIZIONE", FieldType::Date),
                fieldDef("DATA_VALUTA", FieldType::Date),
                fieldDef("DATA_SCADENZA", FieldType::Date)};
    // No BANCA_DESCR_DEST: its grid column stays empty.
    int n = 0;
    for (const Payee& p : payees) {
        ++n;
        const std::string number = std::to_string(n);
        c.rows.push_back({Value(1), p.mode ? Value(*p.mode) : Value(), Value("BONIFICO"),
                          Value(utf8ToAnsi(p.name)), Value(p.amount), Value(p.amount / 100.0), Value("0100" + number),
                          Value("0300" + number), p.account.empty() ? Value() : Value(p.account), Value("X"),
                          Value("CFPAYEE000000" + number), Value("Via Roma " + number), Value("0010" + number),
                          Value("Roma"), Value("03069"), Value("CC-ORD-FIRST"), Value(), Value(), Value(),
                          Value("SACOM" + number), Value("03"), Value("2024"), Value(), Value(), Value(), Value(),
                          Value(), Value(), Value()});
    }
    writePacketFile(path, c, PacketFormat::Binary);
}

// Two banks: Alfa asks for sender, support name, ordering account, creation and
// expiry date; Beta for sender, treasury account, execution and value date.
void writeBanks(const std::string& work) {
    PacketContent cat;
    cat.fields = {textDef("Banca", 40), textDef("CodTracciato", 20), textDef("ABI", 5), textDef("PosTipoRecord", 10)};
    cat.rows = {{Value("Banca Alfa"), Value("ALFA"), Value("03069"), Value("1-2")},
                {Value("Banca Beta"), Value("BETA"), Value("05034"), Value("1-2")}};
    writePacketFile(work + "/Tracciati.xml", cat, PacketFormat::Xml);

    const std::vector<LayoutRow> layout = {
        {"PC", "1-2", "", "F", "", "", "P"},          {"PC", "3-12", "Mittente", "AN", "", "O", ""},
        {"10", "1-2", "", "F", "", "", "1"},          {"10", "3-12", "IMPORTO", "N", "", "", "0"},
        {"10", "13-24", "CC_DESTINATARIO", "AN", "", "O", ""},
        {"EF", "1-2", "", "F", "", "", "E"},          {"EF", "3-7", "TOT_RECORD", "N", "F", "", "0"},
    };
    writeLayout(work + "/ALFA.Xml", layout);
    writeLayout(work + "/BETA.Xml", layout);
    writeRules(work + "/ALFA_X.Xml", {{"Mittente", "AN"},
                                      {"NOME_SUPPORTO", "AN"},
                                      {"CC_ORDINANTE", "AN"},
                                      {"DATA_CREAZIONE", "D"},
                                      {"DATA_SCADENZA", "D"}});
    writeRules(work + "/BETA_X.Xml",
               {{"Mittente", "AN"}, {"Conto_Tesoreria", "AN"}, {"DATA_DISPOSIZIONE", "D"}, {"DATA_VALUTA", "D"}});
}

using test_files::readFile;

std::string todayStamp() { return formatDatePattern("yyyymmdd", today(), '/'); }

// ---- the stand-in user for modal boxes ---------------------------------------------------

// Watches for modal message boxes and file dialogs while a command runs: each
// message box is recorded and answered (Yes/No from the queue, No when it is
// empty; boxes without Yes are acknowledged), each file dialog goes to a callback.
class ModalAnswerer : public QObject {
public:
    struct Box {
        QMessageBox::Icon icon;
        QString text;
        bool waitCursor;  // the hourglass was on while the box was shown
        QString title;
    };

    ModalAnswerer() {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::poll);
        timer_.start();
    }

    std::deque<bool> answers;
    std::vector<Box> boxes;
    std::function<void(QFileDialog*)> onFileDialog;

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == handled_) return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            handled_ = modal;
            const QCursor* cursor = QApplication::overrideCursor();
            boxes.push_back({box->icon(), box->text(), cursor && cursor->shape() == Qt::WaitCursor, box->windowTitle()});
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            if (yes) {
                const bool answer = !answers.empty() && answers.front();
                if (!answers.empty()) answers.pop_front();
                box->button(answer ? QMessageBox::Yes : QMessageBox::No)->click();
            } else {
                box->button(QMessageBox::Ok)->click();
            }
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            handled_ = modal;
            if (onFileDialog) onFileDialog(dialog);
            else dialog->reject();
        }
    }

    QTimer timer_;
    QPointer<QWidget> handled_;
};

}  // namespace

// ---- the tests ------------------------------------------------------------------------------

class ExportWindowTest : public QObject {
    Q_OBJECT

private:
    std::string root_;
    fs::path savedCwd_;
    Regional savedRegional_;
    std::unique_ptr<ExportWindow> window_;
    std::vector<std::string> opened_;
    std::unique_ptr<ModalAnswerer> user_;

    std::string home() const { return root_ + "/home"; }
    std::string work() const { return root_ + "/work"; }
    std::string dispFolder() const { return root_ + "/disp"; }
    std::string mainFolder() const { return root_ + "/data/Ulmor/"; }
    std::string iniPath() const { return mainFolder() + "usr/Pzt/doz/Banca.ini"; }
    std::string bankFolder() const { return home() + "/Ulmordata/Banca"; }
    std::string reportFolder() const { return mainFolder() + "var/log/Pzt/doz/stp/"; }

    void saveSetting(const char* key, const std::string& value) {
        forceDirectories(mainFolder() + "usr/Pzt/doz");
        IniFile(iniPath()).writeString("Dati", key, value);
    }

    // Creates and shows the window as the program does; FormShow runs on showing.
    ExportWindow& start(bool withArgument = true) {
        FormPaths paths = FormPaths::defaults();
        if (withArgument) paths.dispositionsArg = dispFolder();
        paths.chooseFolders = !withArgument;
        window_ = std::make_unique<ExportWindow>(paths);
        window_->setDesktopOpener([this](const std::string& path) { opened_.push_back(path); });
        window_->show();
        window_->activateWindow();
        if (!QTest::qWaitForWindowExposed(window_.get())) qWarning("window not exposed");
        (void)QTest::qWaitForWindowActive(window_.get(), 1000);
        return *window_;
    }

    template <class W>
    W* find(const char* name) const {
        W* w = window_->findChild<W*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    QString textOf(const char* name) const { return find<QLineEdit>(name)->text(); }
    QLineEdit* fileEdit() const { return find<BrowseEdit>("cbBancaFile")->lineEdit(); }
    QTableView* grid() const { return find<QTableView>("dbgDisp"); }
    QString cell(int row, int column) const { return grid()->model()->index(row, column).data().toString(); }
    int gridRows() const { return grid()->model()->rowCount(); }
    int gridCurrentRow() const { return grid()->selectionModel()->currentIndex().row(); }
    void click(const char* name) { QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton); }

    std::vector<QString> boxTexts(QMessageBox::Icon icon) const {
        std::vector<QString> out;
        for (const auto& b : user_->boxes)
            if (b.icon == icon) out.push_back(b.text);
        return out;
    }

private slots:
    void init() {
        std::string pattern = (fs::temp_directory_path() / "doz-qt-XXXXXX").string();
        QVERIFY(::mkdtemp(pattern.data()) != nullptr);
        root_ = pattern;
        for (const char* sub : {"home", "data", "work", "disp"}) fs::create_directories(root_ + "/" + sub);
        ::setenv("HOME", home().c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
        savedCwd_ = fs::current_path();
        fs::current_path(work());
        savedRegional_ = regional();
        regional() = Regional::italian();
        writeBanks(work());
        writeDispositions(dispFolder() + "/Disposizioni.cds", standardPayees());
        opened_.clear();
        user_ = std::make_unique<ModalAnswerer>();
    }

    void cleanup() {
        window_.reset();
        user_.reset();
        regional() = savedRegional_;
        fs::current_path(savedCwd_);
        std::error_code ec;
        fs::remove_all(root_, ec);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // The window holds the same components as the in-memory window, with the
    // same kinds, panels and focus controls, reachable by object name.
    void controlsMirrorTheInMemoryWindow() {
        ExportWindow& w = start();
        MemoryWindow memory;
        const auto expected = memory.components();
        const auto actual = w.components();
        QCOMPARE(actual.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(actual[i].name, expected[i].name);
            QCOMPARE(actual[i].kind, expected[i].kind);
            QCOMPARE(actual[i].parent, expected[i].parent);
            QCOMPARE(actual[i].focusControl, expected[i].focusControl);
            QWidget* widget = w.findChild<QWidget*>(QString::fromStdString(expected[i].name));
            QVERIFY2(widget, expected[i].name.c_str());
            if (!expected[i].parent.empty()) QCOMPARE(widget->parentWidget()->objectName().toStdString(), expected[i].parent);
            const auto kind = expected[i].kind;
            if (kind == ComponentKind::Label || kind == ComponentKind::Button || kind == ComponentKind::CheckBox) {
                if (expected[i].name != "laDisp") QCOMPARE(w.text(expected[i].name), memory.text(expected[i].name));
            }
            if (kind == ComponentKind::Label && !expected[i].focusControl.empty())
                QCOMPARE(static_cast<QLabel*>(widget)->buddy()->objectName().toStdString(), expected[i].focusControl);
        }
        // Names are found without regard to letter case; unknown names are a wiring fault.
        QVERIFY(w.findComponent("EDnome_supporto").has_value());
        QVERIFY(!w.findComponent("edNOME").has_value());
        QVERIFY_THROWS_EXCEPTION(AssertionFailure, w.text("edNOME"));
        QVERIFY_THROWS_EXCEPTION(AssertionFailure, w.date("edMittente"));

        // The limits restrict typing; a text the program sets is kept whole.
        for (const auto& [name, limit] : {std::pair{"edMittente", 10}, std::pair{"edNOME_SUPPORTO", 20},
                                          std::pair{"edCC_ORDINANTE", 20}, std::pair{"edConto_Tesoreria", 7}}) {
            auto* edit = find<QLineEdit>(name);
            edit->clear();
            QTest::keyClicks(edit, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
            QCOMPARE(edit->text().size(), limit);
        }
        w.setText("edConto_Tesoreria", "123456789");
        QCOMPARE(w.text("edConto_Tesoreria"), std::string("123456789"));
        auto* treasury = find<QLineEdit>("edConto_Tesoreria");
        treasury->setFocus(Qt::OtherFocusReason);
        treasury->end(false);
        QTest::keyClick(treasury, Qt::Key_0);  // no longer than it is
        QCOMPARE(treasury->text(), QStringLiteral("123456789"));
        QTest::keyClick(treasury, Qt::Key_Backspace);
        QTest::keyClick(treasury, Qt::Key_Backspace);
        QTest::keyClick(treasury, Qt::Key_Backspace);
        QTest::keyClicks(treasury, "xyz");  // shortened, it takes typing up to the limit again
        QCOMPARE(treasury->text(), QStringLiteral("123456x"));
        QVERIFY(find<QLabel>("laDisp")->font().bold());
        QVERIFY(find<QLabel>("Label9")->font().bold());

        QCOMPARE(w.size(), QSize(934, 480));
        QCOMPARE(find<QFrame>("pnlTesta")->height(), 121);
        QCOMPARE(find<QFrame>("Panel1")->height(), 41);
        QVERIFY(!find<QPushButton>("buLog")->isVisible());
        QVERIFY(!find<QPushButton>("buLog")->isEnabled());
        QVERIFY(!w.isVisible("buLog"));
        QVERIFY(find<QComboBox>("cbBanche")->isEditable() == false);

        // Tab order of the header.
        find<QComboBox>("cbBanche")->setFocus(Qt::OtherFocusReason);
        QStringList visited{QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString()};
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* f = QApplication::focusWidget();
            while (f && f->objectName().isEmpty()) f = f->parentWidget();
            visited << (f ? f->objectName() : QString());
        }
        // Banca Alfa hides the treasury account, execution and value dates.
        QCOMPARE(visited, QStringList({"cbBanche", "edMittente", "edNOME_SUPPORTO", "edCC_ORDINANTE",
                                       "deData_Creazione", "deDATA_SCADENZA", "cbBancaFile", "dbgDisp", "Button2",
                                       "btnChiudi"}));
    }

    // First run: the catalogue fills the list, the bank follows the ordering
    // ABI, the header and the grid show the dispositions the exclusion leaves.
    void startUpFillsTheWindow() {
        ExportWindow& w = start();
        QVERIFY(user_->boxes.empty());
        QCOMPARE(w.windowTitle(),
                 QString::fromStdString("Creazione file per la banca v" + TfmPzExport_Banche::ProgramVersion()));
        auto* banks = find<QComboBox>("cbBanche");
        QCOMPARE(banks->count(), 2);
        QCOMPARE(banks->itemText(1), QStringLiteral("Banca Beta"));
        QCOMPARE(banks->currentText(), QStringLiteral("Banca Alfa"));
        QCOMPARE(textOf("edCC_ORDINANTE"), QStringLiteral("CC-ORD-FIRST"));
        QCOMPARE(textOf("edMittente"), QString());
        const int year = decodeDate(today()).year;
        QCOMPARE(find<DateEdit>("deDATA_SCADENZA")->lineEdit()->text(), QStringLiteral("31/12/%1").arg(year));
        QCOMPARE(w.date("deData_Creazione"), today());
        QCOMPARE(fileEdit()->text(), QString::fromStdString(bankFolder() + "/" + todayStamp() + ".Txt"));
        QVERIFY(directoryExists(bankFolder()));
        QCOMPARE(find<QLabel>("laDisp")->text(), QStringLiteral("3"));

        // The grid: titles, widths, the rows the exclusion leaves, cp1252 text shown.
        auto* model = grid()->model();
        QCOMPARE(model->columnCount(), 12);
        const QStringList titles = {"Destinario", "Importo in cent.", "Mod. Pag.", "ABI", "CAB", "C/C", "CIN",
                                    "Cod. fisc,", "Indirizzo", "CAP", "Comune", "Banca"};
        // Widths scaled to the font by one factor, narrow columns widened so that
        // every title and a typical value fit.
        const int designed[] = {276, 84, 56, 48, 48, 92, 24, 64, 300, 40, 200, 300};
        const QStringList samples = {"BIANCHI MARIA GIOVANNA", "1234567", "1", "03069", "01600", "000012345678", "X",
                                     "BNCMGV80A41H501W", "VIA GIUSEPPE GARIBALDI 123", "00100",
                                     "SAN GIOVANNI IN PERSICETO", "BANCA POPOLARE DI SONDRIO"};
        const QFontMetrics cells = grid()->fontMetrics();
        const QFontMetrics header(grid()->horizontalHeader()->font());
        const double factor = std::max(1.0, cells.averageCharWidth() / 5.0);
        QVERIFY(std::abs(grid()->columnWidth(0) / 276.0 - grid()->columnWidth(8) / 300.0) < 0.01);  // proportions kept
        for (int c = 0; c < 12; ++c) {
            QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), titles[c]);
            const int width = grid()->columnWidth(c);
            QVERIFY2(width > header.horizontalAdvance(titles[c]) + 8, qPrintable(titles[c]));
            QVERIFY2(width > cells.horizontalAdvance(samples[c]) + 8, qPrintable(samples[c]));
            QVERIFY2(width >= designed[c] * factor - 1, qPrintable(titles[c]));
        }

        // The file field shows the whole file name, the whole path in its tooltip.
        const QString longName = QString::fromStdString(bankFolder() + "/STIPENDI DICEMBRE 20" + todayStamp() + ".Txt");
        fileEdit()->setText(longName);
        QCOMPARE(fileEdit()->toolTip(), longName);
        QCOMPARE(fileEdit()->cursorPosition(), longName.size());
        QVERIFY(fileEdit()->width() > fileEdit()->fontMetrics().horizontalAdvance(longName.section('/', -1)));
        QCOMPARE(grid()->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        QVERIFY(grid()->showGrid());
        QVERIFY(grid()->verticalHeader()->isVisible());
        QCOMPARE(grid()->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(gridRows(), 3);
        QCOMPARE(cell(0, 0), QStringLiteral("Rossi Mario"));
        QCOMPARE(cell(1, 0), QString::fromUtf8("Nicol\xC3\xB2 Esposito"));
        QCOMPARE(cell(2, 0), QStringLiteral("Neri Luca"));
        QCOMPARE(cell(1, 1), QStringLiteral("20002"));
        QCOMPARE(cell(1, 5), QStringLiteral("000000000022"));
        QCOMPARE(cell(2, 11), QString());  // no BANCA_DESCR_DEST in the data
        QCOMPARE(gridCurrentRow(), 0);
        QCOMPARE(model->headerData(0, Qt::Vertical).toString().isEmpty(), false);
        QCOMPARE(model->headerData(1, Qt::Vertical).toString(), QString());
        // Reading the settings writes nothing.
        QVERIFY(!fileExists(iniPath()));

        // A row picked in the grid becomes the table's current row.
        grid()->selectRow(2);
        QCOMPARE(window_->form().state().cdsDisp.recNo(), 2);
        QCOMPARE(window_->form().state().cdsDisp.fieldByName("DESC_DESTINATARIO").asText(), std::string("Neri Luca"));
        QCOMPARE(model->headerData(2, Qt::Vertical).toString().isEmpty(), false);
        QCOMPARE(model->headerData(0, Qt::Vertical).toString(), QString());
    }

    // Choosing another bank shows the header controls its rules read, with their labels.
    void choosingABankSwitchesHeaderControls() {
        start();
        auto shown = [this](const char* name) { return find<QWidget>(name)->isVisible(); };
        QVERIFY(shown("edNOME_SUPPORTO") && shown("laNuomeSupporto"));
        QVERIFY(!shown("edConto_Tesoreria") && !shown("Label10"));
        QVERIFY(!shown("deData_Valuta") && !shown("Label6"));
        QVERIFY(shown("cbBancaFile") && shown("Label7") && shown("Label1"));

        auto* banks = find<QComboBox>("cbBanche");
        banks->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(banks, Qt::Key_Down);  // the user picks the next bank
        QCOMPARE(banks->currentText(), QStringLiteral("Banca Beta"));
        QCOMPARE(window_->form().state().cdsTracciati.fieldByName("CodTracciato").asText(), std::string("BETA"));
        QVERIFY(!shown("edNOME_SUPPORTO") && !shown("laNuomeSupporto"));
        QVERIFY(!shown("edCC_ORDINANTE") && !shown("Label11"));
        QVERIFY(shown("edConto_Tesoreria") && shown("Label10"));
        QVERIFY(shown("deData_Valuta") && shown("Label6"));
        QVERIFY(shown("deData_Disposizione") && shown("Label5"));
        QVERIFY(!shown("deData_Creazione") && !shown("Label3"));
        QCOMPARE(gridRows(), 3);
        QVERIFY(user_->boxes.empty());

        // Setting the selection from the logic is no choice by the user.
        window_->setSelectedIndex("cbBanche", 0);
        QCOMPARE(window_->form().state().cdsTracciati.fieldByName("CodTracciato").asText(), std::string("BETA"));
        window_->setSelectedIndex("cbBanche", 7);
        QCOMPARE(window_->selectedIndex("cbBanche"), -1);
    }

    // Leaving the support name (or the account) for another control rebuilds the file name.
    void leavingTheSupportNameRebuildsTheFileName() {
        start();
        auto* support = find<QLineEdit>("edNOME_SUPPORTO");
        support->setFocus(Qt::OtherFocusReason);
        QVERIFY(support->hasFocus());
        QTest::keyClicks(support, "A/B:C");
        QCOMPARE(fileEdit()->text(), QString::fromStdString(bankFolder() + "/" + todayStamp() + ".Txt"));
        QTest::keyClick(support, Qt::Key_Tab);
        QVERIFY(find<QLineEdit>("edCC_ORDINANTE")->hasFocus());
        QCOMPARE(fileEdit()->text(), QString::fromStdString(bankFolder() + "/ABC" + todayStamp() + ".Txt"));

        // Leaving the account also rebuilds it: the typed file part goes, the folder stays.
        fileEdit()->setText(QStringLiteral("/elsewhere/mine.txt"));
        support->setText(QStringLiteral("Stip?endi"));
        find<QLineEdit>("edCC_ORDINANTE")->setFocus(Qt::OtherFocusReason);
        find<QLineEdit>("edMittente")->setFocus(Qt::MouseFocusReason);
        QCOMPARE(fileEdit()->text(), QString::fromStdString("/elsewhere/Stipendi" + todayStamp() + ".Txt"));
    }

    // Unticking the box shows every disposition without a reload; ticking it hides them again.
    void exclusionBoxFiltersWithoutReload() {
        start();
        find<QLineEdit>("edMittente")->setText(QStringLiteral("LATER"));
        click("chEscludiMPG");
        QVERIFY(!find<QCheckBox>("chEscludiMPG")->isChecked());
        QCOMPARE(find<QLabel>("laDisp")->text(), QStringLiteral("4"));
        QCOMPARE(gridRows(), 4);
        QCOMPARE(cell(2, 0), QStringLiteral("Verdi Anna"));
        Table& disp = window_->form().state().cdsDisp;
        disp.first();
        QCOMPARE(disp.fieldByName("Mittente").asText(), std::string());  // no reload happened
        click("chEscludiMPG");
        QCOMPARE(find<QLabel>("laDisp")->text(), QStringLiteral("3"));
        QCOMPARE(gridRows(), 3);
        QCOMPARE(cell(2, 0), QStringLiteral("Neri Luca"));
    }

    // OK writes the bank file, offers to open its folder, saves the settings and closes.
    void okWritesTheFileSavesAndCloses() {
        start();
        find<QLineEdit>("edMittente")->setText(QStringLiteral("SIA01"));
        const std::string target = bankFolder() + "/" + todayStamp() + ".Txt";
        writeFileAtomically(target, "old\r\n");  // an earlier file: the user agrees to replace it
        user_->answers = {true, true, true};
        click("Button2");
        const auto questions = boxTexts(QMessageBox::Warning);
        QCOMPARE(questions.size(), std::size_t(3));
        QCOMPARE(questions[0], QString::fromUtf8("Il file esiste gi\xC3\xA0. Sostituirlo ?"));
        QVERIFY(user_->boxes[0].waitCursor);
        QVERIFY(questions[1].startsWith(QStringLiteral("File prodotto con successo")));
        QVERIFY(questions[1].contains(QString::fromStdString(target)));  // the file is named
        QCOMPARE(questions[2], QStringLiteral("Scrivere ora la Distinta e il Brogliaccio di questo file ?"));
        for (const auto& box : user_->boxes) QCOMPARE(box.title, QStringLiteral("Creazione file per la banca"));
        QVERIFY(boxTexts(QMessageBox::Critical).empty());
        QCOMPARE(readFile(target), std::string("PPSIA01     \r\n"
                                               "110000010001000000000011\r\n"
                                               "110000020002000000000022\r\n"
                                               "110000040004000000000044\r\n"
                                               "EE00005\r\n"));
        // The folder, then the two reports of the file just produced.
        QCOMPARE(opened_, (std::vector<std::string>{bankFolder() + "/",
                                                    reportFolder() + "DISTINTA_" + todayStamp() + ".Txt",
                                                    reportFolder() + "BROGLIACCIO_" + todayStamp() + ".Txt"}));
        QVERIFY(!window_->isVisible());
        IniFile ini(iniPath());
        QCOMPARE(ini.readString("Dati", "Mittente", "?"), std::string("SIA01"));
        QCOMPARE(ini.readString("Dati", "CC_Ordinante", "?"), std::string("CC-ORD-FIRST"));
        QCOMPARE(ini.readString("Dati", "Banca", "?"), std::string("Banca Alfa"));
        QCOMPARE(ini.readString("Dati", "Conto_Tesoreria", "?"), std::string());
    }

    // The next start on the same dispositions brings back the header and the
    // name of the file OK produced, so that the reports made then belong to
    // that file; new dispositions start afresh.
    void theLastProducedFileComesBack() {
        start();
        find<QLineEdit>("edMittente")->setText(QStringLiteral("SIA01"));
        auto* support = find<QLineEdit>("edNOME_SUPPORTO");
        support->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(support, "Dicembre");
        QTest::keyClick(support, Qt::Key_Tab);
        window_->setDate("deData_Creazione", encodeDate(2026, 12, 7));
        const QString produced = fileEdit()->text();
        click("Button2");
        QVERIFY(!window_->isVisible());
        QVERIFY(fileExists(produced.toStdString()));

        start();
        QCOMPARE(textOf("edNOME_SUPPORTO"), QStringLiteral("Dicembre"));
        QCOMPARE(window_->date("deData_Creazione"), encodeDate(2026, 12, 7));
        QCOMPARE(fileEdit()->text(), produced);
        click("Button3");
        QVERIFY(fileExists(reportFolder() + "DISTINTA_Dicembre" + todayStamp() + ".Txt"));

        writeDispositions(dispFolder() + "/Disposizioni.cds", standardPayees());
        start();
        QCOMPARE(textOf("edNOME_SUPPORTO"), QString());
        QCOMPARE(window_->date("deData_Creazione"), today());
        QCOMPARE(fileEdit()->text(), QString::fromStdString(bankFolder() + "/" + todayStamp() + ".Txt"));
    }

    // A validation error is shown, nothing is written, the window stays on the failing row;
    // declining to replace a file stops silently.
    void validationErrorLeavesTheWindowOnTheFailingRow() {
        std::vector<Payee> payees = standardPayees();
        payees[3].account.clear();  // Neri Luca, the third row shown
        writeDispositions(dispFolder() + "/Disposizioni.cds", payees);
        start();
        find<QLineEdit>("edMittente")->setText(QStringLiteral("SIA01"));
        // The grid is brought to the stopping row once, not moved along the build.
        QSignalSpy moves(window_->gridModel(), &DispositionModel::currentRowMoved);
        click("Button2");
        QVERIFY(moves.count() <= 2);
        // The box names the disposition and the payee where the build stopped.
        QCOMPARE(boxTexts(QMessageBox::Critical),
                 std::vector<QString>{QStringLiteral("Disposizione 3 (Neri Luca), record 10, campo CC_DESTINATARIO:\r\n"
                                                     "Campo obbligatorio: CC_DESTINATARIO")});
        QVERIFY(boxTexts(QMessageBox::Warning).empty());
        QVERIFY(window_->isVisible());
        QCOMPARE(gridCurrentRow(), 2);
        QCOMPARE(grid()->model()->headerData(2, Qt::Vertical).toString().isEmpty(), false);
        QCOMPARE(grid()->model()->headerData(0, Qt::Vertical).toString(), QString());
        QVERIFY(!fileExists(bankFolder() + "/" + todayStamp() + ".Txt"));
        QVERIFY(!fileExists(iniPath()));
        QVERIFY(opened_.empty());

        // The reports still work on the current dispositions.
        click("Button1");
        QCOMPARE(boxTexts(QMessageBox::Critical).size(), std::size_t(1));
        QVERIFY(fileExists(reportFolder() + "BROGLIACCIO_" + todayStamp() + ".Txt"));

        // An existing file the user will not replace: no message, nothing written.
        const std::string target = bankFolder() + "/" + todayStamp() + ".Txt";
        writeFileAtomically(target, "keep\r\n");
        user_->answers = {false};
        click("Button2");
        QCOMPARE(boxTexts(QMessageBox::Warning).size(), std::size_t(1));
        QCOMPARE(boxTexts(QMessageBox::Critical).size(), std::size_t(1));
        QCOMPARE(readFile(target), std::string("keep\r\n"));
        QVERIFY(window_->isVisible());
    }

    // With no bank chosen every command that needs one says so; once a bank is
    // chosen, Controlla says when nothing fails.
    void commandsWithoutBankAskForOne() {
        saveSetting("Banca", "Banca Sconosciuta");
        saveSetting("Mittente", "SIA-0123456789");  // longer than the edit's typing limit
        start();
        QCOMPARE(window_->text("edMittente"), std::string("SIA-0123456789"));
        QCOMPARE(find<QComboBox>("cbBanche")->currentIndex(), -1);
        QCOMPARE(gridRows(), 0);
        QCOMPARE(find<QLabel>("laDisp")->text(), QStringLiteral("0"));
        for (const char* command : {"Button2", "Button3", "Button1", "btnControlla"}) click(command);
        QCOMPARE(boxTexts(QMessageBox::Critical), std::vector<QString>(4, QStringLiteral("Scegliere la banca.")));
        QVERIFY(window_->isVisible());
        QVERIFY(window_->findingList() == nullptr);
        QCOMPARE(IniFile(iniPath()).readString("Dati", "Banca", ""), std::string("Banca Sconosciuta"));
        QVERIFY(opened_.empty());

        auto* banks = find<QComboBox>("cbBanche");
        banks->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(banks, Qt::Key_Down);
        click("btnControlla");
        QVERIFY(window_->findingList() != nullptr);
        QVERIFY(window_->findingList()->summary()->text().startsWith(QStringLiteral("Nessun errore")));
        QCOMPARE(boxTexts(QMessageBox::Critical).size(), std::size_t(4));
    }

    // Controlla lists every failure, failures first, and writes nothing, in a
    // panel beside the grid; the grid keeps its row; a double click selects the
    // disposition in the grid; the list is saved as text; Esc after a failed
    // save closes the list only.
    void checkListsEveryFailure() {
        std::vector<Payee> payees = standardPayees();
        payees[0].account.clear();  // Rossi Mario, disposition 1
        payees[3].account.clear();  // Neri Luca, disposition 3
        writeDispositions(dispFolder() + "/Disposizioni.cds", payees);
        start();
        grid()->selectRow(1);
        click("btnControlla");
        QCOMPARE(gridCurrentRow(), 1);
        QVERIFY(user_->boxes.empty());
        FindingListPanel* list = window_->findingList();
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->window(), static_cast<QWidget*>(window_.get()));
        // Beside the grid, both in full view.
        const QRect gridArea(grid()->mapTo(window_.get(), QPoint()), grid()->size());
        const QRect listArea(list->mapTo(window_.get(), QPoint()), list->size());
        QVERIFY(!gridArea.intersects(listArea));
        QVERIFY(listArea.left() >= gridArea.right());
        QVERIFY(grid()->isVisible() && gridArea.width() > 200);
        auto at = [list](int r, int c) { return list->cellText(r, c); };
        // The missing sender (a header value: once, under its caption) and both
        // missing accounts, before every notice.
        QCOMPARE(at(0, 0), QStringLiteral("Errore"));
        QCOMPARE(at(0, 3), QString());
        QCOMPARE(at(0, 4), QStringLiteral("Codice SIA"));
        QCOMPARE(at(0, 5), QStringLiteral("Campo obbligatorio: Codice SIA"));
        QCOMPARE(at(1, 1), QStringLiteral("1"));
        QCOMPARE(at(1, 2), QStringLiteral("Rossi Mario"));
        QCOMPARE(at(1, 4), QStringLiteral("CC_DESTINATARIO"));
        QCOMPARE(at(2, 1), QStringLiteral("3"));
        QCOMPARE(at(2, 2), QStringLiteral("Neri Luca"));
        QVERIFY(list->rowCount() > 3);
        for (int r = 3; r < list->rowCount(); ++r) QVERIFY(at(r, 0) != QStringLiteral("Errore"));
        QVERIFY(list->summary()->text().startsWith(QStringLiteral("Errori: 3")));
        // The message column has the room the others leave.
        QTableView* rows = list->table();
        const int last = rows->model()->columnCount() - 1;
        for (int c = 0; c < last; ++c) QVERIFY(rows->columnWidth(last) >= rows->columnWidth(c));
        QVERIFY(!fileExists(bankFolder() + "/" + todayStamp() + ".Txt"));
        QVERIFY(!directoryExists(reportFolder()));
        QVERIFY(opened_.empty());

        const QRect cell = rows->visualRect(rows->model()->index(2, 0));
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(rows->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(gridCurrentRow(), 2);
        QCOMPARE(window_->form().state().cdsDisp.fieldByName("DESC_DESTINATARIO").asText(), std::string("Neri Luca"));

        std::string saved = root_ + "/controllo.txt";
        user_->onFileDialog = [&](QFileDialog* dialog) {
            dialog->selectFile(QString::fromStdString(saved));
            static_cast<QDialog*>(dialog)->accept();
        };
        list->saveButton()->click();
        const std::string text = readFile(saved);
        QVERIFY2(text.find("Disposizione 3 (Neri Luca), record 10, campo CC_DESTINATARIO: ") != std::string::npos,
                 text.c_str());
        QVERIFY(text.find("Errori: 3") != std::string::npos);

        // A save that fails: the error, then the focus back in the list, where Esc closes the list only.
        saved = root_ + "/no-such-folder/controllo.txt";
        list->saveButton()->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(list->saveButton(), Qt::Key_Return);
        QTRY_COMPARE(boxTexts(QMessageBox::Critical).size(), std::size_t(1));
        QTRY_VERIFY(list->isAncestorOf(QApplication::focusWidget()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(window_->isVisible());
        QVERIFY(window_->findingList() == nullptr);
        QCOMPARE(window_->width(), 934);
    }

    // Storico (Alt+I) lists the file OK produced; a double click shows its
    // payments, whose button saves the file again, byte for byte.
    void storicoSavesAProducedFileAgain() {
        start();
        find<QLineEdit>("edMittente")->setText(QStringLiteral("SIA01"));
        const std::string produced = bankFolder() + "/" + todayStamp() + ".Txt";
        user_->answers = {false, false};
        click("Button2");
        QVERIFY(fileExists(produced));

        start();
        auto* close = find<QPushButton>("btnChiudi");
        close->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(close, Qt::Key_I, Qt::AltModifier);  // a shortcut clicks a little later
        QTRY_VERIFY(window_->findingList() != nullptr);
        FindingListPanel* list = window_->findingList();
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(list->cellText(0, 2), QStringLiteral("Banca Alfa"));
        QCOMPARE(list->cellText(0, 5), QString::fromStdString(produced));
        QVERIFY(!list->actionButton()->isVisible());
        QTableView* rows = list->table();
        const QPoint first = rows->visualRect(rows->model()->index(0, 0)).center();
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseDClick(rows->viewport(), Qt::LeftButton, {}, first);
        QCOMPARE(list->rowCount(), 3);
        QVERIFY(list->actionButton()->isVisible());

        const std::string again = root_ + "/di nuovo.Txt";
        user_->onFileDialog = [&](QFileDialog* dialog) {
            dialog->selectFile(QString::fromStdString(again));
            static_cast<QDialog*>(dialog)->accept();
        };
        list->actionButton()->click();
        QTRY_COMPARE(boxTexts(QMessageBox::Information).size(), std::size_t(1));
        QVERIFY(readFile(again) == readFile(produced));
        QVERIFY(boxTexts(QMessageBox::Critical).empty());
    }

    // A Disposizioni.cds replaced while the window is open is said before the
    // commands that read it; Yes reads it again, No goes on with the old rows
    // and is not asked again for the same file.
    void changedDispositionsAreOfferedForReading() {
        start();
        std::vector<Payee> payees = standardPayees();
        payees.push_back({"Gialli Carla", 1, 50005, "000000000055"});
        writeDispositions(dispFolder() + "/Disposizioni.cds", payees);
        user_->answers = {true};
        click("btnControlla");
        const QString changed = QString::fromUtf8("\xC3\xA8 cambiato dopo la lettura");
        QCOMPARE(boxTexts(QMessageBox::Warning).size(), std::size_t(1));
        QVERIFY(boxTexts(QMessageBox::Warning)[0].contains(changed));
        QCOMPARE(gridRows(), 4);
        QCOMPARE(cell(3, 0), QStringLiteral("Gialli Carla"));

        writeDispositions(dispFolder() + "/Disposizioni.cds", standardPayees());
        user_->answers = {false};
        click("Button1");
        QCOMPARE(boxTexts(QMessageBox::Warning).size(), std::size_t(2));
        QVERIFY(readFile(reportFolder() + "BROGLIACCIO_" + todayStamp() + ".Txt").find("Gialli Carla") !=
                std::string::npos);
        click("Button3");
        QCOMPARE(boxTexts(QMessageBox::Warning).size(), std::size_t(2));
        QVERIFY(boxTexts(QMessageBox::Critical).empty());
    }

    // Esc anywhere closes the window without saving the header; the window's
    // place and size are kept for the next start.
    void escapeClosesWithoutSaving() {
        start();
        find<QLineEdit>("edMittente")->setText(QStringLiteral("SIA01"));
        window_->resize(1000, 520);
        window_->move(30, 40);
        const QPoint at = window_->pos();
        grid()->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(grid(), Qt::Key_Escape);
        QVERIFY(!window_->isVisible());
        QCOMPARE(IniFile(iniPath()).readString("Dati", "Mittente", "?"), std::string("?"));
        QVERIFY(user_->boxes.empty());

        start();
        QCOMPARE(window_->size(), QSize(1000, 520));
        QCOMPARE(window_->pos(), at);
        QCOMPARE(textOf("edMittente"), QString());
    }

    // Esc on an open list or calendar closes only the pop-up; Esc on the window presses Chiudi.
    void escapeOnAPopUpClosesOnlyThePopUp() {
        start();
        auto* banks = find<QComboBox>("cbBanche");
        banks->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(banks, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        QTest::keyClick(QApplication::activePopupWidget()->windowHandle(), Qt::Key_Escape);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QVERIFY(window_->isVisible());

        auto* date = find<DateEdit>("deDATA_SCADENZA");
        QTest::mouseClick(date->button(), Qt::LeftButton);
        QVERIFY(date->popup()->isVisible());
        QWidget* inCalendar = QApplication::focusWidget();
        QVERIFY(inCalendar && date->calendar()->isAncestorOf(inCalendar));
        QTest::keyClick(date->popup()->windowHandle(), Qt::Key_Escape);
        QTRY_VERIFY(!date->popup()->isVisible());
        QVERIFY(window_->isVisible());
        QVERIFY(user_->boxes.empty());

        QTest::keyClick(find<QLineEdit>("edMittente"), Qt::Key_Escape);
        QVERIFY(!window_->isVisible());
    }

    // Dates typed in the usual forms are read whatever the separator; a text that
    // is no date is refused on leaving (the focus goes back) and stops a command.
    void typedDatesAreReadOrRefused() {
        start();
        auto* expiry = find<DateEdit>("deDATA_SCADENZA");
        for (const char* typed : {"09122026", "9/12/26", "09-12-2026", "09.12.2026"}) {
            expiry->lineEdit()->setFocus(Qt::OtherFocusReason);
            expiry->lineEdit()->clear();
            QTest::keyClicks(expiry->lineEdit(), typed);
            QTest::keyClick(expiry->lineEdit(), Qt::Key_Tab);
            QTRY_COMPARE(expiry->lineEdit()->text(), QStringLiteral("09/12/2026"));
            QCOMPARE(window_->date("deDATA_SCADENZA"), encodeDate(2026, 12, 9));
        }
        QVERIFY(user_->boxes.empty());

        const QString refused = QString::fromUtf8("'31/02/2026' non \xC3\xA8 una data valida");
        expiry->lineEdit()->setFocus(Qt::OtherFocusReason);
        expiry->lineEdit()->clear();
        QTest::keyClicks(expiry->lineEdit(), "31/02/2026");
        QTest::keyClick(expiry->lineEdit(), Qt::Key_Tab);
        QTRY_COMPARE(boxTexts(QMessageBox::Critical), std::vector<QString>{refused});
        QTRY_COMPARE(window_->focusWidget(), static_cast<QWidget*>(expiry->lineEdit()));

        // A command never reads it as "no date".
        find<QLineEdit>("edMittente")->setText(QStringLiteral("SIA01"));
        click("Button2");
        QCOMPARE(boxTexts(QMessageBox::Critical), (std::vector<QString>{refused, refused}));
        QVERIFY(!fileExists(bankFolder() + "/" + todayStamp() + ".Txt"));

        // Empty is still no date, without a word.
        expiry->lineEdit()->clear();
        QTest::keyClick(expiry->lineEdit(), Qt::Key_Tab);
        QCOMPARE(window_->date("deDATA_SCADENZA"), 0);
        QTest::qWait(20);
        QCOMPARE(user_->boxes.size(), std::size_t(2));
    }

    // Chiudi pressed while a date edit holds an impossible date closes the
    // window; no box of the date is left behind.
    void closingWithAnImpossibleDateLeavesNothing() {
        start();
        QSignalSpy closed(window_.get(), &ExportWindow::closed);
        auto* date = find<DateEdit>("deData_Creazione");
        date->lineEdit()->setFocus(Qt::OtherFocusReason);
        date->lineEdit()->clear();
        QTest::keyClicks(date->lineEdit(), "31/02/2026");
        click("btnChiudi");
        QTest::qWait(50);
        QVERIFY(!window_->isVisible());
        QCOMPARE(closed.count(), 1);
        QVERIFY(user_->boxes.empty());
    }

    // The keyboard: Enter presses the focused button, Alt and a letter reach
    // the controls; the bank list fits its names and the file field widens
    // with the window.
    void keyboardAndRoomForTexts() {
        start();
        auto* summary = find<QPushButton>("Button3");
        summary->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(summary, Qt::Key_Return);
        QVERIFY(fileExists(reportFolder() + "DISTINTA_" + todayStamp() + ".Txt"));
        QTest::keyClick(summary, Qt::Key_N, Qt::AltModifier);
        QVERIFY(find<QLineEdit>("edNOME_SUPPORTO")->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
        QVERIFY(find<QLineEdit>("edMittente")->hasFocus());
        QCOMPARE(window_->text("Button2"), std::string("OK"));  // the logic reads the caption without its '&'

        const QString longest = QStringLiteral("Banca Demo Nord - SEPA XML");
        window_->addItem("cbBanche", longest.toStdString());
        auto* banks = find<QComboBox>("cbBanche");
        QTRY_VERIFY(banks->width() > banks->fontMetrics().horizontalAdvance(longest));
        const int fileWidth = find<BrowseEdit>("cbBancaFile")->width();
        window_->resize(window_->width() + 300, window_->height());
        QTRY_VERIFY(find<BrowseEdit>("cbBancaFile")->width() >= fileWidth + 200);
    }

    // A second start on the same main folder finds the first, asks it to come
    // forward and goes; another main folder has a window of its own.
    void oneWindowPerMainFolder() {
        SingleInstance first(mainFolder());
        QVERIFY(!first.otherRunning());
        QSignalSpy forward(&first, &SingleInstance::comeForwardRequested);
        {
            SingleInstance second(mainFolder());
            QVERIFY(second.otherRunning());
        }
        QTRY_COMPARE(forward.count(), 1);
        SingleInstance elsewhere(root_ + "/other/");
        QVERIFY(!elsewhere.otherRunning());
    }

    // A press on a calendar button or on the file's ellipsis leaves the support name.
    void buttonsWithoutFocusLeaveTheSupportName() {
        start();
        auto* support = find<QLineEdit>("edNOME_SUPPORTO");
        support->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(support, "Stipendi");
        auto* created = find<DateEdit>("deData_Creazione");
        QTest::mouseClick(created->button(), Qt::LeftButton);
        QCOMPARE(fileEdit()->text(), QString::fromStdString(bankFolder() + "/Stipendi" + todayStamp() + ".Txt"));
        created->popup()->hide();

        support->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(support, "Dic");
        QStringList seeds;
        user_->onFileDialog = [&](QFileDialog* dialog) {
            seeds << dialog->selectedFiles().value(0);
            dialog->reject();
        };
        QTest::mouseClick(find<BrowseEdit>("cbBancaFile")->button(), Qt::LeftButton);
        QTRY_COMPARE(seeds, QStringList{QString::fromStdString(bankFolder() + "/StipendiDic" + todayStamp() + ".Txt")});
    }

    // Started without the folder argument, the window asks for the dispositions
    // folder and, where the working folder has no catalogue, for the layouts
    // folder; the next start opens on the last choice and asks for layouts no more.
    void withoutArgumentTheFoldersAreAskedFor() {
        fs::current_path(home());  // no Tracciati.xml here
        QStringList titles, openedOn;
        user_->onFileDialog = [&](QFileDialog* dialog) {
            titles << dialog->windowTitle();
            openedOn << dialog->directory().absolutePath();
            const std::string folder = dialog->windowTitle().contains(QStringLiteral("tracciati")) ? work() : dispFolder();
            dialog->setDirectory(QString::fromStdString(folder));
            static_cast<QDialog*>(dialog)->accept();
        };
        start(false);
        QCOMPARE(titles, QStringList({"Cartella di Disposizioni.cds", "Cartella dei tracciati (Tracciati.xml)"}));
        QCOMPARE(openedOn.value(0), QString::fromStdString(home()));
        QVERIFY(boxTexts(QMessageBox::Critical).empty());
        QCOMPARE(gridRows(), 3);
        IniFile ini(iniPath());
        QCOMPARE(ini.readString("Dati", "Cartella_Disposizioni", ""), dispFolder());
        QCOMPARE(ini.readString("Dati", "Cartella_Tracciati", ""), work());

        window_.reset();
        titles.clear();
        openedOn.clear();
        start(false);
        QCOMPARE(titles, QStringList{"Cartella di Disposizioni.cds"});
        QCOMPARE(openedOn, QStringList{QString::fromStdString(dispFolder())});
        QCOMPARE(gridRows(), 3);
    }

    // A folder without Disposizioni.cds is refused when chosen; Annulla at the
    // first start says what the program needs and offers the choice again;
    // declined, the window closes.
    void aFolderWithoutDispositionsIsRefused() {
        int dialogs = 0;
        user_->onFileDialog = [&](QFileDialog* dialog) {
            if (++dialogs == 1) {
                dialog->setDirectory(QString::fromStdString(home()));  // no Disposizioni.cds there
                static_cast<QDialog*>(dialog)->accept();
            } else {
                dialog->reject();
            }
        };
        user_->answers = {true, false};  // choose again: yes, then no
        start(false);
        QCOMPARE(dialogs, 3);
        QCOMPARE(boxTexts(QMessageBox::Critical),
                 std::vector<QString>{QString::fromStdString("La cartella " + home() + " non contiene Disposizioni.cds.")});
        const auto questions = boxTexts(QMessageBox::Warning);
        QCOMPARE(questions.size(), std::size_t(2));
        QVERIFY(questions[0].contains(QStringLiteral("Disposizioni.cds")));
        QVERIFY(questions[0].endsWith(QStringLiteral("Scegliere la cartella ?")));
        QVERIFY(!window_->isVisible());
        QVERIFY(!IniFile(iniPath()).valueExists("Dati", "Cartella_Disposizioni"));
    }

    // Distinta and Brogliaccio write their files and hand them to the desktop;
    // the grid is not refreshed row by row while they walk the dispositions.
    void reportsWriteTheirFiles() {
        start();
        QSignalSpy resets(grid()->model(), &QAbstractItemModel::modelReset);
        QSignalSpy moves(window_->gridModel(), &DispositionModel::currentRowMoved);
        click("Button3");
        QVERIFY(user_->boxes.empty());
        const std::string distinta = reportFolder() + "DISTINTA_" + todayStamp() + ".Txt";
        QVERIFY(fileExists(distinta));
        QVERIFY(readFile(distinta).find("BONIFICO") != std::string::npos);
        QCOMPARE(resets.count(), 1);  // one refresh when the views resume
        QVERIFY(moves.count() <= 2);
        QCOMPARE(gridCurrentRow(), 0);

        click("Button1");
        const std::string brogliaccio = reportFolder() + "BROGLIACCIO_" + todayStamp() + ".Txt";
        QVERIFY(fileExists(brogliaccio));
        QVERIFY(readFile(brogliaccio).find("Neri Luca") != std::string::npos);
        QCOMPARE(opened_, (std::vector<std::string>{distinta, brogliaccio}));
        QVERIFY(window_->isVisible());
        QVERIFY(user_->boxes.empty());
    }

    // A report the desktop cannot open: the window says where it was written,
    // whether xdg-open fails or is missing.
    void unopenedReportSaysWhereItIs() {
        start();
        window_->setDesktopOpener({});
        const std::string failing = root_ + "/failing", none = root_ + "/none";
        fs::create_directories(failing);
        fs::create_directories(none);
        writeFileAtomically(failing + "/xdg-open", "#!/bin/sh\nexit 4\n");
        fs::permissions(failing + "/xdg-open", fs::perms::owner_all);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString(failing));
        click("Button3");
        QTRY_COMPARE(boxTexts(QMessageBox::Information).size(), std::size_t(1));
        qputenv("PATH", QByteArray::fromStdString(none));
        click("Button1");
        QTRY_COMPARE(boxTexts(QMessageBox::Information).size(), std::size_t(2));
        window_->openWithDesktop(bankFolder() + "/");  // the folder offered after OK
        QTRY_COMPARE(boxTexts(QMessageBox::Information).size(), std::size_t(3));
        qputenv("PATH", path);
        const auto shown = boxTexts(QMessageBox::Information);
        QVERIFY(shown[2].startsWith(QStringLiteral("Impossibile aprire la cartella")));
        QVERIFY(shown[2].endsWith(QString::fromStdString(bankFolder() + "/")));
        QVERIFY(shown[0].endsWith(QString::fromStdString(reportFolder() + "DISTINTA_" + todayStamp() + ".Txt")));
        QVERIFY(shown[1].endsWith(QString::fromStdString(reportFolder() + "BROGLIACCIO_" + todayStamp() + ".Txt")));
        QVERIFY(boxTexts(QMessageBox::Critical).empty());
    }

    // On the developer's machine the Log button shows and logs the named bank file.
    void logButtonOnTheDeveloperMachine() {
        forceDirectories(home() + "/pzt-retribuzioni/src/doz");
        writeFileAtomically(home() + "/pzt-retribuzioni/src/doz/PztExport_Banche", "");
        start();
        auto* log = find<QPushButton>("buLog");
        QVERIFY(log->isVisible());
        QVERIFY(log->isEnabled());
        const std::string bankFile = root_ + "/STIPENDI.Txt";
        writeFileAtomically(bankFile, "PCSIA01     \r\nEF00002\r\n");  // record type in 1-2
        fileEdit()->setText(QString::fromStdString(bankFile));
        click("buLog");
        QVERIFY(user_->boxes.empty());
        const std::string logged = readFile(mainFolder() + "var/log/Pzt/doz/STIPENDI.Txt");
        QVERIFY2(logged.find("Mittente=\"SIA01     \"") != std::string::npos, logged.c_str());
    }

    // The ellipsis runs the save dialog seeded with the current name.
    void fileButtonRunsTheSaveDialog() {
        start();
        const QString initial = fileEdit()->text();
        const QString chosen = QString::fromStdString(root_ + "/altro.txt");
        QStringList seeds;
        bool confirmsOverwrite = true;
        user_->onFileDialog = [&](QFileDialog* dialog) {
            seeds << dialog->selectedFiles().value(0);
            confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
            dialog->selectFile(chosen);
            static_cast<QDialog*>(dialog)->accept();
        };
        find<BrowseEdit>("cbBancaFile")->button()->click();
        QCOMPARE(seeds, QStringList{initial});
        QVERIFY(!confirmsOverwrite);
        QCOMPARE(fileEdit()->text(), chosen);

        user_->onFileDialog = [](QFileDialog* dialog) { dialog->reject(); };
        find<BrowseEdit>("cbBancaFile")->button()->click();
        QCOMPARE(fileEdit()->text(), chosen);
    }

    // The toolkit's own texts are Italian: standard buttons, the calendar.
    void toolkitTextsAreItalian() {
        QMessageBox box(QMessageBox::Warning, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QString::fromUtf8("S\xC3\xAC"));
        DateEdit edit;
        QCOMPARE(edit.calendar()->locale().language(), QLocale::Italian);
        QCOMPARE(edit.calendar()->locale().monthName(12), QStringLiteral("dicembre"));
    }

    // The date edits: empty is the zero date, dd/mm/yyyy with the regional separator,
    // and the calendar sets the chosen day.
    void dateEditsCanBeEmpty() {
        DateEdit edit;
        QCOMPARE(edit.date(), 0);
        edit.setDate(encodeDate(2024, 3, 5));
        QCOMPARE(edit.lineEdit()->text(), QStringLiteral("05/03/2024"));
        edit.setDate(0);
        QCOMPARE(edit.lineEdit()->text(), QString());
        edit.lineEdit()->setText(QStringLiteral("7/1/24"));
        QCOMPARE(edit.date(), encodeDate(2024, 1, 7));
        edit.lineEdit()->setText(QStringLiteral("31/02/2024"));
        QCOMPARE(edit.date(), 0);
        edit.lineEdit()->setText(QStringLiteral("2024"));
        QCOMPARE(edit.date(), 0);
        regional().dateSeparator = '.';
        edit.setDate(encodeDate(2023, 12, 31));
        QCOMPARE(edit.lineEdit()->text(), QStringLiteral("31.12.2023"));
        QCOMPARE(edit.date(), encodeDate(2023, 12, 31));

        edit.show();
        edit.showCalendar();
        QVERIFY(edit.popup()->isVisible());
        QCOMPARE(edit.calendar()->selectedDate(), QDate(2023, 12, 31));
        emit edit.calendar()->clicked(QDate(2025, 6, 30));
        QVERIFY(!edit.popup()->isVisible());
        QCOMPARE(edit.date(), encodeDate(2025, 6, 30));
    }
};

int runWindowTests(int argc, char** argv) {
    ExportWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowTest.moc"
