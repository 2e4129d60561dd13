// PztExport_Banche: the export window. One argument, the folder that holds
// Disposizioni.cds (without it the window asks for it); the program ends when
// the window closes.
#include <QApplication>

#include "PztFExport_Banche.h"
#include "platform/Memory.h"
#include "qt/ExportWindow.h"
#include "qt/Italian.h"
#include "qt/SingleInstance.h"

int main(int argc, char** argv) {
    doz::preferLargeHeapPages();
    QApplication app(argc, argv);  // takes the toolkit's own arguments out of argv
    QApplication::setApplicationName(QStringLiteral("PztExport_Banche"));
    QApplication::setApplicationVersion(QStringLiteral(DOZ_VERSION));
    doz::installItalian(app);

    doz::FormPaths paths = doz::FormPaths::defaults();
    // The folder argument is used as given, bytes and all; absent, it is empty.
    paths.dispositionsArg = argc > 1 ? argv[1] : "";
    // From the desktop menu, without the argument: the window asks for the folders.
    paths.chooseFolders = argc <= 1;

    // One window per main folder: a second start brings the open one forward.
    doz::SingleInstance instance(paths.mainFolder);
    if (instance.otherRunning()) return 0;

    doz::ExportWindow fmPzExport_Banche(paths);
    QObject::connect(&instance, &doz::SingleInstance::comeForwardRequested, &fmPzExport_Banche,
                     &doz::ExportWindow::comeForward);
    // Closing the window ends the program, whatever else is still open or
    // about to open (a box of a control left for the closing, say); also when
    // the start-up closes it before the event loop runs.
    QObject::connect(&fmPzExport_Banche, &doz::ExportWindow::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    fmPzExport_Banche.show();
    return QApplication::exec();
}
