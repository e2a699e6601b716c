// File-system services shared by every platform: the names of the store's temporary files.
#include "store/file_system.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane::fs {

namespace {

constexpr std::string_view kMarker = ".quorvane-";
constexpr std::string_view kSuffix = ".tmp";

// A run of decimal digits of 32 bits at most (process numbers and counters are no larger).
bool parseNumber(std::string_view digits, unsigned long& value) {
    if (digits.empty() || digits.size() > 10)
        return false;
    unsigned long long number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<unsigned long long>(c - '0');
    }
    value = static_cast<unsigned long>(number);
    return number <= 0xFFFFFFFFull;
}

} // namespace

std::string temporaryNameFor(const std::string& target, unsigned long processId, unsigned long number) {
    return "." + target + std::string(kMarker) + std::to_string(processId) + "-" + std::to_string(number) +
           std::string(kSuffix);
}

bool isTemporaryName(const std::string& name, unsigned long& processId) {
    std::string_view rest = name;
    if (rest.size() < 2 || rest.front() != '.' || !rest.ends_with(kSuffix))
        return false;
    rest.remove_suffix(kSuffix.size());
    const auto marker = rest.rfind(kMarker);
    if (marker == std::string_view::npos || marker < 2) // "." and a target of one character at least
        return false;
    const std::string_view numbers = rest.substr(marker + kMarker.size());
    const auto dash = numbers.find('-');
    unsigned long number = 0;
    return dash != std::string_view::npos && parseNumber(numbers.substr(0, dash), processId) &&
           parseNumber(numbers.substr(dash + 1), number);
}

namespace {

FileStatus readWhole(const NoFollowFile& file, std::size_t maxBytes, std::string& bytes) {
    const std::int64_t size = file.size();
    if (size < 0)
        return FileStatus::Failed;
    if (static_cast<std::uint64_t>(size) > maxBytes)
        return FileStatus::TooLarge;
    // One byte past the size tells a file that grew since; never more than one past the limit.
    std::string data;
    if (!file.readAt(0, static_cast<std::size_t>(size) + 1, data))
        return FileStatus::Failed;
    if (data.size() > static_cast<std::size_t>(size) && !file.readAt(0, maxBytes + 1, data)) // it grew meanwhile
        return FileStatus::Failed;
    if (data.size() > maxBytes)
        return FileStatus::TooLarge;
    bytes = std::move(data);
    return FileStatus::Ok;
}

} // namespace

FileStatus readFileNoFollow(const std::string& path, std::size_t maxBytes, std::string& bytes) {
    NoFollowFile file;
    if (const FileStatus status = file.open(path, NoFollowFile::Access::Read); status != FileStatus::Ok)
        return status;
    return readWhole(file, maxBytes, bytes);
}

FileStatus OpenFolder::readFileNoFollow(const std::string& relative, std::size_t maxBytes, std::string& bytes) const {
    NoFollowFile file;
    // Anything but a plain file reached the plain way (a link, a name in another letter case) gets the full
    // path's answer.
    if (m_handle != -1 && file.openBeneath(m_handle, relative))
        return readWhole(file, maxBytes, bytes);
    return fs::readFileNoFollow(m_path + relative, maxBytes, bytes);
}

NoFollowFile::~NoFollowFile() {
    close();
}

void NoFollowFile::close() {
    if (m_handle != kClosed)
        closeNativeHandle(m_handle);
    m_handle = kClosed;
}

std::string fileProblemReason(FileStatus status, std::size_t maxBytes) {
    switch (status) {
    case FileStatus::Ok:
        return {};
    case FileStatus::Missing:
        return "it does not exist";
    case FileStatus::Link:
        return "it or its folder is a symbolic link";
    case FileStatus::HardLinked:
        return "it has other links";
    case FileStatus::NotAFile:
        return "it is not a regular file";
    case FileStatus::TooLarge:
        return "it is larger than " + (maxBytes >= (std::size_t{1} << 20) ? std::to_string(maxBytes >> 20) + " MiB"
                                                                          : std::to_string(maxBytes >> 10) + " KiB");
    case FileStatus::Failed:
        break;
    }
    return "it cannot be read";
}

std::string fileProblemWords(FileStatus status, const std::string& path, std::size_t maxBytes) {
    if (status == FileStatus::Ok)
        return {};
    return "Unable to read " + path + ": " + fileProblemReason(status, maxBytes);
}

} // namespace quorvane::fs
