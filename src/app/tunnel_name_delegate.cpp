// Validation of in-place tunnel caption edits, and the details view's columns.
#include "app/tunnel_name_delegate.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>

#include "app/tunnel_list_view.h"

#include "store/paths.h"

namespace quorvane {

void TunnelNameDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (line && !paths::isValidTunnelName(line->text().toStdString()))
        return;
    if (!line || !renameTunnel) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    // Losing the focus to the handler's message box would commit a second time.
    if (editor->property("quorvaneCommitted").toBool() || line->text() == index.data().toString())
        return;
    editor->setProperty("quorvaneCommitted", true);
    // Queued: a message box must not open inside the editor's own commit.
    QMetaObject::invokeMethod(
        const_cast<TunnelNameDelegate*>(this),
        [this, target = QPersistentModelIndex(index), name = line->text()] { renameTunnel(target, name); },
        Qt::QueuedConnection);
}

void TunnelNameDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (editor->property("quorvaneFilled").toBool())
        return;
    editor->setProperty("quorvaneFilled", true);
    QStyledItemDelegate::setEditorData(editor, index);
}

} // namespace quorvane

namespace quorvane {

namespace {

const TunnelListView* detailsOf(const QStyleOptionViewItem& option) {
    const auto* view = qobject_cast<const TunnelListView*>(option.widget);
    return view && view->details() ? view : nullptr;
}

} // namespace

void TunnelNameDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const TunnelListView* view = detailsOf(option);
    if (!view) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QListWidgetItem* item = view->item(index.row());
    QStyle* style = view->style();
    for (int column = 0; column < view->columnHeader()->count(); ++column) {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        cell.rect = view->columnRect(column, option.rect);
        if (column > 0) {
            cell.text = TunnelListView::columnText(item, column);
            cell.icon = QIcon();
            cell.features &= ~QStyleOptionViewItem::HasDecoration;
            cell.displayAlignment = (column == 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
            cell.state &= ~QStyle::State_HasFocus;
        }
        cell.textElideMode = Qt::ElideRight;
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, option.widget);
    }
}

QSize TunnelNameDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    const TunnelListView* view = detailsOf(option);
    if (!view)
        return size;
    // A row is as wide as the columns, whatever its caption: the selection covers every column.
    return QSize(view->columnHeader()->length(), std::max(size.height(), view->fontMetrics().height() + 6));
}

void TunnelNameDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                              const QModelIndex& index) const {
    QStyleOptionViewItem inName = option;
    if (const TunnelListView* view = detailsOf(option))
        inName.rect = view->columnRect(0, option.rect);
    QStyledItemDelegate::updateEditorGeometry(editor, inName, index);
}

} // namespace quorvane
