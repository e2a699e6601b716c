// The choice between the portable folder and the user's data folder.
#include "store/program_folders.h"

#include "store/file_system.h"
#include "store/paths.h"
#include "store/working_dir.h"

namespace quorvane {

ProgramFolders chooseProgramFolders(const std::string& executableFolder, const std::string& userDataFolder) {
    const std::string tunnels = fs::resolve(paths::TunnelsDirForListing(executableFolder));
    const bool portable = fs::folderExists(tunnels) && folderWritable(tunnels);
    if (portable || userDataFolder.empty())
        return {executableFolder, executableFolder};
    return {executableFolder, userDataFolder};
}

namespace {

// Creates the folder and any missing parents (a fresh account may have no ~/.local/share yet).
bool createFolderChain(const std::string& folder) {
    if (fs::folderExists(folder))
        return true;
    const std::string trimmed = folder.substr(0, folder.find_last_not_of("/\\") + 1);
    const auto cut = trimmed.find_last_of("/\\");
    if (cut != std::string::npos && cut > 0 && !createFolderChain(trimmed.substr(0, cut + 1)))
        return false;
    return fs::createFolder(folder);
}

} // namespace

ProgramFolders programFolders() {
    return prepareProgramFolders(executableFolder(), userDataFolder());
}

ProgramFolders prepareProgramFolders(const std::string& executable, const std::string& userData) {
    ProgramFolders folders = chooseProgramFolders(executable, userData);
    const std::string tunnels = paths::TunnelsDirForListing(folders.data);
    if (folders.data == folders.program) {
        makePortableTunnelsPrivate(tunnels);
        return folders;
    }
    const bool ready = createFolderChain(folders.data) && fs::makeFolderPrivate(folders.data) &&
                       (fs::folderExists(tunnels) || fs::createFolder(tunnels)) && fs::makeFolderPrivate(tunnels);
    return ready ? folders : ProgramFolders{executable, executable};
}

} // namespace quorvane
