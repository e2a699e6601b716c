// The window's export and import commands: the file and name asked for, the service doing the rest.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "service/tunnel_service.h"

namespace quorvane {

class TfMessage;
class TImportList;
class TShowTunn;

class TransferCommands {
public:
    using Present = std::function<void(const std::vector<Notice>&)>;
    // Nothing is owned; messages may be null (the built-in texts are used).
    TransferCommands(TunnelService& service, const TfMessage* messages, Present present)
        : m_service(service), m_messages(messages), m_present(std::move(present)) {}

    // Asks where, and whether the secrets go too, then writes the tunnel's definition there.
    void exportTunnel(const std::string& tunnel, const QString& caption);
    // Asks for a definition file and a name; the tunnel made, or empty.
    std::string importFile();
    // The hosts found under home, ticked in list; the tunnels made, in order.
    std::vector<std::string> importFromSsh(const std::string& home, TImportList& list, const TShowTunn& editor);

private:
    QString text(const char* key) const;

    TunnelService& m_service;
    const TfMessage* m_messages;
    Present m_present;
};

} // namespace quorvane
