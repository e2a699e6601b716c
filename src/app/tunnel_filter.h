// The list's filter field: typing over a list too long to see whole shows it, and the rows narrow to the
// tunnels whose name holds what is typed. Neither the list's tunnels nor the service's change.
#pragma once

#include <QLineEdit>

namespace quorvane {

class TunnelListView;

class TunnelFilter : public QLineEdit {
    Q_OBJECT

public:
    // Hidden until the list asks for it; list is not owned and must outlive the field.
    TunnelFilter(TunnelListView* list, QWidget* parent);

    // Empties and hides the field: every row is seen again, and the list has the focus.
    void dismiss();

protected:
    // Esc dismisses; the keys that move through the list, and Enter, act on the list.
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    TunnelListView* m_list;
};

} // namespace quorvane
