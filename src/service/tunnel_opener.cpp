// Opening what a tunnel's "Apri" names: a program runs only once the user approved it for that tunnel.
#include "service/tunnel_opener.h"

#include <algorithm>

#include "process/program_runner.h"
#include "store/file_system.h"
#include "store/program_settings.h"

namespace quorvane {

QuickOpen TunnelOpener::quickOpen(const std::string& tunnel) const {
    const TunnelDefinition definition = LoadDefinition(m_context.folders.data, tunnel);
    int port = 0;
    const std::string& local = definition.PortaLocale;
    if (!local.empty() && local.size() <= 5 &&
        std::all_of(local.begin(), local.end(), [](char c) { return c >= '0' && c <= '9'; }))
        port = std::stoi(local);
    return planQuickOpen(definition.Apri, port);
}

bool TunnelOpener::quickOpenApproved(const std::string& tunnel) const {
    return m_context.approvals.approved(tunnel, ProgramSlot::Open, LoadDefinition(m_context.folders.data, tunnel).Apri);
}

CommandResult TunnelOpener::openProgram(const std::string& tunnel, bool approve) {
    const TunnelDefinition definition = LoadDefinition(m_context.folders.data, tunnel);
    const QuickOpen open = quickOpen(tunnel);
    Notice notice = noticeFor(NoticeKind::OpenRefused, tunnel);
    notice.subject = definition.Apri;
    if (open.kind == QuickOpenKind::Refused) {
        notice.code = static_cast<int>(open.problem);
        return {false, {notice}};
    }
    if (open.kind != QuickOpenKind::Program)
        return {false, {}};
    std::vector<Notice> notices;
    if (approve)
        notices = approveQuickOpen(tunnel, definition.Apri).notices;
    // A definition may come from someone else: its program runs once the user says so.
    if (!m_context.approvals.approved(tunnel, ProgramSlot::Open, definition.Apri)) {
        notice.kind = NoticeKind::OpenNotApproved;
        return {false, {notice}};
    }
    if (const std::optional<std::string> failure =
            m_context.launcher.launch(programLaunch(open.target, m_catalogue.clientFolder(tunnel)))) {
        notice.kind = NoticeKind::OpenFailed;
        notice.detail = *failure;
        notices.push_back(notice);
        return {false, notices};
    }
    return {true, notices};
}

CommandResult TunnelOpener::approveQuickOpen(const std::string& tunnel, const std::string& value) {
    if (m_context.approvals.approve(tunnel, ProgramSlot::Open, value))
        return {true, {}};
    Notice notice = noticeFor(NoticeKind::ApprovalNotSaved, tunnel);
    notice.detail = fs::resolve(settingsFile(m_context.folders.data));
    return {true, {notice}};
}

void TunnelOpener::openOnConnect(const std::string& tunnel) {
    TunnelRecord& record = m_context.records.at(tunnel);
    if (!record.openOnConnect)
        return;
    record.openOnConnect = false;
    const QuickOpen open = quickOpen(tunnel);
    if (open.kind == QuickOpenKind::Url) {
        m_context.listener->openRequested(tunnel, open.target);
        return;
    }
    if (open.kind == QuickOpenKind::Nothing)
        return;
    for (const Notice& notice : openProgram(tunnel).notices)
        m_context.listener->noticed(notice);
}

} // namespace quorvane
