// What TTrayIcon needs from the notification area: add, modify, remove one icon.
#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>

namespace quorvane {

class TrayBackend {
public:
    virtual ~TrayBackend() = default;
    virtual bool add(const QIcon& icon, const QString& tip) = 0; // false when the shell refused
    virtual void modify(const QIcon& icon, const QString& tip) = 0;
    virtual void remove() = 0;
    virtual QPoint cursorPos() const = 0;
    // A balloon message from the icon; nothing where the notification area cannot show one.
    virtual void notify(const QString& /*title*/, const QString& /*text*/, bool /*warning*/) {}
};

} // namespace quorvane
