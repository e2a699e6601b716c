// The folder of the running executable: the base of every path the program builds.
#pragma once

#include <string>

namespace quorvane {

// Folder part of the running executable's full path, including the trailing separator
// (/proc/self/exe here, GetModuleFileName on Windows). Empty only if the system cannot say.
std::string executableFolder();

// The running executable's full path, as the system reports it; empty only if the system cannot say.
std::string executablePath();

} // namespace quorvane
