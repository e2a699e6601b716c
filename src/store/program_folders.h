// Where the program's own files are, and where the user's tunnels and settings are kept.
#pragma once

#include <string>

namespace quorvane {

struct ProgramFolders {
    std::string program; // plink.exe, puttygen.exe, the licences, lang/; ends with the separator
    std::string data;    // tunnells/, default.lng, quorvane.ini; ends with the separator
};

// The rule: the data folder is the executable's own folder (portable) when that folder holds a
// tunnells folder this user can write to; otherwise the user's data folder. An installed copy ships
// no tunnells folder, so even an administrator's tunnels never land in the install folder.
ProgramFolders chooseProgramFolders(const std::string& executableFolder, const std::string& userDataFolder);

// The chosen folders for the running executable. The user's data folder is created private (with an
// empty tunnells folder) only when it is the one chosen; if it cannot be made, the program folder
// serves as before, so nothing the user had is hidden.
ProgramFolders programFolders();
// The same for the given folders; a portable tunnels folder is made private too (see below).
ProgramFolders prepareProgramFolders(const std::string& executableFolder, const std::string& userDataFolder);

// A portable tunnels folder unpacked or built with the usual umask lets every user list the tunnel
// names: one of ours loses its group and other bits. Nothing on Windows, where it keeps the access list
// of wherever the user put it (perhaps a share), and where nothing tells cheaply whether it is ours.
void makePortableTunnelsPrivate(const std::string& tunnelsFolder);

// The user's own data folder for the program, with the trailing separator: $XDG_DATA_HOME/quorvane/
// (default ~/.local/share/quorvane/), %LOCALAPPDATA%\Quorvane\ on Windows. Empty if unknown.
std::string userDataFolder();

// Names this user in this login session, for names shared by the whole machine (Windows pipe names):
// the user's SID and the session number there, the user id here. Empty if the system cannot say.
std::string userSessionTag();

// True when this user may create files in the folder.
bool folderWritable(const std::string& folder);

} // namespace quorvane
