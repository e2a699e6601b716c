// PuTTY's saved sessions read as tunnels to import: one candidate per session.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "import/import_candidate.h"

namespace quorvane {

// One saved session as the platform stores it: its name decoded, its values by key.
struct PuttySession {
    std::string name;
    std::map<std::string, std::string> values;
    std::string unreadable; // when the session could not be read: why, in the system's words
};

// The saved sessions of this user: on Windows the registry (HKCU\Software\SimonTatham\PuTTY\Sessions), elsewhere
// the files of home/.config/putty/sessions or home/.putty/sessions (as PuTTY chooses). At most
// kPuttyMaxSessions, each file read with the limits and refusals of a definition. Nothing is written.
inline constexpr std::size_t kPuttyMaxSessions = 1000;
std::vector<PuttySession> readPuttySessions(const std::string& home);

// A session file's name or registry key as PuTTY encodes it ("%20" for a blank) back to the name.
std::string decodePuttySessionName(std::string_view encoded);

// A session file's "Key=value" lines (CR LF too); a line without '=' is skipped.
std::map<std::string, std::string> parsePuttySessionFile(std::string_view text);

// The session as a candidate: HostName (a "user@" in it is the user), PortNumber, UserName, PublicKeyFile and
// PortForwardings ("L8080=host:80,R2222=localhost:22,D1080", '\' escaping ',' and '=', an address family
// prefix '4' or '6' ignored). Judged as judgeCandidate judges.
ImportCandidate puttySessionCandidate(const PuttySession& session);

} // namespace quorvane
