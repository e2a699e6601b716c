// What every platform's watch shares: which files were written since they were last read.
#include "tunnel/file_growth_watch.h"

namespace quorvane {

bool FileGrowthWatch::takeWritten(Token token) {
    if (token == kNotWatched || m_gone.count(token))
        return true;
    return m_written.erase(token) > 0;
}

} // namespace quorvane
