// The environment of a measured child: this one, with no display and a runtime folder where no instance of the
// program listens.
#pragma once

#include <string>
#include <vector>

extern char** environ;

namespace quorvane::bench {

inline std::vector<std::string> childEnvironment(const std::string& runtimeDir) {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable) {
        const std::string text = *variable;
        const std::string name = text.substr(0, text.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "XDG_RUNTIME_DIR" && name != "QT_QPA_PLATFORM")
            variables.push_back(text);
    }
    variables.push_back("XDG_RUNTIME_DIR=" + runtimeDir);
    variables.push_back("QT_QPA_PLATFORM=offscreen");
    return variables;
}

} // namespace quorvane::bench
