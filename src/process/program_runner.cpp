// Finding a tunnel's own programs and starting them without waiting: the same on every platform.
#include "process/program_runner.h"

#include <filesystem>
#include <vector>

#include "process/command_line.h"
#include "store/file_system.h"

namespace quorvane {

std::string findProgram(const std::string& program, const std::string& directory) {
    if (program.find_first_of("/\\") == std::string::npos)
        return fs::findOnPath(program);
    if (std::filesystem::u8path(program).is_absolute())
        return program;
    return directory + fs::separator() + program;
}

LaunchRequest programLaunch(const std::string& commandLine, const std::string& directory) {
    LaunchRequest request;
    const std::vector<std::string> words = splitWindowsCommandLine(commandLine);
    if (words.empty())
        return request;
    request.executable = findProgram(words.front(), directory);
    // The launcher splits the parameters again by the same rules.
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (i > 1)
            request.parameters += ' ';
        request.parameters += quoteWindowsArgument(words[i]);
    }
    request.directory = directory;
    return request;
}

} // namespace quorvane
