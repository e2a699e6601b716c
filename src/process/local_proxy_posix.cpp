// The client runs its proxy command with "sh -c": each argument in single quotes.
#include "process/local_proxy.h"

namespace quorvane {

std::string quoteLocalProxyArgument(std::string_view argument) {
    std::string quoted = "'";
    for (const char c : argument) {
        if (c == '\'')
            quoted += "'\\''"; // close, an escaped quote, open again
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

} // namespace quorvane
