// Program entry: the application title, the windows in their order, then the event loop.
#include <QApplication>

#include "app/application.h"
#include "desktop/artwork.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane - SSH Link Manager"));
    QApplication::setWindowIcon(quorvane::programIcon());
    // Hidden to the notification area is still running: only "Esci" ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    quorvane::QuorvaneApp windows;
    windows.start();
    return QApplication::exec();
}
