// Tooltips that never turn a tunnel's name or a client's words into HTML.
#include "desktop/plain_text.h"

#include <QTextDocument>

namespace quorvane {

QString plainToolTip(const QString& text) {
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace quorvane
