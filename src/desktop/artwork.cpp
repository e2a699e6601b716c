// Vector drawings of the program's pictures, so the build carries no image files.
#include "desktop/artwork.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>

namespace quorvane {

namespace {

const QColor kBezelTop(0x5d, 0x68, 0x75);
const QColor kBezelBottom(0x2c, 0x33, 0x3b);
const QColor kStand(0x9a, 0xa3, 0xad);
const QColor kStandDark(0x6c, 0x75, 0x80);
const QColor kScreenLitTop(0x9b, 0xd6, 0xff);
const QColor kScreenLitBottom(0x1f, 0x78, 0xd1);
const QColor kScreenDimTop(0xb7, 0xc2, 0xcc);
const QColor kScreenDimBottom(0x6e, 0x7c, 0x8a);
const QColor kLinkGreen(0x2e, 0xa0, 0x43);
const QColor kLinkGreenDark(0x1b, 0x6e, 0x2b);
const QColor kCableGrey(0x9a, 0xa1, 0xa9);
const QColor kAlarmRed(0xe0, 0x2f, 0x2a);
const QColor kAlarmRedDark(0x9e, 0x17, 0x14);
const QColor kWaitAmber(0xf2, 0xa9, 0x1f);
const QColor kWaitAmberDark(0xb0, 0x6c, 0x05);
const QColor kBrandTop(0x34, 0x9c, 0xe6);
const QColor kBrandBottom(0x14, 0x5a, 0xa6);
const QColor kBrandText(0x1d, 0x2b, 0x3a);

QPixmap blankPixmap(int width, int height, const QColor& fill) {
    QPixmap pixmap(width, height);
    pixmap.fill(fill);
    return pixmap;
}

void prepare(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
}

// A flat-panel monitor whose screen (bezel included) is the given rectangle; the stand hangs below it.
void drawComputer(QPainter& p, const QRectF& monitor, bool lit) {
    const qreal w = monitor.width();
    const qreal neckW = w * 0.22;
    const qreal neckH = w * 0.16;
    const qreal baseW = w * 0.62;
    const qreal baseH = qMax<qreal>(2.5, w * 0.11);
    const qreal cx = monitor.center().x();

    p.setPen(Qt::NoPen);
    p.setBrush(kStandDark);
    p.drawRect(QRectF(cx - neckW / 2, monitor.bottom() - 1, neckW, neckH + 1));
    QLinearGradient baseFill(0, monitor.bottom() + neckH, 0, monitor.bottom() + neckH + baseH);
    baseFill.setColorAt(0, kStand);
    baseFill.setColorAt(1, kStandDark);
    p.setBrush(baseFill);
    p.drawRoundedRect(QRectF(cx - baseW / 2, monitor.bottom() + neckH, baseW, baseH), baseH / 2, baseH / 2);

    QLinearGradient bezel(monitor.topLeft(), monitor.bottomLeft());
    bezel.setColorAt(0, kBezelTop);
    bezel.setColorAt(1, kBezelBottom);
    p.setBrush(bezel);
    const qreal radius = qMax<qreal>(1.5, w * 0.09);
    p.drawRoundedRect(monitor, radius, radius);

    const qreal inset = qMax<qreal>(1.5, w * 0.09);
    const QRectF screen = monitor.adjusted(inset, inset, -inset, -inset);
    QLinearGradient glass(screen.topLeft(), screen.bottomRight());
    glass.setColorAt(0, lit ? kScreenLitTop : kScreenDimTop);
    glass.setColorAt(1, lit ? kScreenLitBottom : kScreenDimBottom);
    p.setBrush(glass);
    p.drawRoundedRect(screen, radius / 2, radius / 2);

    // A soft diagonal glare keeps the screen from looking like a flat block at small sizes.
    QPainterPath glare;
    glare.moveTo(screen.topLeft());
    glare.lineTo(screen.left() + screen.width() * 0.55, screen.top());
    glare.lineTo(screen.left(), screen.top() + screen.height() * 0.75);
    glare.closeSubpath();
    p.setBrush(QColor(255, 255, 255, lit ? 70 : 45));
    p.drawPath(glare);
}

// A round badge with a white symbol: the state of a tunnel at a glance.
void drawBadge(QPainter& p, const QPointF& centre, qreal radius, const QColor& light, const QColor& dark) {
    QRadialGradient fill(centre - QPointF(radius * 0.35, radius * 0.35), radius * 1.4);
    fill.setColorAt(0, light.lighter(125));
    fill.setColorAt(1, dark);
    p.setPen(QPen(Qt::white, 1.6));
    p.setBrush(fill);
    p.drawEllipse(centre, radius, radius);
}

void drawCable(QPainter& p, const QPointF& from, const QPointF& to, qreal low, const QColor& colour, bool broken) {
    QPainterPath cable;
    cable.moveTo(from);
    cable.lineTo(from.x(), low - 3);
    cable.quadTo(from.x(), low, from.x() + 3, low);
    cable.lineTo(to.x() - 3, low);
    cable.quadTo(to.x(), low, to.x(), low - 3);
    cable.lineTo(to);
    QPen pen(colour, 3.2, broken ? Qt::DashLine : Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (broken)
        pen.setDashPattern({1.2, 1.4});
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);
}

void drawTwoComputers(QPainter& p, bool connected) {
    const QRectF left(1.5, 5, 21, 16);
    const QRectF right(27.5, 5, 21, 16);
    const qreal low = 40;
    const QPointF badge(25, low);

    drawCable(p, QPointF(left.center().x(), 29), QPointF(right.center().x(), 29), low,
              connected ? kLinkGreen : kCableGrey, !connected);
    drawComputer(p, left, connected);
    drawComputer(p, right, connected);

    const qreal r = 8.5;
    if (connected) {
        drawBadge(p, badge, r, kLinkGreen, kLinkGreenDark);
        // A check mark: the link is up.
        QPainterPath tick;
        tick.moveTo(badge + QPointF(-4.2, 0.2));
        tick.lineTo(badge + QPointF(-1.2, 3.3));
        tick.lineTo(badge + QPointF(4.3, -3.0));
        p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    } else {
        drawBadge(p, badge, r, kAlarmRed, kAlarmRedDark);
        const qreal a = 3.4;
        p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(badge + QPointF(-a, -a), badge + QPointF(a, a));
        p.drawLine(badge + QPointF(-a, a), badge + QPointF(a, -a));
    }
}

// The link on its way up: dimmed screens, an amber cable and three dots of waiting.
void drawConnecting(QPainter& p) {
    const QRectF left(1.5, 5, 21, 16);
    const QRectF right(27.5, 5, 21, 16);
    const qreal low = 40;
    const QPointF badge(25, low);
    drawCable(p, QPointF(left.center().x(), 29), QPointF(right.center().x(), 29), low, kWaitAmber, true);
    drawComputer(p, left, true);
    drawComputer(p, right, false);
    drawBadge(p, badge, 8.5, kWaitAmber, kWaitAmberDark);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (const qreal dx : {-3.6, 0.0, 3.6})
        p.drawEllipse(badge + QPointF(dx, 0), 1.35, 1.35);
}

// The link could not be made: a red cable cut in the middle and an exclamation mark.
void drawFailed(QPainter& p) {
    const QRectF left(1.5, 5, 21, 16);
    const QRectF right(27.5, 5, 21, 16);
    const qreal low = 40;
    const QPointF badge(25, low);
    drawCable(p, QPointF(left.center().x(), 29), QPointF(right.center().x(), 29), low, kAlarmRed, true);
    drawComputer(p, left, false);
    drawComputer(p, right, false);
    drawBadge(p, badge, 8.5, kAlarmRed, kAlarmRedDark);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(badge + QPointF(0, -4.2), badge + QPointF(0, 1.0));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(badge + QPointF(0, 3.7), 1.4, 1.4);
}

void drawOneComputer(QPainter& p) {
    drawComputer(p, QRectF(6, 6, 38, 28), true);
}

void drawNetwork(QPainter& p) {
    const qreal bus = 42;
    const QRectF monitors[] = {QRectF(1, 12, 15, 11), QRectF(17.5, 4, 15, 11), QRectF(34, 12, 15, 11)};
    p.setPen(QPen(kLinkGreen, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(monitors[0].center().x(), bus), QPointF(monitors[2].center().x(), bus));
    for (const QRectF& m : monitors) {
        p.drawLine(QPointF(m.center().x(), m.bottom() + 5), QPointF(m.center().x(), bus));
    }
    for (const QRectF& m : monitors)
        drawComputer(p, m, true);
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(kLinkGreenDark);
    for (const QRectF& m : monitors)
        p.drawEllipse(QPointF(m.center().x(), bus), 2.6, 2.6);
}

// The brand mark: a tunnel mouth on a blue tile with a link running through it.
void drawMark(QPainter& p, const QRectF& tile) {
    const qreal s = tile.width();
    QLinearGradient fill(tile.topLeft(), tile.bottomLeft());
    fill.setColorAt(0, kBrandTop);
    fill.setColorAt(1, kBrandBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(tile, s * 0.22, s * 0.22);

    const qreal stroke = qMax<qreal>(1.6, s * 0.11);
    const QPointF c = tile.center();
    // The tunnel mouth: a dark opening framed by a white arch.
    const qreal archR = s * 0.26;
    const qreal archBase = tile.top() + s * 0.74;
    const qreal legs = s * 0.2;
    QPainterPath arch;
    arch.moveTo(c.x() - archR, archBase);
    arch.lineTo(c.x() - archR, archBase - legs);
    arch.arcTo(QRectF(c.x() - archR, archBase - legs - archR, 2 * archR, 2 * archR), 180, -180);
    arch.lineTo(c.x() + archR, archBase);
    QLinearGradient depth(0, archBase - legs - archR, 0, archBase);
    depth.setColorAt(0, QColor(0x06, 0x1c, 0x3a));
    depth.setColorAt(1, QColor(0x0d, 0x35, 0x66));
    p.setPen(Qt::NoPen);
    p.setBrush(depth);
    p.drawPath(arch);
    p.setPen(QPen(Qt::white, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arch);

    // The link through it, with a node at each end.
    const qreal linkY = archBase;
    const qreal x0 = tile.left() + s * 0.14;
    const qreal x1 = tile.right() - s * 0.14;
    p.setPen(QPen(QColor(0x8b, 0xf0, 0x9c), stroke * 0.85, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x0, linkY), QPointF(x1, linkY));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal node = stroke * 0.95;
    p.drawEllipse(QPointF(x0, linkY), node, node);
    p.drawEllipse(QPointF(x1, linkY), node, node);
}

QFont brandFont(qreal pixelSize, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(qRound(pixelSize));
    font.setBold(bold);
    return font;
}

// The largest font up to `start` pixels whose rendering of `text` fits in `width`.
QFont fittingFont(const QString& text, qreal width, int start, bool bold) {
    for (int px = start; px > 6; --px) {
        QFont font = brandFont(px, bold);
        if (QFontMetricsF(font).horizontalAdvance(text) <= width)
            return font;
    }
    return brandFont(6, bold);
}

} // namespace

QPixmap tunnelPicture(int index) {
    QPixmap pixmap = blankPixmap(kTunnelPictureSize, kTunnelPictureSize, Qt::transparent);
    QPainter p(&pixmap);
    prepare(p);
    switch (index) {
    case kPictureDisconnected:
        drawTwoComputers(p, false);
        break;
    case kPictureConnected:
        drawTwoComputers(p, true);
        break;
    case kPictureOneComputer:
        drawOneComputer(p);
        break;
    case kPictureNetwork:
        drawNetwork(p);
        break;
    case kPictureConnecting:
        drawConnecting(p);
        break;
    case kPictureFailed:
        drawFailed(p);
        break;
    default:
        break;
    }
    return pixmap;
}

QIcon tunnelIcon(int index) {
    // Slot kTunnelPictureCount holds the blank picture of every index out of range.
    static std::array<QIcon, kTunnelPictureCount + 1> icons;
    static bool releaseRegistered = false;
    const std::size_t slot =
        index >= 0 && index < kTunnelPictureCount ? static_cast<std::size_t>(index) : kTunnelPictureCount;
    if (icons[slot].isNull()) {
        icons[slot] = QIcon(tunnelPicture(index));
        if (!releaseRegistered) {
            // Pixmaps must go before the application does, not at exit.
            qAddPostRoutine([] {
                icons.fill(QIcon());
                releaseRegistered = false;
            });
            releaseRegistered = true;
        }
    }
    return icons[slot];
}

QPixmap productLogo() {
    const int width = 158;
    const int height = 41;
    QPixmap pixmap = blankPixmap(width, height, Qt::white);
    QPainter p(&pixmap);
    prepare(p);

    const QRectF tile(3, 4, 33, 33);
    drawMark(p, tile);

    const qreal textLeft = tile.right() + 7;
    const qreal textWidth = width - textLeft - 3;
    const QString name = QStringLiteral("Quorvane");
    const QString tagline = QStringLiteral("SSH Link Manager");

    const QFont nameFont = fittingFont(name, textWidth, 23, true);
    const QFont tagFont = fittingFont(tagline, textWidth, 10, false);
    const QFontMetricsF nameMetrics(nameFont);
    const QFontMetricsF tagMetrics(tagFont);

    // Name and tagline as one block, centred on the tile.
    const qreal gap = 1;
    const qreal block = nameMetrics.ascent() + nameMetrics.descent() * 0.3 + gap + tagMetrics.ascent();
    const qreal top = tile.center().y() - block / 2;
    const qreal nameBaseline = top + nameMetrics.ascent();
    const qreal tagBaseline = nameBaseline + nameMetrics.descent() * 0.3 + gap + tagMetrics.ascent();

    p.setFont(nameFont);
    p.setPen(kBrandText);
    p.drawText(QPointF(textLeft, nameBaseline), name);
    p.setFont(tagFont);
    p.setPen(kBrandBottom);
    p.drawText(QPointF(textLeft + 1, tagBaseline), tagline);
    return pixmap;
}

QPixmap programIconPixmap(int size, bool tunnelUp) {
    QPixmap pixmap = blankPixmap(size, size, Qt::transparent);
    QPainter p(&pixmap);
    prepare(p);
    // Leave a hair of margin so the tile's edge is antialiased rather than cut.
    const qreal margin = size <= 16 ? 0.5 : size / 32.0;
    drawMark(p, QRectF(margin, margin, size - 2 * margin, size - 2 * margin));
    if (tunnelUp) {
        const qreal r = size * 0.22;
        p.setPen(QPen(Qt::white, qMax<qreal>(1.0, size / 24.0)));
        p.setBrush(kLinkGreen);
        p.drawEllipse(QPointF(size - r - 0.5, size - r - 0.5), r, r);
    }
    p.end();
    return pixmap;
}

QIcon programIcon(bool tunnelUp) {
    // Drawn once per state: the window, the notification area and the application all ask for it.
    static std::array<QIcon, 2> icons;
    QIcon& icon = icons[tunnelUp ? 1 : 0];
    if (icon.isNull()) {
        for (int size : {16, 32, 48})
            icon.addPixmap(programIconPixmap(size, tunnelUp));
        // Pixmaps must go before the application does, not at exit.
        qAddPostRoutine([] { icons.fill(QIcon()); });
    }
    return icon;
}

} // namespace quorvane
