// The tunnel list view.
#include "app/tunnel_list_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace quorvane {

TunnelListView::TunnelListView(QWidget* parent) : QListWidget(parent) {}

void TunnelListView::setEmptyHint(const QString& text) {
    m_emptyHint = text;
    viewport()->update();
}

void TunnelListView::paintEvent(QPaintEvent* event) {
    QListWidget::paintEvent(event);
    if (count() > 0 || m_emptyHint.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, m_emptyHint);
}

void TunnelListView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && state() != EditingState && !selectedItems().isEmpty()) {
        emit activatedByKey();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QList<QListWidgetItem*> selected = selectedItems();
        const QPoint at = selected.isEmpty() ? viewport()->rect().center() : visualItemRect(selected.first()).center();
        emit customContextMenuRequested(at);
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

bool TunnelListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (trigger == SelectedClicked && event &&
        (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonPress)) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        const QRect item = visualRect(index);
        // In icon mode the caption sits under the picture.
        if (at.y() < item.top() + iconSize().height() + spacing())
            return false;
    }
    return QListWidget::edit(index, trigger, event);
}

} // namespace quorvane
