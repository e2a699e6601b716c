// A tunnel's connect, start and disconnect: its checks, the jump host, the programs' approvals, the client started.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "service/tunnel_catalogue.h"
#include "service/tunnel_opener.h"
#include "service/user_prompts.h"

namespace quorvane {

class TunnelConnections {
public:
    // A "Prima" program that has not ended in this long is stopped, and the connect refused.
    static constexpr int kBeforeProgramMs = 30000;

    TunnelConnections(ServiceContext& context, TunnelCatalogue& catalogue)
        : m_context(context), m_catalogue(catalogue) {}

    PlannedConnect planConnect(const std::string& tunnel) const;
    // Runs "Prima", then starts the client. Done when it was started (or already ran).
    CommandResult start(const ConnectPlan& plan);
    // planConnect and start: programs not approved are put to the prompts, which are shown the command line before
    // the client starts.
    CommandResult connect(const std::string& tunnel, UserPrompts& prompts = nullPrompts());
    // Starts the tunnel's client as the definition says, a restart's as a connect's.
    CommandResult startClient(const std::string& tunnel, const TunnelDefinition& definition);
    std::vector<ConnectPlan::Program> unapprovedPrograms(const std::string& tunnel,
                                                         const TunnelDefinition& definition) const;
    CommandResult approvePrograms(const std::string& tunnel, const TunnelDefinition& definition, bool before = true,
                                  bool after = true);
    // "Dopo", when the definition names one the user approved; what went wrong.
    std::optional<Notice> runAfter(const std::string& tunnel, const TunnelDefinition& definition);
    CommandResult disconnect(const std::string& tunnel);
    // Every listed tunnel that is not up, as connect connects it.
    BatchResult connectAll(UserPrompts& prompts = nullPrompts());
    BatchResult disconnectAll();
    CommandResult trustHostKey(const std::string& tunnel, const std::string& fingerprint, bool ofJumpHost = false);
    void openKeyGenerator();
    // The definition of the tunnel this one goes through, when it names one that is listed: the one place the jump
    // host is looked up.
    std::optional<DefinitionLoad> hopOf(const std::string& tunnel, const TunnelDefinition& definition) const;

private:
    struct JumpCheck {
        std::optional<JumpClient> jump;
        std::optional<Notice> refusal;
    };
    JumpCheck jumpFor(const std::string& tunnel, const TunnelDefinition& definition) const;
    std::optional<Notice> runBefore(const std::string& tunnel, const TunnelDefinition& definition);

    ServiceContext& m_context;
    TunnelCatalogue& m_catalogue;
};

} // namespace quorvane
