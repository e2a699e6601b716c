// Validation of in-place tunnel caption edits.
#include "app/tunnel_name_delegate.h"

#include <QLineEdit>

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
