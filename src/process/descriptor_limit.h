// Room for the descriptors the program holds: its clients' pipes, probes and the instance socket's peers.
#pragma once

namespace quorvane {

// Raises the soft limit on open descriptors to the hard one where the system has such limits (POSIX);
// a desktop session's soft limit of 1024 is easily reached by a flood of connections. False when refused.
bool raiseDescriptorLimit();

// In a child between fork and exec (async-signal-safe): the soft limit the program started with, as
// programs written for select() expect, and as the clients started before the raise had.
void restoreStartingDescriptorLimit();

} // namespace quorvane
