// Build-time tool: writes the program's own icon as PNG files for the package's icon theme folders, or as
// one Windows .ico for the executable's resources.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QString>

#include <cstdio>

#include "desktop/artwork.h"

namespace {

int parseSize(const char* text) {
    bool ok = false;
    const int size = QString::fromLocal8Bit(text).toInt(&ok);
    return ok && size >= 8 && size <= 1024 ? size : 0;
}

void appendLittleEndian16(QByteArray& out, quint16 value) {
    out.append(char(value & 0xff)).append(char(value >> 8));
}

void appendLittleEndian32(QByteArray& out, quint32 value) {
    appendLittleEndian16(out, quint16(value & 0xffff));
    appendLittleEndian16(out, quint16(value >> 16));
}

// An .ico whose images are PNG streams (read by every Windows since Vista); sizes up to 256.
bool writeIco(const QString& file, const QList<int>& sizes) {
    QList<QByteArray> images;
    for (const int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (size > 256 || !quorvane::programIconPixmap(size).save(&buffer, "PNG"))
            return false;
        images.append(png);
    }
    QByteArray out;
    appendLittleEndian16(out, 0);
    appendLittleEndian16(out, 1); // icon
    appendLittleEndian16(out, quint16(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (int i = 0; i < images.size(); ++i) {
        out.append(char(sizes[i] & 0xff)).append(char(sizes[i] & 0xff)); // 256 is written as 0
        out.append(char(0)).append(char(0));                               // no palette, reserved
        appendLittleEndian16(out, 1);                                      // planes
        appendLittleEndian16(out, 32);                                     // bits per pixel
        appendLittleEndian32(out, quint32(images[i].size()));
        appendLittleEndian32(out, offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray& image : images)
        out.append(image);
    QFile ico(file);
    return ico.open(QIODevice::WriteOnly | QIODevice::Truncate) && ico.write(out) == out.size() && ico.flush();
}

} // namespace

// Usage: quorvane_render_icon FOLDER SIZE...; writes FOLDER/SIZExSIZE/apps/quorvane.png for each size.
//        quorvane_render_icon --ico FILE SIZE...; writes one .ico holding every size.
int main(int argc, char* argv[]) {
    // No display is needed: the icon is drawn into pixmaps, and a build machine may have none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const bool ico = argc > 1 && QByteArray(argv[1]) == "--ico";
    const int first = ico ? 2 : 1;
    if (argc < first + 2) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE... | --ico FILE SIZE...\n", argv[0]);
        return 2;
    }
    QList<int> sizes;
    for (int i = first + 1; i < argc; ++i) {
        const int size = parseSize(argv[i]);
        if (size == 0 || (ico && size > 256)) {
            std::fprintf(stderr, "%s: bad size %s\n", argv[0], argv[i]);
            return 2;
        }
        sizes.append(size);
    }
    if (ico) {
        if (writeIco(QString::fromLocal8Bit(argv[first]), sizes))
            return 0;
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[first]);
        return 1;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (const int size : sizes) {
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
