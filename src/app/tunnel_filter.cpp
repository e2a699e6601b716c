// The tunnel list's filter field.
#include "app/tunnel_filter.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include "app/tunnel_list_view.h"

namespace quorvane {

TunnelFilter::TunnelFilter(TunnelListView* list, QWidget* parent) : QLineEdit(parent), m_list(list) {
    hide();
    connect(this, &QLineEdit::textChanged, list, &TunnelListView::setFilter);
    connect(list, &TunnelListView::filterTyped, this, [this](const QString& typed) {
        show();
        setFocus();
        insert(typed);
    });
    connect(list, &TunnelListView::filterDropped, this, &TunnelFilter::dismiss);
}

void TunnelFilter::dismiss() {
    const bool hadFocus = hasFocus();
    clear();
    hide();
    if (hadFocus)
        m_list->setFocus();
}

void TunnelFilter::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        dismiss();
        event->accept();
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        // Through the matches in list order, as a search box's list goes, whatever the grid's rows.
        m_list->selectSeen(event->key() == Qt::Key_Down ? 1 : -1);
        event->accept();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The field keeps the focus: the user goes on typing or picks a row, as in a search box.
        QCoreApplication::sendEvent(m_list, event);
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

void TunnelFilter::showEvent(QShowEvent* event) {
    // Its button looks its icon up in the theme: not at start, for a field most runs never show.
    setClearButtonEnabled(true);
    QLineEdit::showEvent(event);
}

void TunnelFilter::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Left empty, it has nothing to show; left with a filter, the rows stay narrowed until Esc.
    if (text().isEmpty())
        hide();
}

} // namespace quorvane
