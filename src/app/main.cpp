// Program entry: the application title, the windows in their order, then the event loop.
#include <QApplication>

#include "app/application.h"
#include "desktop/artwork.h"
#include "process/process_hardening.h"

int main(int argc, char* argv[]) {
    // Before anything holds a password: no core file, no memory reads by other programs.
    quorvane::hardenProcess();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane - SSH Link Manager"));
    QApplication::setWindowIcon(quorvane::programIcon());
    // Hidden to the notification area is still running: only "Esci" ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    quorvane::QuorvaneApp windows;
    windows.start();
    return QApplication::exec();
}
