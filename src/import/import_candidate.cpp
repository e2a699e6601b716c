// Candidates of an import: the new tunnel's defaults, a name fit for a folder, the checks every source shares.
#include "import/import_candidate.h"

#include <algorithm>

#include "import/putty_sessions.h"
#include "import/ssh_config.h"
#include "process/key_generator.h"
#include "store/file_system.h"
#include "store/ini_file.h"
#include "store/text_codec.h"

namespace quorvane {

namespace {

constexpr std::size_t kMaxNameBytes = 100;
constexpr std::size_t kKeyHeadBytes = 64 * 1024;

bool storable(std::string_view value) {
    return value.size() < IniText::kValueBufferChars && value.find_first_of("\r\n") == std::string_view::npos &&
           isValidUtf8(value);
}

} // namespace

TunnelDefinition newTunnelDefinition() {
    using D = TunnelDefinition;
    TunnelDefinition definition;
    for (std::string D::*field : {&D::Username, &D::Password, &D::PortaLocale, &D::IpServizio, &D::PortaServizio})
        definition.*field = std::string(placeholderOf(field));
    definition.PortaServer = "22";
    return definition;
}

std::string tunnelNameFor(std::string_view name) {
    std::string safe;
    for (const char c : name) {
        const auto code = static_cast<unsigned char>(c);
        // What no folder holds on either system, so the same name serves both.
        const bool refused =
            code < 0x20 || code == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
        safe += refused ? '_' : c;
    }
    if (safe.size() > kMaxNameBytes) {
        std::size_t cut = kMaxNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80) // not inside a UTF-8 character
            --cut;
        safe.resize(cut);
    }
    const std::size_t first = safe.find_first_not_of(". ");
    if (first == std::string::npos)
        return "Tunnell";
    safe.erase(0, first);
    safe.erase(safe.find_last_not_of(". ") + 1);
    return safe;
}

void setForwards(TunnelDefinition& definition, const std::vector<ExtraForward>& forwards) {
    definition.Inoltri.clear();
    if (forwards.empty())
        return;
    const ExtraForward& first = forwards.front();
    definition.Direzione = first.kind;
    definition.PortaLocale = first.localPort;
    definition.IpServizio = first.kind == kForwardDynamic ? std::string() : first.address;
    definition.PortaServizio = first.kind == kForwardDynamic ? std::string() : first.port;
    definition.Inoltri.assign(forwards.begin() + 1, forwards.end());
}

void judgeCandidate(ImportCandidate& candidate) {
    if (!candidate.importable())
        return;
    const TunnelDefinition& definition = candidate.definition;
    using D = TunnelDefinition;
    bool fits = storable(candidate.name) && storable(formatExtraForwards(definition.Inoltri));
    for (std::string D::*field : {&D::IpServer, &D::PortaServer, &D::Username, &D::PortaLocale, &D::IpServizio,
                                  &D::PortaServizio, &D::FileChiave})
        fits = fits && storable(definition.*field);
    for (const ExtraForward& extra : definition.Inoltri)
        fits = fits && storable(extra.localPort) && storable(extra.address) && storable(extra.port);
    if (!fits) {
        candidate.problem = ImportProblem::NotStorable;
        return;
    }
    if (definition.IpServer.empty()) {
        candidate.problem = ImportProblem::FieldRefused;
        candidate.field = FieldProblem{ConnectField::IpServer, FieldFault::NotSet};
        return;
    }
    // A placeholder is for the user to fill in after the import, not a reason to refuse it.
    TunnelDefinition checked = definition;
    for (std::string D::*field : {&D::Username, &D::Password, &D::PortaLocale, &D::IpServizio, &D::PortaServizio})
        if (!placeholderOf(field).empty() && checked.*field == placeholderOf(field))
            (checked.*field).assign(1, 'x');
    if (const std::optional<FieldProblem> problem = checkConnectFields(checked)) {
        candidate.problem = ImportProblem::FieldRefused;
        candidate.field = problem;
        return;
    }
    std::string head;
    if (!definition.FileChiave.empty() &&
        readUserFile(definition.FileChiave, kKeyHeadBytes, head) == fs::FileStatus::Ok) {
        const std::size_t start = head.find_first_not_of(" \t\r\n");
        if (start != std::string::npos && head.compare(start, 11, "-----BEGIN ") == 0) {
            if (keyGenerationAvailable()) {
                candidate.keyToConvert = definition.FileChiave;
            } else {
                candidate.problem = ImportProblem::KeyNeedsConversion;
                candidate.detail = definition.FileChiave;
            }
        }
    }
}

fs::FileStatus readUserFile(const std::string& path, std::size_t maxBytes, std::string& bytes) {
    return fs::readFileNoFollow(fs::canonicalPath(path), maxBytes, bytes);
}

std::vector<ImportCandidate> findImportCandidates(const std::string& home) {
    const std::string sshFolder = home + fs::separator() + ".ssh";
    std::vector<ImportCandidate> found = readSshConfig(sshFolder + fs::separator() + "config", sshFolder, home);
    for (const PuttySession& session : readPuttySessions(home))
        found.push_back(puttySessionCandidate(session));
    return found;
}

void settleCandidate(ImportCandidate& candidate, const std::string& proxy, const std::string& unsupported,
                     bool noForward) {
    if (candidate.problem == ImportProblem::None) {
        if (!proxy.empty()) {
            candidate.problem = ImportProblem::ProxyJump;
            candidate.detail = proxy;
        } else if (!unsupported.empty()) {
            candidate.problem = ImportProblem::ForwardNotSupported;
            candidate.detail = unsupported;
        } else if (noForward) {
            candidate.problem = ImportProblem::NoForward;
        }
    }
    judgeCandidate(candidate);
}

} // namespace quorvane
