// The list of tunnels and each one's folder: listing, adding, renaming and removing, definitions read and saved.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "service/service_context.h"

namespace quorvane {

class TunnelCatalogue {
public:
    explicit TunnelCatalogue(ServiceContext& context) : m_context(context) {}

    // Reads the tunnels folder afresh: its own folders are the tunnels, and what they hold is never walked.
    void list(const std::function<void()>& letEventsThrough = {});
    // Every tunnel of the last listing loses the temporary files of saves that were killed.
    void removeLeftovers();
    bool has(const std::string& tunnel) const { return m_context.records.has(tunnel); }
    // A listed name equal to name but for ASCII letter case (except aside).
    bool sameNameListed(const std::string& name, const std::string& except = {}) const;
    // base, or "base 2", "base 3" ...: the first that no listed tunnel and no folder has.
    std::string freeName(const std::string& base) const;

    CommandResult add(const std::string& name);
    DefinitionLoad definition(const std::string& tunnel) const;
    // Done, or refused with the store's words (a link in its place, a value it cannot hold, a full disk).
    CommandResult save(const std::string& tunnel, const TunnelDefinition& definition);
    // The tunnel's folder, where its client, programs and keys run and live, as the system spells it.
    std::string clientFolder(const std::string& tunnel) const;
    // The key file as the client in the tunnel's folder finds it.
    std::string keyFilePath(const std::string& tunnel, const std::string& keyFile) const;

    CommandResult rename(const std::string& tunnel, const std::string& newName);
    struct RemovalCheck {
        std::vector<Notice> notices; // refused when not empty
        bool needsConfirmation = false;
    };
    RemovalCheck checkRemoval(const std::string& tunnel) const;
    CommandResult remove(const std::string& tunnel);

private:
    void followRename(const std::string& oldName, const std::string& newName);

    ServiceContext& m_context;
    bool m_leftoversPending = false; // listed, their folders not yet cleaned
};

} // namespace quorvane
