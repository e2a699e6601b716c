// Build-time tool: writes the program's own icon as PNG files for the package's icon theme folders.
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QString>

#include <cstdio>

#include "desktop/artwork.h"

// Usage: quorvane_render_icon FOLDER SIZE...; writes FOLDER/SIZExSIZE/apps/quorvane.png for each size.
int main(int argc, char* argv[]) {
    // No display is needed: the icon is drawn into pixmaps, and a build machine may have none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            std::fprintf(stderr, "%s: bad size %s\n", argv[0], argv[i]);
            return 2;
        }
        const QString sizeName = QString::number(size) + QLatin1Char('x') + QString::number(size);
        const QString appsFolder = folder + QLatin1Char('/') + sizeName + QStringLiteral("/apps");
        const QString file = appsFolder + QStringLiteral("/quorvane.png");
        const QPixmap pixmap = quorvane::programIconPixmap(size);
        if (!QDir().mkpath(appsFolder) || pixmap.width() != size || !pixmap.save(file, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(file));
            return 1;
        }
    }
    return 0;
}
