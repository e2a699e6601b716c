// Tunnels to and from files: a definition exported or imported, and hosts taken over from other SSH clients.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "import/import_candidate.h"
#include "service/tunnel_catalogue.h"

namespace quorvane {

class TunnelTransfer {
public:
    TunnelTransfer(ServiceContext& context, TunnelCatalogue& catalogue) : m_context(context), m_catalogue(catalogue) {}

    // The tunnel's definition written to file, without its password and trusted host key unless withSecrets.
    CommandResult exportTunnel(const std::string& tunnel, const std::string& file, bool withSecrets) const;
    // A definition file to import, read as a tunnel's own (too large, a link, a pipe or no definition at all:
    // refused, saying why), and a name for it: the file's, without its extension, made unlike any listed.
    struct ImportCheck {
        std::optional<TunnelDefinition> definition;
        std::string name;
        std::vector<Notice> notices;
    };
    ImportCheck checkImport(const std::string& file) const;
    // A new tunnel made as add makes it, holding the definition; its programs still wait for approval.
    CommandResult importTunnel(const std::string& name, const TunnelDefinition& definition);
    // Each importable candidate as a new tunnel under a free variant of its tunnelName; made holds the names given.
    CommandResult importCandidates(const std::vector<ImportCandidate>& chosen, std::vector<std::string>& made);

private:
    // The candidate's key converted into the tunnel's folder, which its definition then names; what went wrong.
    std::optional<Notice> convertImportedKey(const std::string& tunnel, const ImportCandidate& candidate);

    ServiceContext& m_context;
    TunnelCatalogue& m_catalogue;
};

} // namespace quorvane
