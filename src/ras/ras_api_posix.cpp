// Systems without a dial-up library: the library never loads, so the component answers "not available".
#include "ras/ras_api.h"

namespace quorvane {

namespace {

class NoRasApi : public RasApi {
public:
    OsVersion osVersion() const override { return {}; }
    bool load() override { return false; }
    std::uint32_t enumEntries(const char*, std::uint8_t*, std::uint32_t&, std::uint32_t& count) override {
        count = 0;
        return kRasLibraryNotAvailable;
    }
    std::uint32_t enumConnections(std::uint8_t*, std::uint32_t&, std::uint32_t& count) override {
        count = 0;
        return kRasLibraryNotAvailable;
    }
    std::uint32_t getConnectStatus(RasHandle, std::uint8_t*) override { return kRasLibraryNotAvailable; }
    std::uint32_t getErrorString(std::uint32_t, char*, std::uint32_t) override { return kRasLibraryNotAvailable; }
    std::string systemMessage(std::uint32_t) const override { return {}; }
};

} // namespace

RasApi& systemRasApi() {
    static NoRasApi api;
    return api;
}

} // namespace quorvane
