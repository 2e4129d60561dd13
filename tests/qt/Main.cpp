// The window tests, and a picture of the window for the documentation:
//   test_qt [QtTest options]                   runs the tests
//   test_qt --screenshot OUT.png DISP_FOLDER [CHECK.png]
//                                               shows the window on the data of
//                                               DISP_FOLDER (working folder: the
//                                               current one) and saves it as OUT.png;
//                                               with CHECK.png also the window
//                                               with the list of Controlla beside
//                                               the grid
#include <QApplication>
#include <QPixmap>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <cstring>

#include "qt/ExportWindow.h"
#include "qt/FindingListPanel.h"
#include "qt/Italian.h"

int runWindowTests(int argc, char** argv);

namespace {

bool save(QWidget& widget, const char* out) {
    if (widget.grab().save(QString::fromLocal8Bit(out), "PNG")) return true;
    std::fprintf(stderr, "screenshot: cannot write %s\n", out);
    return false;
}

int takeScreenshot(const char* out, const char* dispositions, const char* checkOut) {
    doz::FormPaths paths = doz::FormPaths::defaults();
    paths.dispositionsArg = dispositions;
    doz::ExportWindow window(paths);
    window.setDesktopOpener([](const std::string&) {});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) std::fprintf(stderr, "screenshot: window not exposed\n");
    QTest::qWait(300);
    if (!save(window, out)) return 1;
    if (!checkOut) return 0;
    window.form().btnControllaClick();
    doz::FindingListPanel* list = window.findingList();
    if (!list) {
        std::fprintf(stderr, "screenshot: Controlla showed no list\n");
        return 1;
    }
    // The first finding of a disposition picked, as a double click picks it: the grid shows that disposition.
    for (int row = 0; row < list->rowCount(); ++row) {
        const QModelIndex index = list->table()->model()->index(row, 0);
        if (list->cellText(row, 1).isEmpty()) continue;
        list->table()->setCurrentIndex(index);
        emit list->table()->doubleClicked(index);
        break;
    }
    QTest::qWait(300);
    return save(window, checkOut) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    doz::installItalian(app);
    if (argc >= 2 && std::strcmp(argv[1], "--screenshot") == 0) {
        if (argc != 4 && argc != 5) {
            std::fprintf(stderr, "usage: test_qt --screenshot OUT.png DISPOSITIONS_FOLDER [CHECK.png]\n");
            return 2;
        }
        return takeScreenshot(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    }
    return runWindowTests(argc, argv);
}
