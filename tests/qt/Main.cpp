// The window tests, and a picture of the window for the documentation:
//   test_qt [QtTest options]                   runs the tests
//   test_qt --screenshot OUT.png DISP_FOLDER   shows the window on the data of
//                                               DISP_FOLDER (working folder: the
//                                               current one) and saves it as OUT.png
#include <QApplication>
#include <QPixmap>
#include <QTest>
#include <cstdio>
#include <cstring>

#include "qt/ExportWindow.h"
#include "qt/Italian.h"

int runWindowTests(int argc, char** argv);

namespace {

int takeScreenshot(const char* out, const char* dispositions) {
    doz::FormPaths paths = doz::FormPaths::defaults();
    paths.dispositionsArg = dispositions;
    doz::ExportWindow window(paths);
    window.setDesktopOpener([](const std::string&) {});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) std::fprintf(stderr, "screenshot: window not exposed\n");
    QTest::qWait(300);
    if (!window.grab().save(QString::fromLocal8Bit(out), "PNG")) {
        std::fprintf(stderr, "screenshot: cannot write %s\n", out);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    doz::installItalian(app);
    if (argc >= 2 && std::strcmp(argv[1], "--screenshot") == 0) {
        if (argc != 4) {
            std::fprintf(stderr, "usage: test_qt --screenshot OUT.png DISPOSITIONS_FOLDER\n");
            return 2;
        }
        return takeScreenshot(argv[2], argv[3]);
    }
    return runWindowTests(argc, argv);
}
