// Building the client's command line and splitting one into arguments like a Windows program does.
#include "process/command_line.h"

#include "process/local_proxy.h"
#include "store/ini_file.h"

#include <algorithm>
#include <string>

namespace quorvane {

namespace {

constexpr std::string_view kMaskedPassword = "********";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The digits without leading zeros (a leading zero could read as octal to the client), or empty when
// text (blanks aside) is not a whole number 1-65535.
std::string portNumber(std::string_view text) {
    text = trimmed(text);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return {};
    text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
    if (text.empty() || text.size() > 5 || std::stoul(std::string(text)) > 65535)
        return {};
    return std::string(text);
}

bool isPort(std::string_view text) {
    return !portNumber(text).empty();
}

bool serverPortNamed(const TunnelDefinition& definition) {
    const std::string port = portNumber(definition.PortaServer);
    return !port.empty() && port != "22";
}

// One forward piece: the flag of its kind and its one argument.
std::string forwardPiece(int kind, const std::string& localPort, const std::string& address, const std::string& port) {
    if (kind == kForwardDynamic)
        return " -D " + portNumber(localPort);
    const std::string flag = kind == kForwardRemote ? " -R " : " -L ";
    return flag + quoteWindowsArgument(portNumber(localPort) + ':' + address + ':' + portNumber(port));
}

std::string forwarding(const TunnelDefinition& definition) {
    std::string pieces =
        forwardPiece(definition.Direzione, definition.PortaLocale, definition.IpServizio, definition.PortaServizio);
    for (const ExtraForward& extra : definition.Inoltri)
        pieces += forwardPiece(extra.kind, extra.localPort, extra.address, extra.port);
    return pieces;
}

// An extra forward that the client could not be given as typed, or could not be stored.
std::optional<FieldFault> extraForwardFault(const ExtraForward& forward) {
    for (const std::string* text : {&forward.localPort, &forward.address, &forward.port}) {
        if (text->find_first_of(std::string_view(",;\0", 3)) != std::string::npos)
            return FieldFault::Unpassable;
        // Stored, a control character at an end would be dropped when read back: refused, not cut.
        if (std::any_of(text->begin(), text->end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
            return FieldFault::Unpassable;
    }
    if (!isPort(forward.localPort))
        return FieldFault::NotAPort;
    if (forward.kind == kForwardDynamic)
        return std::nullopt;
    if (trimmed(forward.address).empty() || forward.address.find_first_of(" \t") != std::string::npos)
        return FieldFault::Unpassable;
    if (!isPort(forward.port))
        return FieldFault::NotAPort;
    return std::nullopt;
}

// The fields that say how to reach and log on to a server.
bool isServerField(ConnectField field) {
    switch (field) {
    case ConnectField::IpServer:
    case ConnectField::PortaServer:
    case ConnectField::Username:
    case ConnectField::Password:
    case ConnectField::FileChiave:
    case ConnectField::HostKey:
        return true;
    default:
        return false;
    }
}

// What the client could not be given in one of the main fields, as typed.
std::optional<FieldFault> fieldFault(ConnectField field, const std::string& text, bool dynamic) {
    if (text.find('\0') != std::string::npos)
        return FieldFault::Unpassable;
    switch (field) {
    case ConnectField::PortaServer:
        if (!trimmed(text).empty() && !isPort(text))
            return FieldFault::NotAPort;
        break;
    case ConnectField::PortaLocale:
        if (!isPort(text))
            return FieldFault::NotAPort;
        break;
    case ConnectField::PortaServizio:
        if (!dynamic && !isPort(text))
            return FieldFault::NotAPort;
        break;
    case ConnectField::Username:
    case ConnectField::IpServer:
        // Quoting keeps a value one argument, but the client still reads "-x" as an option.
        if (trimmed(text).starts_with('-'))
            return FieldFault::LeadingDash;
        break;
    default:
        break;
    }
    return std::nullopt;
}

// The client reaches "localhost", "::1" and every "127." address directly, whatever its proxy: behind a jump
// host they are the jump host's own, so the client is told an equal spelling it does not know for local.
std::string notTakenForLocal(const std::string& host) {
    if (host == "localhost")
        return "localhost.";
    if (host == "::1")
        return "0:0:0:0:0:0:0:1";
    if (!host.starts_with("127."))
        return host;
    if (host.find_first_not_of("0123456789.") == std::string::npos)
        return "::ffff:" + host;
    return host + '.';
}

// The client reads "\" and "%" in its proxy command as escapes: doubled, they stand for themselves.
std::string escapedForProxyCommand(std::string_view command) {
    std::string escaped;
    for (const char c : command) {
        if (c == '\\' || c == '%')
            escaped += c;
        escaped += c;
    }
    return escaped;
}

// The jump host's client, which carries the connection to the server as its standard input and output.
// With verbose it names the server it goes to, so that a failure there can name the jump host.
std::string proxyCommand(const TunnelDefinition& definition, const JumpClient& jump, bool masked, bool verbose) {
    const TunnelDefinition& hop = jump.definition;
    std::vector<std::string> arguments = {jump.program, "-ssh", "-batch"};
    const auto add = [&](std::initializer_list<std::string> pieces) { arguments.insert(arguments.end(), pieces); };
    if (verbose)
        add({"-v"});
    if (serverPortNamed(hop))
        add({"-P", portNumber(hop.PortaServer)});
    if (!hop.HostKey.empty())
        add({"-hostkey", hop.HostKey});
    add({"-l", hop.Username});
    if (!jump.keyFile.empty())
        add({"-i", jump.keyFile});
    if (!hop.Password.empty())
        add({masked ? "-pw" : "-pwfile", masked ? std::string(kMaskedPassword) : jump.passwordFile});
    // "host:port", an IPv6 address in brackets so that its colons are not taken for the port's.
    const std::string& server = definition.IpServer;
    const bool ipv6 = server.find(':') != std::string::npos && !server.starts_with('[');
    const std::string port = portNumber(definition.PortaServer);
    std::string target = ipv6 ? "[" : "";
    target += server;
    target += ipv6 ? "]:" : ":";
    target += port.empty() ? "22" : port;
    add({"-nc", target, hop.IpServer});
    std::string command;
    for (const std::string& argument : arguments) {
        if (!command.empty())
            command += ' ';
        command += quoteLocalProxyArgument(argument);
    }
    return escapedForProxyCommand(command);
}

// Everything but the password piece, which the caller supplies already quoted.
std::string commandLineWith(const TunnelDefinition& definition, const std::string& passwordPiece,
                            const ClientExtras& extras = {}, bool masked = false) {
    // -batch: a hidden client must end with its reason, never wait for an answer nobody can give.
    // -N: no shell, so accounts made for tunnels alone (no login shell, no terminal) hold their forwards.
    std::string line = "-ssh -batch -N";
    if (extras.verbose)
        line += " -v";
    // Without -P the client goes to port 22, so a server on another port must be named here.
    if (serverPortNamed(definition))
        line += " -P " + portNumber(definition.PortaServer);
    // A trusted key is checked by the client itself; the user's own key cache is not involved.
    if (!definition.HostKey.empty())
        line += " -hostkey " + quoteWindowsArgument(definition.HostKey);
    line += " -l " + quoteWindowsArgument(definition.Username);
    if (!definition.FileChiave.empty())
        line += " -i " + quoteWindowsArgument(definition.FileChiave);
    line += passwordPiece;
    line += forwarding(definition);
    if (extras.probePort != 0)
        line += " -L 127.0.0.1:" + std::to_string(extras.probePort) + ":" + std::string(kProbeTarget);
    if (extras.jump) {
        line += " -proxycmd " + quoteWindowsArgument(proxyCommand(definition, *extras.jump, masked, extras.verbose));
        return line + ' ' + quoteWindowsArgument(notTakenForLocal(definition.IpServer));
    }
    line += ' ' + quoteWindowsArgument(definition.IpServer);
    return line;
}

} // namespace

int portValue(std::string_view text) {
    const std::string number = portNumber(text);
    return number.empty() ? 0 : std::stoi(number);
}

std::vector<int> localForwardPorts(const TunnelDefinition& definition) {
    std::vector<int> ports;
    if (definition.Direzione != kForwardRemote)
        ports.push_back(portValue(definition.PortaLocale));
    for (const ExtraForward& extra : definition.Inoltri) {
        if (extra.kind != kForwardRemote)
            ports.push_back(portValue(extra.localPort));
    }
    return ports;
}

namespace {

std::optional<FieldProblem> checkFields(const TunnelDefinition& definition, bool serverOnly) {
    using D = TunnelDefinition;
    struct Field {
        ConnectField id;
        std::string D::*value;
    };
    static constexpr Field inLineOrder[] = {
        {ConnectField::PortaServer, &D::PortaServer},
        {ConnectField::Username, &D::Username},
        {ConnectField::Password, &D::Password},
        {ConnectField::PortaLocale, &D::PortaLocale},
        {ConnectField::IpServizio, &D::IpServizio},
        {ConnectField::PortaServizio, &D::PortaServizio},
        {ConnectField::IpServer, &D::IpServer},
        {ConnectField::FileChiave, &D::FileChiave},
        {ConnectField::HostKey, &D::HostKey},
        {ConnectField::Prima, &D::Prima},
        {ConnectField::Dopo, &D::Dopo},
    };
    const bool dynamic = definition.Direzione == kForwardDynamic;
    for (const Field& field : inLineOrder) {
        if (serverOnly && !isServerField(field.id))
            continue;
        const std::string& text = definition.*field.value;
        if (const std::optional<FieldFault> fault = fieldFault(field.id, text, dynamic)) {
            // A new tunnel's descriptive text is refused as what it is: a field nobody filled in.
            const std::string_view placeholder = placeholderOf(field.value);
            return FieldProblem{field.id, !placeholder.empty() && text == placeholder ? FieldFault::NotSet : *fault};
        }
    }
    if (serverOnly)
        return std::nullopt;
    for (const ExtraForward& extra : definition.Inoltri) {
        if (const std::optional<FieldFault> fault = extraForwardFault(extra))
            return FieldProblem{ConnectField::Inoltri, *fault, formatExtraForwards({extra})};
    }
    // Dropped, it would leave the client without a forward the user expects, and nothing said.
    if (!definition.InoltriIllegibili.empty())
        return FieldProblem{ConnectField::Inoltri, FieldFault::NotAForward, definition.InoltriIllegibili.front()};
    // The list is one value of the definition, which holds 2047 characters at most.
    if (formatExtraForwards(definition.Inoltri).size() >= IniText::kValueBufferChars)
        return FieldProblem{ConnectField::Inoltri, FieldFault::Unpassable};
    return std::nullopt;
}

} // namespace

std::optional<FieldProblem> checkConnectFields(const TunnelDefinition& definition) {
    return checkFields(definition, false);
}

std::optional<FieldProblem> checkJumpFields(const TunnelDefinition& definition) {
    return checkFields(definition, true);
}

std::string quoteWindowsArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\r\"") == std::string_view::npos)
        return std::string(argument);
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there each one is doubled, and the quote escaped.
        if (c == '"')
            quoted.append(backslashes * 2 + 1, '\\');
        else
            quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    // The closing quote follows: trailing backslashes must not escape it.
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

std::string buildConnectCommandLine(const TunnelDefinition& definition, std::string_view passwordFile) {
    return buildConnectCommandLine(definition, passwordFile, {});
}

std::string buildConnectCommandLine(const TunnelDefinition& definition, std::string_view passwordFile,
                                    const ClientExtras& extras) {
    std::string passwordPiece;
    if (!definition.Password.empty())
        passwordPiece = " -pwfile " + quoteWindowsArgument(passwordFile);
    return commandLineWith(definition, passwordPiece, extras);
}

std::string displayConnectCommandLine(const TunnelDefinition& definition, const JumpClient* jump) {
    std::string passwordPiece;
    if (!definition.Password.empty())
        passwordPiece = " -pw " + std::string(kMaskedPassword);
    ClientExtras extras;
    extras.jump = jump;
    return commandLineWith(definition, passwordPiece, extras, true);
}

std::vector<std::string> splitWindowsCommandLine(std::string_view parameters) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool inQuotes = false;
    std::size_t i = 0;
    while (i < parameters.size()) {
        const char c = parameters[i];
        if (!inQuotes && (c == ' ' || c == '\t')) {
            if (inArgument) {
                arguments.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            std::size_t run = 0;
            while (i + run < parameters.size() && parameters[i + run] == '\\')
                ++run;
            if (i + run < parameters.size() && parameters[i + run] == '"') {
                current.append(run / 2, '\\');
                if (run % 2 == 1) {
                    current += '"';
                    i += run + 1;
                } else {
                    i += run; // the quote itself toggles on the next round
                }
            } else {
                current.append(run, '\\');
                i += run;
            }
        } else if (c == '"') {
            // Inside quotes a doubled quote stands for one literal quote and the quotes go on.
            if (inQuotes && i + 1 < parameters.size() && parameters[i + 1] == '"') {
                current += '"';
                i += 2;
            } else {
                inQuotes = !inQuotes;
                ++i;
            }
        } else {
            current += c;
            ++i;
        }
    }
    if (inArgument)
        arguments.push_back(std::move(current));
    return arguments;
}

} // namespace quorvane
