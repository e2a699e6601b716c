// Windows: no file is watched; a log is looked at every time, one size query on the open handle.
#include "tunnel/file_growth_watch.h"

namespace quorvane {

namespace {

class UnwatchedFiles : public FileGrowthWatch {
public:
    Token watch(const fs::NoFollowFile&) override { return kNotWatched; }
    void unwatch(Token) override {}
    void collect() override {}
};

} // namespace

std::unique_ptr<FileGrowthWatch> createFileGrowthWatch() {
    return std::make_unique<UnwatchedFiles>();
}

} // namespace quorvane
