// Keeps the program's memory, which holds passwords, away from core files and other programs.
#pragma once

namespace quorvane {

// No core file, and no reading of this process's memory by other processes of the same user
// (POSIX: not dumpable). Best effort: false when the system refused part of it.
bool hardenProcess();

} // namespace quorvane
