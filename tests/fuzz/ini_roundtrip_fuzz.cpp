// libFuzzer target: any file bytes and any entries; a write reads back exactly, or is refused for a stated reason,
// and every other key reads as before.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ini_fuzz_support.h"
#include "store/ini_file.h"
#include "store/text_codec.h"

using namespace quorvane;
using quorvane::fuzz::sameName;

namespace {

constexpr const char* kTarget = "ini_roundtrip_fuzz";
const std::string kAbsent = "\n"; // no value can hold a line end

void require(bool holds, const char* property) {
    fuzz::require(holds, kTarget, property);
}

// The refusals the writer documents, decided here without it.
bool mustRefuse(const IniEntry& entry) {
    for (const std::string* text : {&entry.section, &entry.key, &entry.value}) {
        if (text->find_first_of("\r\n") != std::string::npos || !isValidUtf8(*text))
            return true;
    }
    const auto first = entry.key.find_first_not_of(" \t\r\v\f");
    const char front = first == std::string::npos ? '\0' : entry.key[first];
    return entry.key.find('=') != std::string::npos || front == ';' || front == '[' ||
           fuzz::codePoints(entry.value) > 2047;
}

// A name the file holds (to hit in-place writes) or one of the input's own.
std::string pickName(FuzzedDataProvider& provider, const std::vector<std::string>& inFile) {
    if (!inFile.empty() && provider.ConsumeBool())
        return inFile[provider.ConsumeIntegralInRange<std::size_t>(0, inFile.size() - 1)];
    return provider.ConsumeRandomLengthString(16);
}

bool writtenLater(const std::vector<IniEntry>& entries, std::size_t i) {
    for (std::size_t j = i + 1; j < entries.size(); ++j) {
        if (sameName(entries[i].section, entries[j].section) && sameName(entries[i].key, entries[j].key))
            return true;
    }
    return false;
}

bool written(const std::vector<IniEntry>& entries, const std::string& section, const std::string& key) {
    for (const IniEntry& entry : entries) {
        if (sameName(entry.section, section) && sameName(entry.key, key))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::string bytes = provider.ConsumeRandomLengthString(size);
    fuzz::FileNames names = fuzz::namesIn(decodeFileText(bytes), 8);
    std::vector<IniEntry> entries(provider.ConsumeIntegralInRange<std::size_t>(1, 3));
    for (IniEntry& entry : entries) {
        entry.section = pickName(provider, names.sections);
        entry.key = pickName(provider, names.keys);
        entry.value = provider.ConsumeBool() ? std::string(provider.ConsumeIntegralInRange<std::size_t>(2040, 2050),
                                                           provider.ConsumeIntegral<char>())
                                             : provider.ConsumeRandomLengthString(64);
    }

    const IniText before(bytes);
    IniText after(bytes);
    bool refuse = false;
    for (const IniEntry& entry : entries)
        refuse = refuse || mustRefuse(entry);
    const bool wrote = after.write(entries);
    require(wrote != refuse, "refused exactly the entries that could not read back");
    if (!wrote) {
        require(after.bytes() == bytes, "a refused write changes nothing");
        return 0;
    }
    if (isValidUtf8(bytes))
        require(isValidUtf8(after.bytes()), "a UTF-8 file stays UTF-8");

    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!writtenLater(entries, i))
            require(after.readString(entries[i].section, entries[i].key, kAbsent) == entries[i].value,
                    "a written value reads back exactly");
    }
    for (const IniEntry& entry : entries) {
        names.sections.push_back(entry.section);
        names.keys.push_back(entry.key);
    }
    for (const std::string& section : names.sections) {
        for (const std::string& key : names.keys) {
            if (!written(entries, section, key))
                require(after.readString(section, key, kAbsent) == before.readString(section, key, kAbsent),
                        "every other key reads as before");
        }
    }
    return 0;
}
