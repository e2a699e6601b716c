// Tunnel renaming: folder first, then the client copy, undone together when the second step fails.
#include "store/tunnel_rename.h"

#include "store/file_system.h"
#include "store/ini_line.h"
#include "store/paths.h"

namespace quorvane {

namespace {

std::string lastComponent(const std::string& path) {
    const auto cut = path.find_last_of(fs::separator());
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

} // namespace

RenameOutcome renameTunnel(const std::string& workingDir, const std::string& oldName, const std::string& newName) {
    const std::string tunnels = fs::resolve(paths::TunnelsDirForListing(workingDir));
    const std::string sep(1, fs::separator());
    const std::string oldFolder = fs::resolve(tunnels + sep + oldName);
    if (!fs::folderExists(oldFolder) || lastComponent(oldFolder) != oldName)
        return RenameOutcome::Failed;
    const std::string newFolder = tunnels + sep + newName;
    // The resolved spelling of the new name is some existing folder's unless only the case changes.
    const std::string existing = fs::resolve(newFolder);
    if (fs::folderExists(existing) || fs::fileExists(existing)) {
        if (!ini::sameName(oldName, newName) || lastComponent(existing) != oldName)
            return RenameOutcome::NameTaken;
    }
    if (!moveWithoutReplacing(oldFolder, newFolder))
        return RenameOutcome::Failed;

    const std::string oldClient = fs::resolve(newFolder + sep + paths::ClientExeName(oldName));
    const std::string newClient = newFolder + sep + paths::ClientExeName(newName);
    if (!fs::fileExists(oldClient) || lastComponent(oldClient) == lastComponent(newClient))
        return RenameOutcome::Renamed;
    if (moveWithoutReplacing(oldClient, newClient))
        return RenameOutcome::Renamed;
    // A folder whose client copy kept the old name could never be connected: undo.
    moveWithoutReplacing(newFolder, oldFolder);
    return RenameOutcome::Failed;
}

} // namespace quorvane
