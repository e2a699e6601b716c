// The client passes its proxy command to CreateProcess as it is: each argument quoted as Windows splits it.
#include "process/local_proxy.h"

#include "process/command_line.h"

namespace quorvane {

std::string quoteLocalProxyArgument(std::string_view argument) {
    return quoteWindowsArgument(argument);
}

} // namespace quorvane
