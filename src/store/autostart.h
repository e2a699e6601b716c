// The entry that starts the program hidden when the user logs in: a desktop entry in the user's autostart
// folder here, a value of the user's Run key on Windows.
#pragma once

#include <string>

namespace quorvane::autostart {

// Writes the entry for program (its absolute path), started with --hidden, in place of the one there.
// Empty when done, else why not: a link, a folder or anything but a regular file in the entry's place is
// refused, never written through.
std::string enable(const std::string& program);

// Removes the entry. Empty when there is none afterwards, else why not (a link in its place is left alone).
std::string disable();

} // namespace quorvane::autostart
