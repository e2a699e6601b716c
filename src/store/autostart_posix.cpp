// The autostart desktop entry, $XDG_CONFIG_HOME/autostart/quorvane.desktop (~/.config without it).
#include "store/autostart.h"

#include <cstdlib>

#include "store/file_system.h"

namespace quorvane::autostart {

namespace {

std::string configFolder() {
    // Only an absolute value counts, as the base directory rules say.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) + "/.config" : std::string();
}

std::string entryFile(const std::string& config) {
    return config + "/autostart/quorvane.desktop";
}

// One argument of an Exec line: quoted, with '"', '`', '$' and '\' escaped inside the quotes, '%' doubled
// (it starts a field code), then every '\' doubled again, since the value itself is an escaped string.
std::string execArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c == '%' ? std::string("%%") : std::string(1, c);
    }
    quoted += '"';
    std::string escaped;
    for (const char c : quoted)
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return escaped;
}

// "Unable to write to PATH: it or its folder is a symbolic link", and the like.
std::string refusal(const char* doing, fs::FileStatus status, const std::string& path) {
    std::string words = std::string("Unable to ") + doing + " " + path;
    if (status == fs::FileStatus::Link || status == fs::FileStatus::NotAFile)
        words += ": " + fs::fileProblemReason(status, 0);
    return words;
}

} // namespace

std::string enable(const std::string& program) {
    const std::string config = configFolder();
    if (config.empty())
        return "Unable to find the user's configuration folder";
    // A line break would end the Exec line, and the rest would be read as keys of their own.
    for (const char c : program) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "Unable to start " + program + " at login: its path holds a control character";
    }
    const std::string path = entryFile(config);
    fs::createFolder(config);
    fs::createFolder(config + "/autostart");
    // Launchers look for the program as the line spells it, before "%%" becomes '%': such a path is started
    // through env, which they always find.
    const std::string command = (program.find('%') != std::string::npos ? "env " : "") + execArgument(program);
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Quorvane\n"
                              "Icon=quorvane\n"
                              "Exec=" +
                              command +
                              " --hidden\n"
                              "Terminal=false\n";
    const fs::FileStatus status = fs::replacePrivateFileNoFollow(path, entry);
    return status == fs::FileStatus::Ok ? std::string() : refusal("write to", status, path);
}

std::string disable() {
    const std::string config = configFolder();
    if (config.empty())
        return {};
    const std::string path = entryFile(config);
    std::string bytes;
    const fs::FileStatus status = fs::readFileNoFollow(path, 64 * 1024, bytes);
    if (status == fs::FileStatus::Missing)
        return {};
    // Someone else's link or folder of that name is not ours to remove.
    if (status == fs::FileStatus::Link || status == fs::FileStatus::NotAFile)
        return refusal("remove", status, path);
    return fs::deleteFile(path) ? std::string() : refusal("remove", fs::FileStatus::Failed, path);
}

} // namespace quorvane::autostart
