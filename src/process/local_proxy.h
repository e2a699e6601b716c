// How the client hands its proxy command to the system: one argument of that command quoted for it.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// The argument quoted so that the client's local proxy start gives it back whole: a POSIX shell's
// single quotes (the client runs the command with "sh -c"), or the Windows rules (it is passed to
// CreateProcess as it is).
std::string quoteLocalProxyArgument(std::string_view argument);

} // namespace quorvane
