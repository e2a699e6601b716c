// The tray menu's tunnel entries.
#include "app/tray_tunnel_menu.h"

#include <QAction>
#include <QMenu>

#include "app/health_text.h"
#include "app/tunnel_list_view.h"
#include "i18n/message_texts.h"

namespace quorvane {

TrayTunnelMenu::TrayTunnelMenu(QMenu* menu) : QObject(menu), m_menu(menu) {}

void TrayTunnelMenu::fill(const TunnelListView& rows, const std::function<TunnelHealth(const std::string&)>& healthOf,
                          const TfMessage* texts, bool enabled) {
    qDeleteAll(m_entries);
    m_entries.clear();
    // The tunnels come before the menu's own entries: those are taken out and put back after, so each tunnel is
    // appended rather than inserted before them (a search and a shift per tunnel).
    const QList<QAction*> own = m_menu->actions();
    for (QAction* action : own)
        m_menu->removeAction(action);
    for (int row = 0; row < rows.count(); ++row) {
        const QListWidgetItem* item = rows.item(row);
        const std::string tunnel = TunnelListView::tunnelOf(item);
        const TunnelHealth health = healthOf(tunnel);
        // A tab puts the state in the menu's right-hand column; '&' in a name is shown, not a mnemonic.
        QString caption = item->text();
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (texts)
            caption += QLatin1Char('\t') + statusText(health, *texts);
        auto* action = new QAction(item->icon(), caption, m_menu);
        action->setEnabled(enabled);
        action->setCheckable(true);
        action->setChecked(isUp(health.status));
        connect(action, &QAction::triggered, this, [this, tunnel](bool connect) {
            if (chosen)
                chosen(tunnel, connect);
        });
        m_menu->addAction(action);
        m_entries << action;
        // Only a connected tunnel is asked: its definition is read, not every tunnel's at each opening.
        if (texts && health.status == TunnelStatus::Connected && canOpen && canOpen(tunnel)) {
            QString openCaption = filled(texts->text(QStringLiteral("ApriTunnell")), {item->text()});
            openCaption.replace(QLatin1Char('&'), QStringLiteral("&&"));
            auto* open = new QAction(QStringLiteral("    ") + openCaption, m_menu);
            open->setEnabled(enabled);
            connect(open, &QAction::triggered, this, [this, tunnel] {
                if (opened)
                    opened(tunnel);
            });
            m_menu->addAction(open);
            m_entries << open;
        }
    }
    if (!m_entries.isEmpty()) {
        auto* separator = new QAction(m_menu);
        separator->setSeparator(true);
        m_menu->addAction(separator);
        m_entries << separator;
    }
    m_menu->addActions(own);
}

} // namespace quorvane
