#include "desktop/elided_label.h"

#include <QPainter>
#include <QStyle>

namespace quorvane {

QRect ElidedLabel::textRect() const {
    // As QLabel lays a framed text out: half an 'x' in from the frame.
    const int inset = frameWidth() > 0 ? fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 : 0;
    return contentsRect().adjusted(inset + margin(), margin(), -inset - margin(), -margin());
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(0, textRect().width()));
}

QSize ElidedLabel::minimumSizeHint() const {
    return {frameWidth() * 2, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    painter.drawText(textRect(), int(alignment()), shownText());
}

} // namespace quorvane
