// Exports and imports of definitions, refused as a definition would be when they cannot serve.
#include "service/tunnel_transfer.h"

#include "process/key_generator.h"
#include "store/file_system.h"

namespace quorvane {

CommandResult TunnelTransfer::exportTunnel(const std::string& tunnel, const std::string& file, bool withSecrets) const {
    const DefinitionLoad load = m_catalogue.definition(tunnel);
    // A cut value would be exported cut, as if whole.
    if (!load.ok())
        return {false, {unusable(tunnel, load.message())}};
    TunnelDefinition exported = load.definition;
    if (!withSecrets) {
        exported.Password.clear();
        exported.HostKey.clear();
    }
    try {
        exportDefinition(file, exported);
    } catch (const StoreError& error) {
        return {false, {unusable(tunnel, error.what())}};
    }
    return {true, {}};
}

TunnelTransfer::ImportCheck TunnelTransfer::checkImport(const std::string& file) const {
    ImportCheck check;
    const DefinitionLoad load = loadDefinitionFile(file);
    if (!load.ok()) {
        check.notices.push_back(unusable({}, load.message()));
        return check;
    }
    check.definition = load.definition;
    // The file's own name, less its extension; the bytes as given, so a name that is not UTF-8 stays as it is.
    std::string base = file.substr(file.find_last_of(fs::separator() == '/' ? "/" : "\\/") + 1);
    if (const std::size_t dot = base.rfind('.'); dot != std::string::npos && dot > 0)
        base.erase(dot);
    if (base.empty() || !paths::isValidTunnelName(base))
        base = "Tunnell";
    check.name = m_catalogue.freeName(base);
    return check;
}

CommandResult TunnelTransfer::importCandidates(const std::vector<ImportCandidate>& chosen,
                                               std::vector<std::string>& made) {
    CommandResult result{true, {}};
    for (const ImportCandidate& candidate : chosen) {
        if (!candidate.importable())
            continue;
        const std::string name = m_catalogue.freeName(candidate.tunnelName.empty() ? "Tunnell" : candidate.tunnelName);
        CommandResult imported = importTunnel(name, candidate.definition);
        result.notices.insert(result.notices.end(), imported.notices.begin(), imported.notices.end());
        if (!imported.done) {
            result.done = false;
            continue;
        }
        made.push_back(name);
        if (!candidate.keyToConvert.empty())
            if (std::optional<Notice> notConverted = convertImportedKey(name, candidate))
                result.notices.push_back(*notConverted);
    }
    return result;
}

std::optional<Notice> TunnelTransfer::convertImportedKey(const std::string& tunnel, const ImportCandidate& candidate) {
    const std::string& key = candidate.keyToConvert;
    std::string puttygen = fs::resolve(paths::KeyGenerator(m_context.folders.program));
    if (!fs::fileExists(puttygen) && !fs::findOnPath("puttygen").empty())
        puttygen = fs::findOnPath("puttygen");
    const std::string ppk = key.substr(key.find_last_of(fs::separator() == '/' ? "/" : "\\/") + 1) + ".ppk";
    KeyResult converted = convertKey(puttygen, key, m_catalogue.clientFolder(tunnel) + fs::separator() + ppk);
    if (converted.ok) {
        TunnelDefinition definition = candidate.definition;
        definition.FileChiave = ppk; // inside the tunnel's folder, so named relative to it
        const CommandResult saved = m_catalogue.save(tunnel, definition);
        if (saved.done)
            return std::nullopt;
        converted.error = saved.notices.empty() ? std::string() : saved.notices.front().detail;
    }
    Notice notice = noticeFor(NoticeKind::KeyNotConverted, tunnel);
    notice.subject = key;
    notice.detail = converted.error;
    return notice;
}

CommandResult TunnelTransfer::importTunnel(const std::string& name, const TunnelDefinition& definition) {
    CommandResult added = m_catalogue.add(name);
    if (!added.done)
        return added;
    if (CommandResult saved = m_catalogue.save(name, definition); !saved.done) {
        // Half an import is no tunnel: the one just made goes again.
        m_catalogue.remove(name);
        return saved;
    }
    return added;
}

} // namespace quorvane
