// Output of the command line reaches the terminal the program was started from.
#pragma once

namespace quorvane {

// A Windows GUI program has no console of its own: borrow the starting one so that --status and the
// messages print there, unless the output was redirected. Called when there is something to print, so
// that a window start holds no console, and clients it shows get windows of their own. Nothing to do
// elsewhere.
void useParentConsole();

// Commands run without windows: where a screen may be missing (over ssh, from cron), Qt is told to
// need none, unless the user chose a platform. Windows always has its desktop.
void runWithoutScreen();

} // namespace quorvane
