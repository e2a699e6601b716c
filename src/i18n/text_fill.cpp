// Message texts filled with their values.
#include "i18n/text_fill.h"

namespace quorvane {

std::string fillText(std::string text, const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string marker(1, '%'); // not "%" + ...: GCC 12 warns wrongly (-Wrestrict) on that
        marker += std::to_string(i + 1);
        // Past the value just put in: one that holds its own marker is not filled again.
        for (std::size_t at = text.find(marker); at != std::string::npos;
             at = text.find(marker, at + values[i].size())) {
            text.replace(at, marker.size(), values[i]);
        }
    }
    return text;
}

} // namespace quorvane
