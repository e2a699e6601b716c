// Tells which of a few open files were written since they were last read, so that each second's look at many
// quiet client logs is one question to the system, not one per file.
#pragma once

#include <memory>
#include <unordered_set>

#include "store/file_system.h"

namespace quorvane {

class FileGrowthWatch {
public:
    using Token = int;
    static constexpr Token kNotWatched = -1;

    virtual ~FileGrowthWatch() = default;

    // Starts watching the open file; kNotWatched when the system cannot (it is then read every time). A file
    // just watched counts as written: what it held before is still to be read.
    virtual Token watch(const fs::NoFollowFile& file) = 0;
    virtual void unwatch(Token token) = 0;
    // Collects what the system told since the last call: once per round of reads, before them.
    virtual void collect() = 0;
    // Whether the file was written since the last call for it (true when that cannot be told).
    bool takeWritten(Token token);
    // Counts it as written again: what was told could not be read, and is read at the next round.
    void keepWritten(Token token) {
        if (token != kNotWatched)
            markWritten(token);
    }

protected:
    void markWritten(Token token) { m_written.insert(token); }
    // The system stopped watching it (the file was removed): it is read every time from now on.
    void markGone(Token token) { m_gone.insert(token); }
    void forget(Token token) {
        m_written.erase(token);
        m_gone.erase(token);
    }

private:
    std::unordered_set<Token> m_written;
    std::unordered_set<Token> m_gone;
};

// inotify on Linux; on Windows no file is watched, and each is read every time.
std::unique_ptr<FileGrowthWatch> createFileGrowthWatch();

} // namespace quorvane
