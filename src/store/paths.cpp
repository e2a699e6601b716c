// The path forms built from WorkingDir and a tunnel name, with the platform separator.
#include "store/paths.h"

#include "store/file_system.h"

namespace quorvane::paths {

namespace {

// The forms are written with '\\' as on Windows; here each becomes the platform separator.
std::string native(std::string literal) {
    const char separator = fs::separator();
    for (char& c : literal) {
        if (c == '\\')
            c = separator;
    }
    return literal;
}

} // namespace

std::string LanguageFile(const std::string& workingDir) {
    return workingDir + native("\\default.lng");
}

std::string TunnelsDirForListing(const std::string& workingDir) {
    return workingDir + native("\\tunnells\\");
}

std::string DefinitionFile(const std::string& workingDir, const std::string& name) {
    return TunnelsDirForListing(workingDir) + DefinitionFileInTunnels(name);
}

std::string DefinitionFileInTunnels(const std::string& name) {
    return name + native("\\tunnell.tun");
}

// Add and delete name the tunnels folder as the listing does: where a "tunnells" and a "Tunnells"
// both exist, every command reaches "tunnells"; where only one spelling exists, it is found in any case.
std::string TunnelFolderForAdd(const std::string& workingDir, const std::string& name) {
    return workingDir + native("\\tunnells\\") + name;
}

std::string PlinkSource(const std::string& workingDir) {
    return workingDir + native("\\plink.exe");
}

std::string ClientCopyForAdd(const std::string& workingDir, const std::string& name) {
    return TunnelFolderForAdd(workingDir, name) + native("\\") + ClientExeName(name);
}

std::string DefinitionFileForAdd(const std::string& tunnelFolder) {
    return tunnelFolder + native("\\Tunnell.tun");
}

std::string ClientExePath(const std::string& workingDir, const std::string& name) {
    return workingDir + native("tunnells\\") + name + native("\\") + ClientExeName(name);
}

std::string ClientWorkingFolder(const std::string& clientExePath) {
    const std::string separators{'/', fs::separator()};
    const auto last = clientExePath.find_last_of(separators);
    return last == std::string::npos ? std::string() : clientExePath.substr(0, last);
}

std::string ClientExeName(const std::string& name) {
    return name + "SSH.exe";
}

std::string TunnelFolderForDelete(const std::string& workingDir, const std::string& name) {
    return workingDir + native("\\tunnells\\") + name;
}

std::string PuttyLicence(const std::string& workingDir) {
    return workingDir + native("\\puttylicense.txt");
}

std::string ProgramLicence(const std::string& workingDir) {
    return workingDir + native("\\license.txt");
}

std::string KeyGenerator(const std::string& workingDir) {
    return workingDir + native("\\puttygen.exe");
}

bool isValidTunnelName(const std::string& name) {
    // The folder walker skips names that end with a dot (Windows drops such dots) and, here, takes
    // names that start with one for hidden: a tunnel of such a name would vanish at the next load.
    if (name.empty() || name.front() == '.' || name.back() == '.')
        return false;
    for (const char c : name) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || c == ':' || code < 0x20 || code == 0x7F)
            return false;
    }
    return true;
}

} // namespace quorvane::paths
