// The user's data folder and folder write access on POSIX systems.
#include <unistd.h>

#include <cstdlib>

#include "store/file_system.h"
#include "store/program_folders.h"

namespace quorvane {

std::string userDataFolder() {
    // Only an absolute XDG_DATA_HOME counts, as the base directory rules say.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/quorvane/";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.local/share/quorvane/";
    return {};
}

std::string userSessionTag() {
    return std::to_string(::getuid());
}

bool folderWritable(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

void makePortableTunnelsPrivate(const std::string& tunnelsFolder) {
    fs::makeFolderPrivate(tunnelsFolder); // refuses a link and another user's folder
}

} // namespace quorvane
