// QtTrayBackend: the notification area as Qt offers it, feeding the icon's activations back as mouse messages.
#pragma once

#include <QObject>
#include <QSystemTrayIcon>

#include "desktop/tray_backend.h"

namespace quorvane {

class TTrayIcon;

class QtTrayBackend : public QObject, public TrayBackend {
    Q_OBJECT

public:
    // The owner receives the mouse messages and must outlive this backend (it owns it). The Qt icon is
    // this object's child and has no context menu: the owner opens its own popup menu.
    explicit QtTrayBackend(TTrayIcon& owner);
    ~QtTrayBackend() override;

    // Returns false when the desktop has no notification area right now; the icon is still handed to Qt.
    bool add(const QIcon& icon, const QString& tip) override;
    void modify(const QIcon& icon, const QString& tip) override;
    void remove() override;
    QPoint cursorPos() const override;
    void notify(const QString& title, const QString& text, bool warning) override;

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    TTrayIcon& m_owner;
    QSystemTrayIcon* m_icon;
};

} // namespace quorvane
