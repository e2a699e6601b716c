// In-place caption editing of the tunnel list that refuses texts which are not a single folder name, and its
// rows drawn as columns in the details view.
#pragma once

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <functional>

namespace quorvane {

// The edited caption becomes the tunnel name of every later path, so "..", "a/b" and the like would
// let commands (delete above all) reach outside the tunnels folder: such an edit keeps the old caption.
class TunnelNameDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // When set, an accepted edit does not change the caption itself: the tunnel is renamed on disk
    // by this handler (called once per edit, after the editor has closed), which sets the caption
    // when the folder did change.
    std::function<void(const QPersistentModelIndex& index, const QString& newName)> renameTunnel;

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    // Fills the editor once: a monitor pass that changes the item's picture while the user types must
    // not put the old caption back.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;

    // In the list's details, a row is drawn as its columns, and the caption is edited in the first alone.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
};

} // namespace quorvane
