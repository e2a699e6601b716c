// The program's command line: what a start asks for, and how it travels to a running instance.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tunnel/tunnel_monitor.h"

namespace quorvane {

struct StartCommand {
    enum class Kind { Connect, Disconnect };
    struct Action {
        Kind kind;
        std::string tunnel;
        bool operator==(const Action&) const = default;
    };
    bool hidden = false;
    bool status = false;
    bool help = false;
    std::vector<Action> actions; // in the order given

    // Something to do and then exit, rather than a program to start.
    bool runsCommands() const { return status || !actions.empty(); }
    bool operator==(const StartCommand&) const = default;
};

struct ParsedStart {
    std::optional<StartCommand> command;
    std::string error; // when there is no command: what was wrong, for the user
};

// args without the program's own name. "--connect NAME" and "--connect=NAME" both work; a name may
// start with '-' only in the second form, so a forgotten name is not mistaken for an option.
ParsedStart parseStartCommand(const std::vector<std::string>& args);

std::string usageText(const std::string& programName);

// A request as lines of text: every name stays one field whatever it holds (names never hold
// control characters). A plain start is an empty action list without status: "show yourself".
std::string encodeRequest(const StartCommand& command);
std::optional<StartCommand> decodeRequest(const std::string& text);

// The reply: the exit code on the first line, then what to print.
std::string encodeReply(int exitCode, const std::string& output);
bool decodeReply(const std::string& text, int& exitCode, std::string& output);

// One line of --status: the name, a tab, and the state in words for scripts ("not connected",
// "connecting", "connected", "failed: access denied" ...).
std::string statusLine(const std::string& tunnel, const TunnelHealth& health);

} // namespace quorvane
