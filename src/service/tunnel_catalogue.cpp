// The tunnels folder as a list: each command builds its paths from the tunnel's name alone.
#include "service/tunnel_catalogue.h"

#include <algorithm>
#include <filesystem>

#include "store/file_system.h"
#include "store/folder_walker.h"
#include "store/tunnel_rename.h"

namespace quorvane {

void TunnelCatalogue::list(const std::function<void()>& letEventsThrough) {
    TExpandedFolder walker(letEventsThrough);
    // A folder inside a tunnel is no tunnel: every command builds its paths from the name alone, so a
    // row for it would act on the tunnel of that name. Not walking them also keeps a huge tree cheap.
    walker.SetEnterSubfolders(false);
    walker.SetFolder(fs::resolve(paths::TunnelsDirForListing(m_context.folders.data)));
    m_context.records.relist(walker.GetFolderNames());
    m_leftoversPending = true;
    m_context.listener->tunnelsChanged();
}

void TunnelCatalogue::removeLeftovers() {
    if (!m_leftoversPending)
        return;
    m_leftoversPending = false;
    // One look at each tunnel folder's names; nothing below it is read.
    for (const std::string& tunnel : m_context.records.names())
        removeLeftoverFiles(m_context.folders.data, tunnel);
}

bool TunnelCatalogue::sameNameListed(const std::string& name, const std::string& except) const {
    const std::string folded = foldAsciiCase(name);
    const std::vector<std::string>& names = m_context.records.names();
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& listed) { return listed != except && foldAsciiCase(listed) == folded; });
}

std::string TunnelCatalogue::freeName(const std::string& base) const {
    std::string name = base;
    for (int number = 2;
         sameNameListed(name) || fs::folderExists(paths::TunnelFolderForAdd(m_context.folders.data, name)); ++number)
        name = base + " " + std::to_string(number);
    return name;
}

CommandResult TunnelCatalogue::add(const std::string& name) {
    // A name is one folder name: anything else would build paths outside the tunnels folder.
    if (name.empty() || !paths::isValidTunnelName(name))
        return refused(NoticeKind::NameInvalid, name);
    const std::string folder = paths::TunnelFolderForAdd(m_context.folders.data, name);
    // An existing tunnel (any letter case) keeps its definition and gets no second row.
    if (fs::folderExists(folder) || sameNameListed(name))
        return refused(NoticeKind::NameTaken, name);
    if (!fs::createFolder(folder)) {
        Notice notice = noticeFor(NoticeKind::FolderNotCreated, name);
        notice.detail = "Unable to write to " + paths::DefinitionFileForAdd(folder);
        return {false, {notice}};
    }
    std::string source = paths::PlinkSource(m_context.folders.program);
    if (!fs::fileExists(source)) {
        const std::string onPath = fs::findOnPath("plink");
        if (!onPath.empty())
            source = onPath;
    }
    const bool copied = fs::copyFile(source, paths::ClientCopyForAdd(m_context.folders.data, name));
    CreateDefaultDefinition(folder);
    m_context.records.add(name);
    m_context.listener->tunnelsChanged();
    CommandResult result{true, {}};
    if (!copied)
        result.notices.push_back(noticeFor(NoticeKind::ClientNotCopied, name));
    return result;
}

DefinitionLoad TunnelCatalogue::definition(const std::string& tunnel) const {
    return loadDefinitionChecked(m_context.folders.data, tunnel);
}

CommandResult TunnelCatalogue::save(const std::string& tunnel, const TunnelDefinition& definition) {
    try {
        SaveDefinition(m_context.folders.data, tunnel, definition);
    } catch (const StoreError& error) {
        return {false, {unusable(tunnel, error.what())}};
    }
    return {true, {}};
}

std::string TunnelCatalogue::clientFolder(const std::string& tunnel) const {
    return fs::resolve(paths::ClientWorkingFolder(paths::ClientExePath(m_context.folders.data, tunnel)));
}

std::string TunnelCatalogue::keyFilePath(const std::string& tunnel, const std::string& keyFile) const {
    // The client runs in the tunnel's folder, where a relative key file is looked for.
    if (std::filesystem::u8path(keyFile).is_absolute())
        return keyFile;
    return paths::ClientWorkingFolder(paths::ClientExePath(m_context.folders.data, tunnel)) + fs::separator() + keyFile;
}

CommandResult TunnelCatalogue::rename(const std::string& tunnel, const std::string& newName) {
    if (newName == tunnel || !paths::isValidTunnelName(newName))
        return {false, {}};
    // The client runs from the folder's copy: renaming under it would cut the tunnel off the program.
    if (m_context.clients.snapshot().isRunning(tunnel))
        return refused(NoticeKind::RenameWhileRunning, tunnel);
    const RenameOutcome outcome = sameNameListed(newName, tunnel)
                                      ? RenameOutcome::NameTaken
                                      : renameTunnel(m_context.folders.data, tunnel, newName);
    switch (outcome) {
    case RenameOutcome::Renamed:
        m_context.approvals.carryOver(tunnel, newName); // the user approved the programs, not the name
        m_context.records.rename(tunnel, newName);
        m_context.health.forget(tunnel);
        followRename(tunnel, newName);
        m_context.listener->tunnelsChanged();
        return {true, {}};
    case RenameOutcome::NameTaken:
        return refused(NoticeKind::NameTaken, tunnel);
    case RenameOutcome::Failed:
        break;
    }
    return refused(NoticeKind::RenameFailed, tunnel);
}

void TunnelCatalogue::followRename(const std::string& oldName, const std::string& newName) {
    // The tunnels that went through it keep doing so under its new name.
    for (const std::string& other : m_context.records.names()) {
        DefinitionLoad load = definition(other);
        if (!load.ok() || load.definition.PassaPer != oldName)
            continue;
        load.definition.PassaPer = newName;
        // Not saved, it is left naming the old one: its next connect says that no tunnel has that name.
        save(other, load.definition);
    }
}

TunnelCatalogue::RemovalCheck TunnelCatalogue::checkRemoval(const std::string& tunnel) const {
    // Never delete outside the tunnels folder; a hand-made folder of such a name is named, not ignored.
    if (!paths::isValidTunnelName(tunnel))
        return {{noticeFor(NoticeKind::NameUnmanageable, tunnel)}, false};
    // The folder goes with its definition and keys: there is no way back, so the user says so first.
    return {{}, fs::folderExists(paths::TunnelFolderForDelete(m_context.folders.data, tunnel))};
}

CommandResult TunnelCatalogue::remove(const std::string& tunnel) {
    if (!paths::isValidTunnelName(tunnel))
        return refused(NoticeKind::NameUnmanageable, tunnel);
    // Every client of the tunnel ends first: one left running would outlive its folder, out of the
    // program's reach, and a client still ending keeps its executable busy on some systems.
    m_context.health.stopped(tunnel);
    if (!m_context.clients.stopAll(tunnel, kClientStopTimeoutMs, kClientEndWait))
        return refused(NoticeKind::StopFailed, tunnel);
    const std::string folder = paths::TunnelFolderForDelete(m_context.folders.data, tunnel);
    if (!fs::folderExists(folder))
        return {false, {}};
    const std::string resolved = fs::resolve(folder);
    // An interrupted save's temporary file is hidden from the listing and would keep the folder.
    fs::removeLeftoverTemporaryFiles(resolved);
    for (const std::string& file : fs::listOrdinaryFiles(resolved))
        fs::deleteFile(resolved + fs::separator() + file);
    if (!fs::removeFolder(resolved))
        return refused(NoticeKind::FolderNotRemoved, tunnel);
    m_context.approvals.forget(tunnel);
    m_context.records.remove(tunnel);
    m_context.health.forget(tunnel);
    m_context.listener->tunnelsChanged();
    return {true, {}};
}

} // namespace quorvane
