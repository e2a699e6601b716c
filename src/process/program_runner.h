// Running a tunnel's own programs before and after its client: split like a client's command line,
// started without a shell in the tunnel's folder.
#pragma once

#include <string>

#include "process/client_launcher.h"

namespace quorvane {

struct ProgramRun {
    bool started = false;  // false: error says why (no such program, ...)
    bool finished = false; // false after a start: it did not end within the time and was stopped
    int exitCode = 0;
    std::string error;
};

// Runs commandLine (split by the Windows rules; the program is looked for relative to directory when
// it names a folder, else on the PATH) in directory, with no input and its output discarded, and
// waits at most timeoutMs for its end; one that takes longer is ended by force.
ProgramRun runProgramAndWait(const std::string& commandLine, const std::string& directory, int timeoutMs);

// The file a command line's first word names: relative to directory when it holds a folder, else
// found on the PATH; empty when there is none.
std::string findProgram(const std::string& program, const std::string& directory);

// The same command line as a hidden start that is not waited for (the launcher's request); an empty
// executable when the line names no program.
LaunchRequest programLaunch(const std::string& commandLine, const std::string& directory);

} // namespace quorvane
