// The path forms every command builds from WorkingDir and a tunnel name, joined literally.
#pragma once

#include <string>

namespace quorvane::paths {

// Each form is WorkingDir, the literal pieces and the tunnel name joined with nothing in between,
// with the platform separator in place of the backslash; a doubled separator is harmless.
std::string LanguageFile(const std::string& workingDir);
std::string TunnelsDirForListing(const std::string& workingDir);
std::string DefinitionFile(const std::string& workingDir, const std::string& name);     // "\tunnells\N\tunnell.tun"
std::string DefinitionFileInTunnels(const std::string& name);                           // "N\tunnell.tun"
std::string TunnelFolderForAdd(const std::string& workingDir, const std::string& name); // "\tunnells\N"
std::string PlinkSource(const std::string& workingDir);                                 // "\plink.exe"
std::string ClientCopyForAdd(const std::string& workingDir, const std::string& name);   // folder + "\N" + "SSH.exe"
std::string DefinitionFileForAdd(const std::string& tunnelFolder);                      // folder + "\Tunnell.tun"
std::string ClientExePath(const std::string& workingDir, const std::string& name);      // "tunnells\N\NSSH.exe"
std::string ClientWorkingFolder(const std::string& clientExePath);                      // without last separator + file
std::string ClientExeName(const std::string& name);                                     // N + "SSH.exe"
std::string TunnelFolderForDelete(const std::string& workingDir, const std::string& name); // "\tunnells\N"
std::string PuttyLicence(const std::string& workingDir);
std::string ProgramLicence(const std::string& workingDir);
std::string KeyGenerator(const std::string& workingDir);

// A tunnel name must be one folder name that the load lists again: not empty, neither starting nor
// ending with "." (so neither "." nor ".."), no '/', '\\', ':' and no control character. Names of
// blanks only are valid.
bool isValidTunnelName(const std::string& name);

} // namespace quorvane::paths
