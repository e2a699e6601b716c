// What a tunnel's "Apri" value opens once it is up: an address for the caller to open, or an approved program.
#pragma once

#include <string>

#include "service/quick_open.h"
#include "service/tunnel_catalogue.h"

namespace quorvane {

class TunnelOpener {
public:
    TunnelOpener(ServiceContext& context, TunnelCatalogue& catalogue) : m_context(context), m_catalogue(catalogue) {}

    // What the tunnel's "Apri" value opens, the local port filled in (read from its definition now).
    QuickOpen quickOpen(const std::string& tunnel) const;
    // Whether the "Apri" program may run: the user approved it for this tunnel (an address needs no approval).
    bool quickOpenApproved(const std::string& tunnel) const;
    // Starts the tunnel's "Apri" program, not waited for, in its folder; approve: the user has just said yes to it.
    CommandResult openProgram(const std::string& tunnel, bool approve = false);
    // The user approves value as the tunnel's "Apri" program; a notice when not saved.
    CommandResult approveQuickOpen(const std::string& tunnel, const std::string& value);
    // The tunnel a connect of the user's started is up: its "Apri" is opened, once per connect.
    void openOnConnect(const std::string& tunnel);

private:
    ServiceContext& m_context;
    TunnelCatalogue& m_catalogue;
};

} // namespace quorvane
