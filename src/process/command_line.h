// The client's command line: checked and built from a definition, and split the way Windows programs split it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/tunnel_definition.h"

namespace quorvane {

// The definition fields that reach the client's command line.
enum class ConnectField {
    IpServer,
    PortaServer,
    Username,
    Password,
    PortaLocale,
    IpServizio,
    PortaServizio,
    FileChiave,
    Inoltri, // one of the extra forwards
    HostKey,
    Prima,
    Dopo,
};

// Why a field cannot go to the client as it is.
enum class FieldFault {
    LeadingDash, // the client would take it for an option
    NotAPort,    // not a whole number 1-65535
    Unpassable,  // holds a NUL, which no command line can carry (or, in an extra forward, what cannot be stored)
    NotSet,      // would be refused, and still holds the text a new tunnel gets there (see placeholderOf)
    NotAForward, // an entry of the extra forwards that is not kind, local port, address and port
};

struct FieldProblem {
    ConnectField field;
    FieldFault fault;
    std::string entry{}; // for an extra forward: the entry, as the file holds it
    bool operator==(const FieldProblem&) const = default;
};

// The way to a tunnel's server through another tunnel's server (a jump host).
struct JumpClient {
    TunnelDefinition definition; // the other tunnel's: its server, port, account, password, key file and host key
    std::string program;         // the client that goes there: the program's own, never a tunnel's copy
    std::string keyFile;         // that tunnel's key file as a full path, or empty
    std::string passwordFile;    // where that client reads its password (not shown)
};

// The first field, in command-line order, that must be refused before a connect, or nothing.
// An empty server port is allowed (the client's default, 22); blanks around ports are ignored. A
// dynamic forward (a SOCKS proxy) needs no service address or port.
std::optional<FieldProblem> checkConnectFields(const TunnelDefinition& definition);
// The same for a tunnel whose server is the way to another's: only its server's fields count.
std::optional<FieldProblem> checkJumpFields(const TunnelDefinition& definition);

// The port a field names (blanks around it ignored), or 0 when it is not a whole number 1-65535.
int portValue(std::string_view text);

// The local ports the tunnel's forwards listen on, for the health check; a remote forward listens on
// the server instead.
std::vector<int> localForwardPorts(const TunnelDefinition& definition);

// Quotes one argument so that splitWindowsCommandLine, and every Windows program, gives it back
// whole and unchanged. Text without blanks, tabs, quotes or line ends is returned as it is.
std::string quoteWindowsArgument(std::string_view argument);

// The parameters for the client, each field one argument:
// "-ssh -batch -N [-P port] [-hostkey FP] -l USER [-i KEY] [-pwfile FILE] FORWARD [EXTRA...] SERVER", FORWARD
// and each extra forward being
// "-L LP:SA:SP", "-R LP:SA:SP" (the server's port LP to the service as seen from here) or "-D LP". The password
// itself is never on the line: with a non-empty password the client reads it from passwordFile. -P
// comes when the server port, blanks aside, is neither empty nor "22"; -hostkey when the definition
// trusts a key. Call checkConnectFields first.
std::string buildConnectCommandLine(const TunnelDefinition& definition, std::string_view passwordFile);

// What the program adds for itself to a client it watches: -v, so the log tells why a forward is
// refused, and a forward from probePort on 127.0.0.1 to an address no server can connect to, whose
// refusal proves the server still answers.
struct ClientExtras {
    bool verbose = false;
    int probePort = 0;                // 0: none
    const JumpClient* jump = nullptr; // not owned
};
inline constexpr std::string_view kProbeTarget = "255.255.255.255:1";
std::string buildConnectCommandLine(const TunnelDefinition& definition, std::string_view passwordFile,
                                    const ClientExtras& extras);

// With a jump host the server is reached through "-proxycmd": a second client, with "-nc SERVER:PORT", logs
// on to the jump host and carries the connection. That client's arguments are quoted for the way the client
// starts its proxy (see quoteLocalProxyArgument) and escaped for the client's own reading of "\" and "%"; its
// password is read from jump->passwordFile. A server the client would take for this computer itself (and
// reach directly, not through the proxy) is named to it in an equal spelling it does not.

// The line as the user is shown it, without the program's own extras: "-pw ********" where the password goes
// (both passwords, with a jump host).
std::string displayConnectCommandLine(const TunnelDefinition& definition, const JumpClient* jump = nullptr);

// Splits parameters with the rules of the Microsoft C runtime (white space separates, double quotes
// group, 2n backslashes before a quote give n and a quote that toggles, 2n+1 give n and a literal quote,
// "" inside quotes gives a literal quote). Any text is accepted; an unclosed quote runs to the end.
std::vector<std::string> splitWindowsCommandLine(std::string_view parameters);

} // namespace quorvane
