// Parsing the command line and the text that passes between two instances.
#include "cli/start_command.h"

#include <sstream>

#include "service/tunnel_words.h"

namespace quorvane {
namespace {

bool isOption(const std::string& arg, const char* name, std::string& value, bool& inlineValue) {
    const std::string option = std::string("--") + name;
    if (arg == option) {
        inlineValue = false;
        return true;
    }
    if (arg.rfind(option + "=", 0) == 0) {
        value = arg.substr(option.size() + 1);
        inlineValue = true;
        return true;
    }
    return false;
}

bool hasControlCharacter(const std::string& text) {
    for (const unsigned char c : text) {
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

std::string stageWords(ConnectStage stage) {
    switch (stage) {
    case ConnectStage::Reaching:
        return "no answer from the server";
    case ConnectStage::Greeting:
    case ConnectStage::Unknown:
        return "SSH connection not completed (the server accepts but never greets)";
    case ConnectStage::KeyExchange:
        return "SSH connection not completed (the key exchange never ends)";
    case ConnectStage::Login:
        return "the server does not complete the login";
    case ConnectStage::Forwarding:
        break;
    }
    return "the server does not confirm the forwards after the login";
}

std::string failureWords(const ClientFailure& failure) {
    if (!failure.hop.empty()) {
        ClientFailure own = failure;
        own.hop.clear();
        return "jump host " + failure.hop + ": " + failureWords(own);
    }
    switch (failure.kind) {
    case FailureKind::AccessDenied:
        return "access denied";
    case FailureKind::ConnectionRefused:
        return "connection refused";
    case FailureKind::HostKeyUnknown:
        return "host key not known";
    case FailureKind::HostKeyChanged:
        return "host key changed";
    case FailureKind::LocalPortInUse:
        return "local port " + failure.detail + " in use";
    case FailureKind::NameNotKnown:
        return "name not known";
    case FailureKind::ServerNotAnswering:
        return "server not answering";
    case FailureKind::ConnectTimedOut:
        return stageWords(failure.stage);
    case FailureKind::ClosedEarly:
        return "the server closed the connection before answering (busy?)";
    case FailureKind::ForwardingRefused:
        return "forward refused: " + failure.detail;
    case FailureKind::BeforeFailed:
        return "the Prima program ended with code " + failure.detail;
    case FailureKind::BeforeNotStarted:
        return "cannot run the Prima program: " + failure.detail;
    case FailureKind::BeforeTimedOut:
        return "the Prima program did not end within 30 seconds";
    case FailureKind::None:
    case FailureKind::ClientEnded:
        break;
    }
    return failure.detail.empty() ? "the SSH client ended" : failure.detail;
}

} // namespace

ParsedStart parseStartCommand(const std::vector<std::string>& args) {
    StartCommand command;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        bool inlineValue = false;
        if (arg == "--hidden") {
            command.hidden = true;
        } else if (arg == "--status") {
            command.status = true;
        } else if (arg == "--help" || arg == "-h") {
            command.help = true;
        } else if (isOption(arg, "connect", value, inlineValue) || isOption(arg, "disconnect", value, inlineValue)) {
            const bool connect = arg.rfind("--connect", 0) == 0;
            if (!inlineValue) {
                if (i + 1 >= args.size() || args[i + 1].rfind("-", 0) == 0)
                    return {std::nullopt, arg + " needs the name of a tunnel"};
                value = args[++i];
            }
            if (value.empty() || hasControlCharacter(value))
                return {std::nullopt, "not a tunnel name: \"" + value + "\""};
            command.actions.push_back({connect ? StartCommand::Kind::Connect : StartCommand::Kind::Disconnect, value});
        } else {
            return {std::nullopt, "unknown option: " + arg};
        }
    }
    return {command, {}};
}

std::string usageText(const std::string& programName) {
    return "Usage: " + programName +
           " [--hidden] [--connect NAME]... [--disconnect NAME]... [--status] [--help]\n"
           "\n"
           "  --connect NAME     connect the tunnel named NAME\n"
           "  --disconnect NAME  disconnect the tunnel named NAME\n"
           "  --status           print each tunnel's name, a tab and its state\n"
           "  --hidden           start in the notification area\n"
           "  --help             print this help\n"
           "\n"
           "When the program is already running, the command goes to it; otherwise it is carried out\n"
           "here and the program exits. Exit status: 0 done, 1 a command failed, 2 a usage error.\n";
}

std::string encodeRequest(const StartCommand& command) {
    std::string text = "quorvane-request 1\n";
    if (command.hidden)
        text += "hidden\n";
    for (const StartCommand::Action& action : command.actions)
        text += (action.kind == StartCommand::Kind::Connect ? "connect\t" : "disconnect\t") + action.tunnel + "\n";
    if (command.status)
        text += "status\n";
    return text + "end\n";
}

std::optional<StartCommand> decodeRequest(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != "quorvane-request 1")
        return std::nullopt;
    StartCommand command;
    while (std::getline(lines, line)) {
        const auto tab = line.find('\t');
        const std::string word = line.substr(0, tab);
        const std::string name = tab == std::string::npos ? std::string() : line.substr(tab + 1);
        if (word == "end")
            return command;
        if (word == "hidden")
            command.hidden = true;
        else if (word == "status")
            command.status = true;
        else if ((word == "connect" || word == "disconnect") && !name.empty())
            command.actions.push_back(
                {word == "connect" ? StartCommand::Kind::Connect : StartCommand::Kind::Disconnect, name});
        else
            return std::nullopt;
    }
    return std::nullopt; // cut short: nothing of it is carried out
}

std::string encodeReply(int exitCode, const std::string& output) {
    return std::to_string(exitCode) + "\n" + output;
}

bool decodeReply(const std::string& text, int& exitCode, std::string& output) {
    const auto newline = text.find('\n');
    if (newline == std::string::npos || newline == 0 || newline > 3)
        return false;
    for (std::size_t i = 0; i < newline; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    exitCode = std::stoi(text.substr(0, newline));
    output = text.substr(newline + 1);
    return true;
}

std::string statusLine(const std::string& name, const TunnelHealth& health) {
    // A folder made by hand may hold a tab or a line end: one tunnel must stay one line of two fields.
    std::string tunnel = name;
    for (char& c : tunnel) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    switch (health.status) {
    case TunnelStatus::Connected:
        if (health.warning)
            return tunnel + "\tconnected (service " + health.warning->service + " refuses connections since " +
                   clockTime(health.warning->at) + ")";
        return tunnel + "\tconnected";
    case TunnelStatus::Connecting:
        return tunnel + "\tconnecting";
    case TunnelStatus::Failed:
        return tunnel + "\tfailed: " + failureWords(health.failure) +
               (health.awaitingUser ? " (a window asks the user)" : "") +
               (health.retryIn ? "; next try in " + std::to_string(*health.retryIn) + " s" : "");
    case TunnelStatus::NotConnected:
        break;
    }
    return tunnel + "\tnot connected";
}

} // namespace quorvane
