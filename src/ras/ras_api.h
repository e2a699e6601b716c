// The dial-up library seen as one table of operations on raw buffers in the Windows structure layouts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvane {

using RasHandle = std::uintptr_t;

// Result codes of the dial-up library and of the system that the component itself produces or tests for.
inline constexpr std::uint32_t kRasBufferTooSmall = 603;       // the call reported the size it needs
inline constexpr std::uint32_t kRasInvalidPortHandle = 601;    // also "status could not be read"
inline constexpr std::uint32_t kRasLibraryNotAvailable = 1157; // the system's "library not found"

struct OsVersion {
    bool ntPlatform = false;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};

// 0: the 95/98/ME family; 1: NT before 5; 2: NT 5.0 and later x.0 releases; 3: NT 5.1 and later x.y releases.
// The level decides which structure version, and so which dwSize, the library is given.
int rasApiLevel(const OsVersion& os);

namespace raslayout {

constexpr std::size_t alignUp(std::size_t n, std::size_t to) {
    return (n + to - 1) / to * to;
}

// Character array lengths of the library's ANSI structures (each holds its terminating zero).
inline constexpr std::size_t kEntryNameChars = 257;
inline constexpr std::size_t kDeviceTypeChars = 17;
inline constexpr std::size_t kDeviceNameChars = 129;
inline constexpr std::size_t kPathChars = 260;
inline constexpr std::size_t kPhoneNumberChars = 129;

// RASCONN: dwSize, hrasconn, szEntryName, szDeviceType, szDeviceName (level 0 ends here), szPhonebook, dwSubEntry
// (level 1), guidEntry (level 2), dwFlags, luid (level 3). The handle is pointer-sized, so everything after it moves on
// 64-bit builds; the system's header packs the structures to 4 bytes, so nothing is aligned beyond that.
struct RasConnLayout {
    std::size_t hrasconn, szEntryName, szDeviceType, szDeviceName, szPhonebook, dwSubEntry, guidEntry, dwFlags, luid;
    std::array<std::size_t, 4> sizeByLevel;
};

// charSize 2 gives the wide twin, which the Windows implementation hands to the library.
constexpr RasConnLayout rasConnLayout(std::size_t pointerSize, std::size_t charSize = 1) {
    RasConnLayout l{};
    const std::size_t align = pointerSize < 4 ? pointerSize : 4;
    l.hrasconn = alignUp(4, align);
    l.szEntryName = l.hrasconn + pointerSize;
    l.szDeviceType = l.szEntryName + kEntryNameChars * charSize;
    l.szDeviceName = l.szDeviceType + kDeviceTypeChars * charSize;
    l.szPhonebook = l.szDeviceName + kDeviceNameChars * charSize;
    l.dwSubEntry = alignUp(l.szPhonebook + kPathChars * charSize, 4);
    l.guidEntry = l.dwSubEntry + 4;
    l.dwFlags = l.guidEntry + 16;
    l.luid = l.dwFlags + 4;
    l.sizeByLevel = {alignUp(l.szPhonebook, align), alignUp(l.guidEntry, align), alignUp(l.dwFlags, align),
                     alignUp(l.luid + 8, align)};
    return l;
}

inline constexpr RasConnLayout kRasConn = rasConnLayout(sizeof(void*));
static_assert(rasConnLayout(4).sizeByLevel == std::array<std::size_t, 4>{412, 676, 692, 704});
static_assert(rasConnLayout(8).sizeByLevel == std::array<std::size_t, 4>{416, 680, 696, 708});

// A connection record as kept by the component: the newest structure version, zero beyond the level's size.
inline constexpr std::size_t kRasConnRecordSize = kRasConn.sizeByLevel[3];

// RASCONNSTATUS: dwSize, rasconnstate, dwError, szDeviceType, szDeviceName (level 0 ends here),
// szPhoneNumber (levels 1 to 3). No pointers, so one layout for every build.
struct RasConnStatusLayout {
    std::size_t rasconnstate = 4, dwError = 8, szDeviceType = 12, szDeviceName = 29, szPhoneNumber = 158;
    std::array<std::size_t, 4> sizeByLevel{160, 288, 288, 288};
};
constexpr RasConnStatusLayout rasConnStatusLayout(std::size_t charSize) {
    RasConnStatusLayout l{};
    l.szDeviceName = l.szDeviceType + kDeviceTypeChars * charSize;
    l.szPhoneNumber = l.szDeviceName + kDeviceNameChars * charSize;
    const std::size_t full = alignUp(l.szPhoneNumber + kPhoneNumberChars * charSize, 4);
    l.sizeByLevel = {alignUp(l.szPhoneNumber, 4), full, full, full};
    return l;
}
inline constexpr RasConnStatusLayout kRasConnStatus{};
static_assert(rasConnStatusLayout(1).sizeByLevel == kRasConnStatus.sizeByLevel);
static_assert(kRasConnStatus.szDeviceName == kRasConnStatus.szDeviceType + kDeviceTypeChars);
static_assert(kRasConnStatus.szPhoneNumber == kRasConnStatus.szDeviceName + kDeviceNameChars);
static_assert(kRasConnStatus.sizeByLevel[0] == alignUp(kRasConnStatus.szPhoneNumber, 4));
static_assert(kRasConnStatus.sizeByLevel[1] == alignUp(kRasConnStatus.szPhoneNumber + kPhoneNumberChars, 4));

// RASENTRYNAME: dwSize, szEntryName (levels 0 and 1 end here), dwFlags, szPhonebookPath (levels 2 and 3).
struct RasEntryNameLayout {
    std::size_t szEntryName = 4, dwFlags = 264, szPhonebookPath = 268;
    std::array<std::size_t, 4> sizeByLevel{264, 264, 532, 532};
};
constexpr RasEntryNameLayout rasEntryNameLayout(std::size_t charSize) {
    RasEntryNameLayout l{};
    l.dwFlags = alignUp(l.szEntryName + kEntryNameChars * charSize, 4);
    l.szPhonebookPath = l.dwFlags + 4;
    const std::size_t full = alignUp(l.szPhonebookPath + (kPathChars + 1) * charSize, 4);
    l.sizeByLevel = {l.dwFlags, l.dwFlags, full, full};
    return l;
}
inline constexpr RasEntryNameLayout kRasEntryName{};
static_assert(rasEntryNameLayout(1).sizeByLevel == kRasEntryName.sizeByLevel);
static_assert(kRasEntryName.dwFlags == alignUp(kRasEntryName.szEntryName + kEntryNameChars, 4));
static_assert(kRasEntryName.sizeByLevel[2] == alignUp(kRasEntryName.szPhonebookPath + kPathChars + 1, 4));

} // namespace raslayout

// The library's operations, in the layouts of its ANSI structures with every text in UTF-8 (the Windows
// implementation calls the wide entry points and converts). Buffers are caller-owned, zero-filled
// beyond the dwSize the caller wrote into the first structure; byte counts are in and out as the library
// treats them. Every operation returns the library's result code (0 for success) and never throws.
class RasApi {
public:
    virtual ~RasApi() = default;

    virtual OsVersion osVersion() const = 0;

    // The first call loads the library and looks up its entry points; later calls repeat the answer.
    // True when the dialling entry point was found, which is what "dial-up is available" means.
    virtual bool load() = 0;

    // phonebook nullptr: the system's default phonebook. A name longer than its field is cut at a character.
    virtual std::uint32_t enumEntries(const char* phonebook, std::uint8_t* buffer, std::uint32_t& bytes,
                                      std::uint32_t& count) = 0;
    virtual std::uint32_t enumConnections(std::uint8_t* buffer, std::uint32_t& bytes, std::uint32_t& count) = 0;
    virtual std::uint32_t getConnectStatus(RasHandle connection, std::uint8_t* status) = 0;
    // Writes a zero-terminated UTF-8 text of at most size bytes.
    virtual std::uint32_t getErrorString(std::uint32_t code, char* text, std::uint32_t size) = 0;

    // The operating system's own message for a code; empty when it has none.
    virtual std::string systemMessage(std::uint32_t code) const = 0;
};

// The platform's library (ras_api_win32.cpp, or ras_api_posix.cpp where there is none). One per process,
// released when the program ends.
RasApi& systemRasApi();

} // namespace quorvane
