// Filling a message text's markers (%1, %2 ...) with values: one rule for the windows and the terminal.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

// Each %N becomes the Nth value; a value that holds a marker is not filled again.
std::string fillText(std::string text, const std::vector<std::string>& values);

} // namespace quorvane
