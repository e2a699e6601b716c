// The tunnel list view.
#include "app/tunnel_list_view.h"

#include <QMouseEvent>

namespace quorvane {

TunnelListView::TunnelListView(QWidget* parent) : QListWidget(parent) {}

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
