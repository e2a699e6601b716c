// The tunnel list: large icons, and in-place renaming only from a click on the selected item's caption.
#pragma once

#include <QListWidget>

namespace quorvane {

class TunnelListView : public QListWidget {
    Q_OBJECT

public:
    explicit TunnelListView(QWidget* parent = nullptr);

    // Shown in the empty list: how to make a first tunnel.
    void setEmptyHint(const QString& text);
    const QString& emptyHint() const { return m_emptyHint; }

signals:
    // Enter on the selected tunnel.
    void activatedByKey();

protected:
    void paintEvent(QPaintEvent* event) override;
    // Enter connects the selected tunnel; Shift+F10 opens its menu, as the menu key does.
    void keyPressEvent(QKeyEvent* event) override;
    // A click on the picture of the selected item selects it again; only its caption opens the editor.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    QString m_emptyHint;
};

} // namespace quorvane
