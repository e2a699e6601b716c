// The login entry: an Exec line that gives the program's path back whole, removed again, and never written or
// removed through a link left in its place; the option that sets it.
#include "store/autostart.h"
#include "store/program_settings.h"
#include "store/working_dir.h"

#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace quorvane {
namespace {

class Autostart : public ::testing::Test {
protected:
    Autostart() {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            saved = old;
        ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    }
    ~Autostart() override { saved ? ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME"); }
    bool entryExists() const { return std::filesystem::exists(std::filesystem::symlink_status(entry)); }

    test::TempDir config;
    test::TempDir data;
    const std::string entry = config.file("autostart/quorvane.desktop");
    std::optional<std::string> saved;
};

TEST_F(Autostart, WritesAnExecLineThatQuotesThePathAndRemovesIt) {
    ASSERT_EQ(autostart::enable(R"(/opt/my tools/"q" 100% $HOME `x` back\slash/quorvane)"), "");
    EXPECT_NE(config.read("autostart/quorvane.desktop")
                  .find("\nExec=env "
                        R"("/opt/my tools/\\"q\\" 100%% \\$HOME \\`x\\` back\\\\slash/quorvane" --hidden)"
                        "\n"),
              std::string::npos)
        << config.read("autostart/quorvane.desktop");
    EXPECT_EQ(autostart::disable(), "");
    EXPECT_FALSE(entryExists());
    EXPECT_EQ(autostart::disable(), "") << "nothing there is no failure";
    EXPECT_NE(autostart::enable("/opt/a\nHidden=true/quorvane"), "") << "a line break would make a key";
    EXPECT_FALSE(entryExists());
}

// The entry as a desktop's launcher reads it (GLib's, as GNOME and most autostart runners use): the program
// starts, with its path whole, however its folder is spelt.
TEST_F(Autostart, GLibsLauncherStartsTheProgramFromAFolderWithBlanksQuotesAndPercent) {
    if (!std::filesystem::exists("/usr/bin/gio")) {
        if (const char* ci = std::getenv("CI"); ci && std::string(ci) == "true")
            FAIL() << "gio is not installed";
        GTEST_SKIP() << "gio is not installed";
    }
    for (const std::string folder : {"plain", "100% sure", "it's \"$HOME\""}) {
        SCOPED_TRACE(folder);
        data.makeFolder(folder);
        const std::string program = data.file(folder + "/quorvane");
        const std::string mark = data.file("started");
        std::filesystem::remove(mark);
        data.write(folder + "/quorvane", "#!/bin/sh\necho \"$0 $*\" > '" + mark + "'\n");
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        ASSERT_EQ(autostart::enable(program), "");
        const std::string command = "gio launch '" + entry + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0);
        for (int i = 0; i < 50 && !std::filesystem::exists(mark); ++i)
            ::usleep(100 * 1000);
        EXPECT_EQ(data.read("started"), program + " --hidden\n");
    }
}

TEST_F(Autostart, ALinkInTheEntrysPlaceIsNeitherFollowedNorRemoved) {
    config.write("elsewhere.desktop", "someone else's");
    config.makeFolder("autostart");
    std::filesystem::create_symlink(config.file("elsewhere.desktop"), entry);
    EXPECT_NE(autostart::enable("/usr/bin/quorvane"), "");
    EXPECT_NE(autostart::disable(), "");
    EXPECT_TRUE(std::filesystem::is_symlink(entry));
    EXPECT_EQ(config.read("elsewhere.desktop"), "someone else's");
}

// Off by default and in a file without the key; a change writes or removes the entry for this executable.
TEST_F(Autostart, TheOptionWritesTheEntryOnlyWhenItChanges) {
    data.write("quorvane.ini", "[Opzioni]\r\nIconaSempre=1\r\n");
    const ProgramSettings old = loadProgramSettings(data.withSeparator());
    EXPECT_FALSE(old.startAtLogin);
    EXPECT_TRUE(keepProgramSettings(data.withSeparator(), data.withSeparator(), old, old).startAtLoginNotSet.empty());
    EXPECT_FALSE(entryExists());

    ProgramSettings on = old;
    on.startAtLogin = true;
    EXPECT_EQ(keepProgramSettings(data.withSeparator(), data.withSeparator(), old, on).startAtLoginNotSet, "");
    EXPECT_NE(config.read("autostart/quorvane.desktop").find(executablePath()), std::string::npos);
    EXPECT_TRUE(loadProgramSettings(data.withSeparator()).startAtLogin);
    keepProgramSettings(data.withSeparator(), data.withSeparator(), on, old);
    EXPECT_FALSE(entryExists());
    EXPECT_FALSE(loadProgramSettings(data.withSeparator()).startAtLogin);
}

} // namespace
} // namespace quorvane
