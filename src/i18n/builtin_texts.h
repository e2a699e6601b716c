// The program's built-in Italian texts without Qt: every message text, and the editor captions that name fields.
#pragma once

#include <span>
#include <string_view>

namespace quorvane {

struct BuiltInText {
    std::string_view key;  // the field of fMessage that holds it
    std::string_view text; // UTF-8
};

// Every message text, in the order of the fields of fMessage.
std::span<const BuiltInText> builtInTexts();

// The message text of that key, or empty for an unknown key.
std::string_view builtInText(std::string_view key);

// The caption of an editor label or group title that names a field in messages, by its object name
// ("ipaddress", "serversshtitle", ...), as the editor shows it; empty for any other name.
std::string_view builtInCaption(std::string_view objectName);

} // namespace quorvane
