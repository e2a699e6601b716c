// In-place caption editing of the tunnel list that refuses texts which are not a single folder name.
#pragma once

#include <QStyledItemDelegate>

namespace quorvane {

// The edited caption becomes the tunnel name of every later path, so "..", "a/b" and the like would
// let commands (delete above all) reach outside the tunnels folder: such an edit keeps the old caption.
class TunnelNameDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    // Fills the editor once: a monitor pass that changes the item's picture while the user types must
    // not put the old caption back.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
};

} // namespace quorvane
