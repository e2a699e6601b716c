// Renaming a tunnel on disk: its folder and its client copy, never over anything that exists.
#pragma once

#include <string>

namespace quorvane {

enum class RenameOutcome {
    Renamed,
    NameTaken, // another tunnel (any letter case) or file already has the new name
    Failed,    // the folder or the client copy could not be renamed; nothing changed
};

// Renames tunnels/oldName to tunnels/newName and, inside it, oldName + "SSH.exe" to newName +
// "SSH.exe" (a missing client copy is no failure). newName must be a valid tunnel name. A change of
// letter case alone is a rename of the same folder. If the client copy cannot follow, the folder
// gets its old name back. The caller makes sure the client is not running.
RenameOutcome renameTunnel(const std::string& workingDir, const std::string& oldName, const std::string& newName);

// Moves from to to, failing when to exists; a symbolic link is moved as itself.
bool moveWithoutReplacing(const std::string& from, const std::string& to);

} // namespace quorvane
