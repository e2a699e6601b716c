// The tunnels' entries at the top of the notification-area menu, made anew each time it opens.
#pragma once

#include <QList>
#include <QObject>
#include <functional>
#include <string>

#include "tunnel/tunnel_monitor.h"

class QAction;
class QMenu;

namespace quorvane {

class TfMessage;
class TunnelListView;

class TrayTunnelMenu : public QObject {
    Q_OBJECT

public:
    // The entries go above the menu's own first entry. menu is not owned.
    explicit TrayTunnelMenu(QMenu* menu);

    // One checkable entry per row, with its picture and its state in words; choosing it asks for a
    // connect (checked) or a disconnect. enabled: false while a box waits for an answer.
    void fill(const TunnelListView& rows, const std::function<TunnelHealth(const std::string&)>& healthOf,
              const TfMessage* texts, bool enabled);

    std::function<void(const std::string& tunnel, bool connect)> chosen;
    // A tunnel that can open what its "Apri" names now gets an entry for it below its own; opened is called for it.
    std::function<bool(const std::string& tunnel)> canOpen;
    std::function<void(const std::string& tunnel)> opened;

private:
    QMenu* m_menu;
    QList<QAction*> m_entries;
};

} // namespace quorvane
