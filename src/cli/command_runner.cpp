// The command line's commands, carried out through the tunnel service without a window.
#include "cli/command_runner.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "service/tunnel_words.h"
#include "store/text_codec.h"

namespace quorvane {

namespace {

// How a box's text reads on a terminal; an error keeps the full stop its box would add.
std::string terminalLine(const NoticeWords& words) {
    std::string text = words.text;
    if (words.error && !text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return "quorvane: " + text + "\n";
}

// With no program running, what a pass finds is told on the terminal; a host key is never trusted
// from here, and balloons have nowhere to go.
class TerminalListener : public TunnelServiceListener {
public:
    explicit TerminalListener(const MessageSource& texts) : m_texts(texts) {}

    void noticed(const Notice& notice) override {
        if (notice.kind == NoticeKind::Dropped || notice.kind == NoticeKind::Restored)
            return;
        const NoticeWords words = noticeWords(notice, decodeFileText(notice.tunnel), m_texts);
        told += notice.kind == NoticeKind::HostKeyOffered ? "quorvane: " + words.text + " (no)\n" : terminalLine(words);
    }

    std::string told;

private:
    const MessageSource& m_texts;
};

bool isUp(const TunnelHealth& health) {
    return isUp(health.status);
}

} // namespace

const MessageSource& BuiltInCommandHost::texts() const {
    static const BuiltInMessages builtIn;
    return builtIn;
}

void CommandHost::pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

CommandRunner::CommandRunner(TunnelService& service, CommandHost& host) : m_service(service), m_host(host) {}

std::string CommandRunner::unknownNames(const StartCommand& command) const {
    std::string errors;
    for (const StartCommand::Action& action : command.actions) {
        if (!m_service.has(action.tunnel))
            errors += "quorvane: no tunnel is named \"" + action.tunnel + "\"\n";
    }
    return errors;
}

std::string CommandRunner::told(const std::vector<Notice>& notices) const {
    std::string text;
    for (const Notice& notice : notices)
        text += terminalLine(noticeWords(notice, decodeFileText(notice.tunnel), m_host.texts()));
    return text;
}

std::string CommandRunner::statusReport(bool look) {
    if (look)
        m_service.pass(); // states as of now, not of the last pass
    std::string report;
    for (const std::string& tunnel : m_service.tunnels())
        report += statusLine(tunnel, m_service.health(tunnel)) + "\n";
    return report;
}

void CommandRunner::answer(const std::string& request, Reply reply) {
    const std::optional<StartCommand> command = decodeRequest(request);
    if (!command)
        return reply(encodeReply(2, "quorvane: the running program did not understand the request\n"));
    if (!command->runsCommands()) {
        if (!command->hidden)
            m_host.show();
        return reply(encodeReply(0, {}));
    }
    // A box waits for the user, or the list is being read: a command now would act on the editor
    // the user is filling in, or on a list about to be rebuilt.
    if (m_host.busy()) {
        // A status changes nothing: it is told even then, as the last pass saw it (a pass now could
        // open another box under the one that waits).
        if (command->actions.empty() && command->status)
            return reply(encodeReply(0, statusReport(false)));
        return reply(encodeReply(1, "quorvane: the program is waiting for an answer in one of its windows; try "
                                    "again once it is closed\n"));
    }
    if (const std::string errors = unknownNames(*command); !errors.empty())
        return reply(encodeReply(1, errors)); // nothing is done when one name is wrong
    // Carried out before the reply, so that a status asked for with them shows their effect. What
    // they have to tell goes back to the asker: the user is at that terminal.
    auto pending = std::make_unique<PendingAnswer>();
    for (const StartCommand::Action& action : command->actions) {
        const bool connect = action.kind == StartCommand::Kind::Connect;
        std::vector<std::string>& waited = pending->tunnels;
        waited.erase(std::remove(waited.begin(), waited.end(), action.tunnel), waited.end());
        const CommandResult result = connect ? m_service.connect(action.tunnel) : m_service.disconnect(action.tunnel);
        pending->told += told(result.notices);
        const TunnelHealth& health = m_service.health(action.tunnel);
        if (connect && result.done && health.status == TunnelStatus::Connecting) {
            waited.push_back(action.tunnel);
            continue;
        }
        const bool done = result.done && (connect ? isUp(health) : health.status == TunnelStatus::NotConnected);
        if (!done)
            pending->output += statusLine(action.tunnel, health) + "\n";
        pending->allDone = pending->allDone && done;
    }
    pending->status = command->status;
    std::chrono::milliseconds wait{kConnectWaitMs};
    for (const std::string& tunnel : pending->tunnels)
        wait = std::max(wait, connectWait(tunnel));
    pending->deadline = std::chrono::steady_clock::now() + wait;
    pending->reply = std::move(reply);
    if (pending->tunnels.empty())
        return finish(*pending);
    m_pending.push_back(std::move(pending));
    // One chain of looks serves every waiting answer; without an event loop the runner waits here.
    if (m_pending.size() == 1 && !scheduleLook()) {
        while (!m_pending.empty()) {
            m_host.pause();
            lookAtPending();
        }
    }
}

bool CommandRunner::scheduleLook() {
    if (!m_self)
        m_self = std::make_shared<CommandRunner*>(this);
    const std::weak_ptr<CommandRunner*> self = m_self;
    return m_host.runsLater(kLookEvery, [self] {
        if (const auto runner = self.lock())
            (*runner)->lookAtPending();
    });
}

bool CommandRunner::claim(const Notice& notice) {
    for (const std::unique_ptr<PendingAnswer>& pending : m_pending) {
        if (std::find(pending->tunnels.begin(), pending->tunnels.end(), notice.tunnel) == pending->tunnels.end())
            continue;
        // A balloon has no terminal to go to: the state line says the same.
        if (notice.kind == NoticeKind::Dropped || notice.kind == NoticeKind::Restored)
            return true;
        const NoticeWords words = noticeWords(notice, decodeFileText(notice.tunnel), m_host.texts());
        // A key is trusted only in a window: the question is told, with the answer it got here.
        pending->told +=
            notice.kind == NoticeKind::HostKeyOffered ? "quorvane: " + words.text + " (no)\n" : terminalLine(words);
        return true;
    }
    return false;
}

void CommandRunner::lookAtPending() {
    // The list being read, or a box open: the program's own passes go on meanwhile, and are enough.
    if (!m_host.busy())
        m_service.pass();
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<PendingAnswer>> finished;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        PendingAnswer& pending = **it;
        const bool late = now >= pending.deadline;
        for (auto tunnel = pending.tunnels.begin(); tunnel != pending.tunnels.end();) {
            const TunnelHealth health = m_service.health(*tunnel);
            if (health.status == TunnelStatus::Connected) {
                tunnel = pending.tunnels.erase(tunnel);
                continue;
            }
            if (isUp(health) && !late) {
                ++tunnel;
                continue;
            }
            pending.output += statusLine(*tunnel, health);
            if (isUp(health))
                pending.output += " (still, after " + std::to_string(connectWait(*tunnel).count() / 1000) + " s)";
            pending.output += "\n";
            pending.allDone = false;
            tunnel = pending.tunnels.erase(tunnel);
        }
        if (pending.tunnels.empty()) {
            finished.push_back(std::move(*it));
            it = m_pending.erase(it);
        } else {
            ++it;
        }
    }
    if (!m_pending.empty())
        scheduleLook();
    for (const std::unique_ptr<PendingAnswer>& pending : finished)
        finish(*pending);
}

void CommandRunner::finish(PendingAnswer& pending) {
    std::string output = pending.told + pending.output;
    if (pending.status)
        output += statusReport(!m_host.busy());
    pending.reply(encodeReply(pending.allDone ? 0 : 1, output));
}

std::chrono::milliseconds CommandRunner::connectWait(const std::string& tunnel) const {
    const int limit = m_service.definition(tunnel).definition.AttesaConnessione;
    return std::chrono::milliseconds(std::max(kConnectWaitMs, limit > 0 ? (limit + 5) * 1000 : 0));
}

bool CommandRunner::waitForConnect(const std::string& tunnel, std::string& output, std::string& errors) {
    const auto start = std::chrono::steady_clock::now();
    const std::chrono::milliseconds wait = connectWait(tunnel);
    for (;;) {
        const TunnelHealth& health = m_service.health(tunnel);
        if (health.status == TunnelStatus::Connected) {
            output += statusLine(tunnel, health) + "\n";
            return true;
        }
        // Not connecting right after the connect: it was refused before a client started (and said why).
        if (!isUp(health)) {
            errors += statusLine(tunnel, health) + "\n";
            return false;
        }
        if (std::chrono::steady_clock::now() - start > wait) {
            errors += statusLine(tunnel, health) + " (still, after " + std::to_string(wait.count() / 1000) + " s)\n";
            return false;
        }
        m_host.pause();
        m_service.pass();
    }
}

int CommandRunner::runHere(const StartCommand& command, std::string& output, std::string& errors) {
    TerminalListener terminal(m_host.texts());
    m_service.setListener(&terminal);
    m_service.list();
    m_service.removeLeftovers();
    errors = unknownNames(command);
    if (!errors.empty()) {
        m_service.setListener(nullptr);
        return 1;
    }
    bool allDone = true;
    std::string boxes;
    for (const StartCommand::Action& action : command.actions) {
        if (action.kind == StartCommand::Kind::Connect) {
            const CommandResult result = m_service.connect(action.tunnel);
            boxes += told(result.notices);
            allDone = waitForConnect(action.tunnel, output, errors) && allDone;
        } else {
            const CommandResult result = m_service.disconnect(action.tunnel);
            boxes += told(result.notices);
            m_service.pass();
            allDone = result.done && m_service.health(action.tunnel).status == TunnelStatus::NotConnected && allDone;
        }
    }
    if (command.status)
        output += statusReport();
    errors = boxes + terminal.told + errors;
    m_service.setListener(nullptr);
    return allDone ? 0 : 1;
}

} // namespace quorvane
