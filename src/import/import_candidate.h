// What an import from another SSH client's settings found: each host or session as a tunnel to make, or why not.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "process/command_line.h"
#include "store/file_system.h"
#include "store/tunnel_definition.h"

namespace quorvane {

// Why a host or session cannot become a tunnel. The first that applies is told.
enum class ImportProblem {
    None,
    Unreadable,          // the file could not be read (detail: the file system's words)
    MatchBlock,          // a Match block: what it applies to is known only when ssh connects
    PatternHost,         // a Host pattern (*, ?, !): it names no one server
    NotSsh,              // a PuTTY session of another protocol (detail: the protocol)
    ProxyJump,           // it reaches its server through another one (detail: the keyword)
    ForwardNotSupported, // a forward no tunnel can hold: a bind address, a socket path, a remote SOCKS (detail: it)
    NoForward,           // nothing to forward: a tunnel needs one
    NotStorable,         // a value that is not UTF-8, holds a line break or is too long for a definition
    FieldRefused,        // a value the client would refuse (see field), e.g. one that starts with '-'
    KeyNeedsConversion,  // a key plink cannot read, and no conversion on this system (detail: the key file)
};

struct ImportCandidate {
    std::string name;       // the Host alias or the session's name, as found
    std::string tunnelName; // name made fit for a tunnel folder (tunnelNameFor)
    TunnelDefinition definition;
    std::string source; // "FILE:LINE" or "PuTTY: NAME"
    ImportProblem problem = ImportProblem::None;
    std::optional<FieldProblem> field; // for FieldRefused
    std::string detail;
    // A private key plink cannot read, which the import converts into the new tunnel's folder (the key itself
    // is left as it is); empty when there is none. Where no conversion is available, KeyNeedsConversion instead.
    std::string keyToConvert;

    bool importable() const { return problem == ImportProblem::None; }
};

// The definition a new tunnel gets (its placeholders included): what an import starts from.
TunnelDefinition newTunnelDefinition();

// A name that paths::isValidTunnelName takes: characters a folder name cannot hold become '_', leading and
// trailing dots and blanks go; "Tunnell" when nothing is left.
std::string tunnelNameFor(std::string_view name);

// The forwards found, in order: the first becomes the definition's own, the others its extra forwards.
void setForwards(TunnelDefinition& definition, const std::vector<ExtraForward>& forwards);

// Sets a problem on an importable candidate whose definition cannot serve: values a definition cannot store,
// values the client would refuse (placeholders aside: the user fills them in). A key file in OpenSSH or PEM
// form, which plink cannot read, is set to be converted (keyToConvert) where puttygen can run unattended.
void judgeCandidate(ImportCandidate& candidate);

// What was found, as a problem unless the candidate already has one: a way through another server (proxy: the
// setting that says so), a forward no tunnel can hold (unsupported: it), or no forward at all; then judgeCandidate.
void settleCandidate(ImportCandidate& candidate, const std::string& proxy, const std::string& unsupported,
                     bool noForward);

// Reads a file of the user's settings: links followed (such files often live elsewhere), then read as
// fs::readFileNoFollow reads, so a loop of links, a pipe or a device is refused at once and never waited for.
fs::FileStatus readUserFile(const std::string& path, std::size_t maxBytes, std::string& bytes);

// The user's OpenSSH configuration (home/.ssh/config) and PuTTY's saved sessions, in that order.
std::vector<ImportCandidate> findImportCandidates(const std::string& home);

} // namespace quorvane
