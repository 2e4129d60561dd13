// window-bench: times the real export window (Qt widgets, any platform plugin;
// scripts/bench.sh runs it offscreen) on a data folder.
//
//   window-bench <data-folder> <work-folder> <bank> [runs]
//
// The window is built and shown as the program does it, the bank is chosen as
// the user chooses it, the header values of export-stages are typed, and then
// the buttons are pressed with the mouse: "Controlla" (until its list is on
// screen) and OK (until the file is written, the questions answered and the
// window closed; every question but the last two is answered Yes, those two,
// the folder and the reports, No). Each time includes the events the press
// leaves behind (the repaint of the grid and the list). Prints the best of
// `runs` (default 3) of each, in seconds:
//
//   start      <seconds>   (window built, shown and filled)
//   controlla  <seconds>
//   ok         <seconds>
//
// and the peak resident memory. A command that ends with an error box stops
// the benchmark: its figures would mean nothing.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/Ansi.h"
#include "platform/Dates.h"
#include "platform/Files.h"
#include "qt/ExportWindow.h"
#include "qt/Italian.h"

using namespace doz;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long peakMegabytes() {
    const std::string status = readWholeFile("/proc/self/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + 6) / 1024;
}

// Answers every message box as it appears: Yes to the questions of the build
// (warnings, replacing the file), No to what follows the produced file; an
// error box is recorded and acknowledged.
class Answerer : public QObject {
public:
    Answerer() {
        timer_.setInterval(1);
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == last_) return;
            last_ = box;
            if (box->icon() == QMessageBox::Critical) error = box->text().toStdString();
            const bool afterFile = box->text().startsWith(QStringLiteral("File prodotto")) || producedSeen_;
            if (box->text().startsWith(QStringLiteral("File prodotto"))) producedSeen_ = true;
            if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                (afterFile ? box->button(QMessageBox::No) : yes)->click();
            else if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
        timer_.start();
    }
    void reset() {
        producedSeen_ = false;
        error.clear();
    }
    std::string error;

private:
    QTimer timer_;
    QPointer<QMessageBox> last_;
    bool producedSeen_ = false;
};

void selectBank(ExportWindow& window, const std::string& bank) {
    const auto items = window.items("cbBanche");
    const auto it = std::find(items.begin(), items.end(), bank);
    if (it == items.end()) throw std::runtime_error("bank not in the catalogue: " + ansiToUtf8(bank));
    window.setSelectedIndex("cbBanche", static_cast<int>(it - items.begin()));
    window.form().cbBancheClick();
}

void fillHeader(ExportWindow& window, const std::string& bankFile) {
    window.setText("edMittente", "A1B2C");
    window.setText("edNOME_SUPPORTO", "STIPENDI");
    window.setText("edCC_ORDINANTE", "000010203040");
    window.setText("edConto_Tesoreria", "1234567");
    window.setDate("deData_Creazione", encodeDate(2026, 12, 7));
    window.setDate("deData_Disposizione", encodeDate(2026, 12, 9));
    window.setDate("deData_Valuta", encodeDate(2026, 12, 9));
    window.setDate("deDATA_SCADENZA", encodeDate(2026, 12, 31));
    window.setText("cbBancaFile", bankFile);
}

void press(ExportWindow& window, const char* button) {
    auto* b = window.findChild<QPushButton*>(QString::fromLatin1(button));
    if (!b) throw std::runtime_error(std::string("no button ") + button);
    QTest::mouseClick(b, Qt::LeftButton);
    QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    installItalian(app);
    try {
        if (argc < 4) {
            std::fprintf(stderr, "usage: window-bench <data-folder> <work-folder> <bank> [runs]\n");
            return 2;
        }
        const std::string data = argv[1];
        std::string work = argv[2];
        if (work.back() != '/') work += '/';
        const std::string bank = utf8ToAnsi(argv[3]);
        const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
        FormPaths paths;
        paths.mainFolder = work + "main/";
        paths.bankFolder = work + "bank";
        paths.workingFolder = data;
        paths.dispositionsArg = data;
        const std::string bankFile = work + "bank/STIPENDI.Txt";

        Answerer answerer;
        double start = 1e30, check = 1e30, ok = 1e30;
        for (int run = 0; run < runs; ++run) {
            answerer.reset();
            auto t = Clock::now();
            ExportWindow window(paths);
            window.setDesktopOpener([](const std::string&) {});
            window.show();
            if (!QTest::qWaitForWindowExposed(&window)) throw std::runtime_error("window not exposed");
            selectBank(window, bank);
            fillHeader(window, bankFile);
            QApplication::processEvents();
            start = std::min(start, since(t));
            if (!answerer.error.empty()) throw std::runtime_error("start: " + answerer.error);

            t = Clock::now();
            press(window, "btnControlla");
            check = std::min(check, since(t));
            if (!answerer.error.empty()) throw std::runtime_error("Controlla: " + answerer.error);

            t = Clock::now();
            press(window, "Button2");
            ok = std::min(ok, since(t));
            if (!answerer.error.empty()) throw std::runtime_error("OK: " + answerer.error);
            if (window.isVisible()) throw std::runtime_error("OK: the window is still open");
        }
        std::printf("%-12s %.4f\n%-12s %.4f\n%-12s %.4f\npeak %ld MB\n", "start", start, "controlla", check, "ok",
                    ok, peakMegabytes());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window-bench: %s\n", e.what());
        return 1;
    }
}
