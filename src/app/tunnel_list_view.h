// The tunnel list: large icons, and in-place renaming only from a click on the selected item's caption.
#pragma once

#include <QListWidget>

namespace quorvane {

class TunnelListView : public QListWidget {
    Q_OBJECT

public:
    explicit TunnelListView(QWidget* parent = nullptr);

protected:
    // A click on the picture of the selected item selects it again; only its caption opens the editor.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
};

} // namespace quorvane
