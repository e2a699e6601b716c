// Text from files and servers shown as it is: Qt would read text that looks like HTML as HTML.
#pragma once

#include <QString>

namespace quorvane {

// A tooltip that shows text exactly: unchanged when Qt would not take it for rich text, otherwise escaped
// and kept on its lines (an "<img src=...>" in a tunnel name or a client's words must load nothing).
QString plainToolTip(const QString& text);

} // namespace quorvane
