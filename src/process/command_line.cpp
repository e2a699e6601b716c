// Building the client's command line and splitting one into arguments like a Windows program does.
#include "process/command_line.h"

namespace quorvane {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

std::string buildConnectCommandLine(const TunnelDefinition& definition) {
    std::string line = "-ssh";
    // Without -P the client goes to port 22, so a server on another port must be named here.
    const std::string_view port = trimmed(definition.PortaServer);
    if (!port.empty() && port != "22") {
        line += " -P ";
        line += port;
    }
    line += " -l ";
    line += definition.Username;
    line += " -pw ";
    line += definition.Password;
    line += " -L ";
    line += definition.PortaLocale;
    line += ':';
    line += definition.IpServizio;
    line += ':';
    line += definition.PortaServizio;
    line += ' ';
    line += definition.IpServer;
    return line;
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
