// libFuzzer target: any bytes as an INI file; reading any section or key never crashes and keeps to the limits.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "ini_fuzz_support.h"
#include "store/file_system.h"
#include "store/ini_file.h"
#include "store/text_codec.h"

using namespace quorvane;
using quorvane::fuzz::codePoints;

namespace {

constexpr const char* kTarget = "ini_read_fuzz";
const std::string kAbsent = "\n"; // no value can hold a line end

void require(bool holds, const char* property) {
    fuzz::require(holds, kTarget, property);
}

// One file in a folder of this process's own (the fuzzer runs one input at a time), removed at exit.
const std::string& scratchFile() {
    static const std::string path = [] {
        static std::string folder = "/tmp/ini_read_fuzz-XXXXXX";
        require(::mkdtemp(folder.data()) != nullptr, "a scratch folder can be made");
        std::atexit([] {
            ::unlink((folder + "/t.ini").c_str());
            ::rmdir(folder.c_str());
        });
        return folder + "/t.ini";
    }();
    return path;
}

void checkKey(const IniText& text, const std::string& section, const std::string& key) {
    const std::string value = text.readString(section, key, kAbsent);
    if (value == kAbsent)
        return;
    require(isValidUtf8(value), "a value is UTF-8");
    require(codePoints(value) < IniText::kValueBufferChars, "a value is cut to 2047 characters");
    require(text.readString(section, key, "other") == value, "a present key does not depend on the default");
}

void checkKeyNames(const IniText& text, const std::string& section, std::size_t bufferChars) {
    const std::vector<std::string> all = text.readKeyNames(section, 1u << 20);
    const std::vector<std::string> limited = text.readKeyNames(section, bufferChars);
    require(limited.size() <= all.size() && std::equal(limited.begin(), limited.end(), all.begin()),
            "a smaller buffer gives a prefix of the names");
    std::size_t used = 1;
    for (const std::string& name : limited)
        used += codePoints(name) + 1;
    require(limited.empty() || used <= bufferChars, "the names fit the buffer");
    // Each read parses the whole text: a few names are probe enough.
    for (std::size_t i = 0; i < all.size() && i < 4; ++i) {
        require(!all[i].empty() && isValidUtf8(all[i]), "a key name is not empty and is UTF-8");
        require(text.readString(section, all[i], kAbsent) != kAbsent, "a listed key can be read");
    }
}

// The guarded read gives the file exactly when it is within the limit, and refuses it otherwise.
void checkBoundedRead(const std::string& bytes, std::size_t limit) {
    std::ofstream(scratchFile(), std::ios::binary | std::ios::trunc) << bytes;
    std::string read = "untouched";
    const fs::FileStatus status = fs::readFileNoFollow(scratchFile(), limit, read);
    if (bytes.size() <= limit)
        require(status == fs::FileStatus::Ok && read == bytes, "a file within the limit reads whole");
    else
        require(status == fs::FileStatus::TooLarge && read == "untouched", "a file over the limit is refused");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::string section = provider.ConsumeRandomLengthString(32);
    const std::string key = provider.ConsumeRandomLengthString(32);
    const auto bufferChars = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
    const auto limit = provider.ConsumeIntegralInRange<std::size_t>(0, size);
    const std::string bytes = provider.ConsumeRemainingBytesAsString();
    const IniText text(bytes);

    checkKey(text, section, key);
    checkKeyNames(text, section, bufferChars);
    const fuzz::FileNames names = fuzz::namesIn(decodeFileText(bytes), 4);
    for (const std::string& fileSection : names.sections) {
        checkKeyNames(text, fileSection, bufferChars);
        for (const std::string& fileKey : names.keys)
            checkKey(text, fileSection, fileKey);
    }
    checkBoundedRead(bytes, limit);
    return 0;
}
