// The client's command line: built from a definition, and split the way Windows programs split it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/tunnel_definition.h"

namespace quorvane {

// "-ssh -l U -pw P -L LP:SA:SP S", with no quoting; " -P port" follows "-ssh" when PortaServer,
// blanks aside, is neither empty nor "22". Never fails.
std::string buildConnectCommandLine(const TunnelDefinition& definition);

// Splits parameters with the rules of the Microsoft C runtime (white space separates, double quotes
// group, 2n backslashes before a quote give n and a quote that toggles, 2n+1 give n and a literal quote,
// "" inside quotes gives a literal quote). Any text is accepted; an unclosed quote runs to the end.
std::vector<std::string> splitWindowsCommandLine(std::string_view parameters);

} // namespace quorvane
