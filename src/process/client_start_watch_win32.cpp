// Windows tells of a program's start only to a process that lists them: every pass lists.
#include "process/client_start_watch.h"

namespace quorvane {

namespace {

class ListingEveryTime : public ClientStartWatch {
public:
    void follow(const std::string&, const std::vector<std::string>&) override {}
    bool mayHaveStarted() override { return true; }
};

} // namespace

std::unique_ptr<ClientStartWatch> createSystemClientStartWatch() {
    return std::make_unique<ListingEveryTime>();
}

} // namespace quorvane
