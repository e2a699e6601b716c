// Validation of in-place tunnel caption edits.
#include "app/tunnel_name_delegate.h"

#include <QLineEdit>

#include "store/paths.h"

namespace quorvane {

void TunnelNameDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        if (!paths::isValidTunnelName(line->text().toStdString()))
            return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void TunnelNameDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (editor->property("quorvaneFilled").toBool())
        return;
    editor->setProperty("quorvaneFilled", true);
    QStyledItemDelegate::setEditorData(editor, index);
}

} // namespace quorvane
