// What a tunnel's "Apri" value opens once the tunnel is connected: a web address or a program, with the local port
// filled in.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Stands for the tunnel's local port in an "Apri" value ("http://127.0.0.1:{porta}/").
inline constexpr std::string_view kQuickOpenPort = "{porta}";

enum class QuickOpenKind {
    Nothing, // no value: nothing to open
    Url,     // an http or https address, for the system's browser
    Program, // a command line, run without a shell in the tunnel's folder
    Refused, // problem says why
};

enum class QuickOpenProblem {
    None,
    ControlCharacter, // a line end or another control character
    LeadingDash,      // the address or the program would read as an option
    SchemeNotAllowed, // an address that is not http or https (file:, javascript:, ...)
    BadAddress,       // no server after "http://", or blanks in the address
    NoPort,           // the port is asked for but the tunnel has no local port
};

struct QuickOpen {
    QuickOpenKind kind = QuickOpenKind::Nothing;
    std::string target; // Url: the address; Program: the command line; Refused: the value as given
    QuickOpenProblem problem = QuickOpenProblem::None;
    bool operator==(const QuickOpen&) const = default;
};

// value as the definition holds it; port the tunnel's local port (0: none). Blanks around the value do not count.
// An address is told from a program by its scheme (two letters or more, then ':'): "C:\..." is a program.
QuickOpen planQuickOpen(std::string_view value, int port);

} // namespace quorvane
