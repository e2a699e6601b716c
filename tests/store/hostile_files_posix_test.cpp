// Every file the program opens, replaced by what a hostile folder could hold: a message or a defined
// fallback each time, never a hang, and nothing outside written.
#include "i18n/language_file.h"
#include "store/file_system.h"
#include "store/ini_file.h"
#include "store/paths.h"
#include "store/program_settings.h"
#include "store/tunnel_definition.h"
#include "tunnel/client_log.h"
#include "tunnel/forward_events.h"
#include "tunnel/socket_table.h"
#include "tunnel/tunnel_health_tracker.h"

#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quorvane {
namespace {

namespace stdfs = std::filesystem;

enum class Hostile { LinkOutside, Fifo, Device, Folder, Oversize };

struct NoSockets : SocketTable {
    std::vector<ListeningSocket> listening(const std::vector<ProcessId>&) override { return {}; }
};

// Puts the hostile thing at path; false when this system cannot make it (a device node needs root).
bool plant(Hostile kind, const std::string& path, const std::string& outside) {
    stdfs::create_directories(stdfs::path(path).parent_path());
    switch (kind) {
    case Hostile::LinkOutside:
        stdfs::create_symlink(outside, path);
        return true;
    case Hostile::Fifo:
        return ::mkfifo(path.c_str(), 0600) == 0;
    case Hostile::Device:
        return ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0; // what /dev/zero is
    case Hostile::Folder:
        return stdfs::create_directory(path);
    case Hostile::Oversize:
        stdfs::resize_file(stdfs::path(outside), 0); // the outside file is not the subject here
        {
            std::FILE* file = std::fopen(path.c_str(), "wb");
            std::fseek(file, 8 << 20, SEEK_SET); // sparse: past every limit, no disk spent
            std::fputc('x', file);
            std::fclose(file);
        }
        return true;
    }
    return false;
}

struct Row {
    const char* name;
    Hostile kind;
};

class HostileFile : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        work.write("outside.txt", kOutside);
        stdfs::permissions(work.file("outside.txt"), stdfs::perms::owner_read | stdfs::perms::owner_write |
                                                         stdfs::perms::group_read | stdfs::perms::others_read);
        work.makeFolder("tunnells/Office");
    }
    // Each file the program opens, planted in turn; what happens to it is checked by the caller.
    bool put(const std::string& relative) {
        return plant(GetParam().kind, work.file(relative), work.file("outside.txt"));
    }
    void outsideUntouched() const {
        if (GetParam().kind == Hostile::Oversize)
            return;
        EXPECT_EQ(work.read("outside.txt"), kOutside);
        struct stat info {};
        ::stat(work.file("outside.txt").c_str(), &info);
        EXPECT_EQ(info.st_mode & 0777, 0644u);
    }

    static constexpr const char* kOutside = "someone else's file\n";
    test::TempDir work;
};

TEST_P(HostileFile, IsRefusedWithItsReasonAndNothingOutsideChanges) {
    if (GetParam().kind == Hostile::Device && ::geteuid() != 0)
        GTEST_SKIP() << "a device node needs root";
    const std::string data = work.withSeparator();

    // The program's settings: the defaults, the reason, and no save through it.
    ASSERT_TRUE(put("quorvane.ini"));
    const ProgramSettings settings = loadProgramSettings(data);
    EXPECT_NE(settings.problem, "");
    EXPECT_TRUE(settings.showCommandLine);
    EXPECT_FALSE(saveProgramSettings(data, settings));
    EXPECT_EQ(IniFile(settingsFile(data)).readString("Opzioni", "Lingua", "none"), "none");

    // A language file: not applied, with the reason.
    ASSERT_TRUE(put("default.lng"));
    const language::File language = language::readFile(work.file("default.lng"));
    ASSERT_EQ(language.problems.size(), 1u);
    EXPECT_TRUE(language.entries.empty());

    // A definition: refused with a message, and never written through.
    ASSERT_TRUE(put("tunnells/Office/Tunnell.tun"));
    const DefinitionLoad load = loadDefinitionChecked(data, "Office");
    EXPECT_FALSE(load.ok());
    EXPECT_NE(load.message(), "");
    EXPECT_THROW(SaveDefinition(data, "Office", TunnelDefinition{}), StoreError);

    // A definition to import, or a file to export to, in such a place.
    ASSERT_TRUE(put("export.tun"));
    EXPECT_FALSE(loadDefinitionFile(work.file("export.tun")).ok());
    if (GetParam().kind != Hostile::Oversize) { // a large regular file is replaced, as the user chose
        EXPECT_THROW(exportDefinition(work.file("export.tun"), TunnelDefinition{}), StoreError);
    }

    // The client's log: the start is refused before anything is emptied; reads give nothing.
    if (GetParam().kind != Hostile::Oversize) { // a long log is trimmed, not refused
        ASSERT_TRUE(put("tunnells/Office/client.log"));
        NoSockets sockets;
        SystemClock clock;
        TunnelHealthTracker tracker(data, sockets, clock);
        std::string problem;
        tracker.freshClientLog("Office", problem);
        EXPECT_NE(problem, "");
        EXPECT_EQ(readTail(work.file("tunnells/Office/client.log"), 100), "");
        EXPECT_FALSE(trimLog(work.file("tunnells/Office/client.log"), 1));
        EXPECT_FALSE(ClientLogFollower(work.file("tunnells/Office/client.log")).readNew().any()) << "followed";
    }
    outsideUntouched();
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileFile,
                         ::testing::Values(Row{"LinkOutside", Hostile::LinkOutside}, Row{"Fifo", Hostile::Fifo},
                                           Row{"Device", Hostile::Device}, Row{"Folder", Hostile::Folder},
                                           Row{"Oversize", Hostile::Oversize}),
                         [](const auto& info) { return std::string(info.param.name); });

// A second name of a file elsewhere (a hard link) is not emptied for a client's log either.
TEST(HostileLog, HardLinkIsNotEmptied) {
    test::TempDir work;
    work.write("outside.txt", "kept");
    work.makeFolder("tunnells/Office");
    stdfs::create_hard_link(work.file("outside.txt"), work.file("tunnells/Office/client.log"));
    NoSockets sockets;
    SystemClock clock;
    TunnelHealthTracker tracker(work.withSeparator(), sockets, clock);
    std::string problem;
    tracker.freshClientLog("Office", problem);
    EXPECT_NE(problem.find(": it has other links"), std::string::npos) << problem;
    EXPECT_EQ(work.read("outside.txt"), "kept");
}

} // namespace
} // namespace quorvane
