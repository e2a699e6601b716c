// Definition files that cannot serve: links, pipes and folders in their place (POSIX fixtures).
#include "store/tunnel_definition.h"

#include "store/file_system.h"
#include "store/paths.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace quorvane;
using quorvane::test::TempDir;

namespace {

const TunnelDefinition kSample{"ssh.example.org", "2222", "mario", "p=w;d", "9001", "10.1.2.3", "3389", true};

} // namespace

// Each file that cannot serve is reported by path; the editor's load gives empty values for it.
TEST(TunnelDefinitionFile, CheckedLoadReportsFilesThatCannotServe) {
    TempDir dir;
    const std::string wd = dir.withSeparator();
    const std::string valid = "[SSH Server]\r\nIpServer=host\r\n";
    dir.write("tunnells/Big/tunnell.tun", valid + std::string(kDefinitionMaxBytes - valid.size() + 1, ';'));
    dir.write("tunnells/Full/tunnell.tun", valid + std::string(kDefinitionMaxBytes - valid.size(), ';'));
    dir.write("tunnells/Real/tunnell.tun", valid);
    dir.makeFolder("tunnells/Folder/tunnell.tun");
    dir.makeFolder("tunnells/Pipe");
    ASSERT_EQ(::mkfifo(dir.file("tunnells/Pipe/tunnell.tun").c_str(), 0600), 0);
    dir.makeFolder("tunnells/FileLink");
    ASSERT_EQ(::symlink("../Real/tunnell.tun", dir.file("tunnells/FileLink/tunnell.tun").c_str()), 0);
    ASSERT_EQ(::symlink("Real", dir.file("tunnells/FolderLink").c_str()), 0);

    const std::pair<const char*, DefinitionProblem> cases[] = {
        {"Full", DefinitionProblem::None},       {"Big", DefinitionProblem::TooLarge},
        {"Nowhere", DefinitionProblem::Missing}, {"Folder", DefinitionProblem::NotAFile},
        {"Pipe", DefinitionProblem::NotAFile},   {"FileLink", DefinitionProblem::Link},
        {"FolderLink", DefinitionProblem::Link},
    };
    for (const auto& [name, problem] : cases) {
        const DefinitionLoad load = loadDefinitionChecked(wd, name);
        EXPECT_EQ(load.problem, problem) << name;
        EXPECT_EQ(load.path, paths::DefinitionFile(wd, name));
        EXPECT_EQ(load.message().find(load.path) != std::string::npos, !load.ok()) << load.message();
        EXPECT_EQ(LoadDefinition(wd, name).IpServer, load.ok() ? "host" : "") << name;
    }

    // The tunnels folder itself may be a link the user made.
    TempDir elsewhere;
    ASSERT_EQ(::symlink(dir.file("tunnells").c_str(), elsewhere.file("tunnells").c_str()), 0);
    EXPECT_TRUE(loadDefinitionChecked(elsewhere.withSeparator(), "Real").ok());
    SaveDefinition(elsewhere.withSeparator(), "Real", kSample);
    EXPECT_EQ(LoadDefinition(wd, "Real"), kSample);
}

TEST(TunnelDefinitionFile, RefusedSavesNameTheCauseAndChangeNothing) {
    TempDir dir;
    const std::string wd = dir.withSeparator();
    dir.write("tunnells/Real/tunnell.tun", "[SSH Server]\r\nIpServer=old\r\n");
    ASSERT_EQ(::symlink("Real", dir.file("tunnells/FolderLink").c_str()), 0);
    dir.makeFolder("tunnells/FileLink");
    ASSERT_EQ(::symlink("../Real/tunnell.tun", dir.file("tunnells/FileLink/tunnell.tun").c_str()), 0);
    TunnelDefinition lineBreak = kSample;
    lineBreak.Password = "pw\nAutoConnessione=1"; // a later key: nothing before it may be written either
    // At the limit already: the added keys would make a file the load refuses.
    const std::string full = "[SSH Server]\r\n" + std::string(kDefinitionMaxBytes - 14, ';');
    dir.write("tunnells/Full/tunnell.tun", full);

    const std::tuple<const char*, TunnelDefinition, StoreError::Cause> cases[] = {
        {"FolderLink", kSample, StoreError::Cause::Link},
        {"FileLink", kSample, StoreError::Cause::Link},
        {"Real", lineBreak, StoreError::Cause::BadValue},
        {"Full", kSample, StoreError::Cause::TooLarge},
    };
    for (const auto& [name, definition, cause] : cases) {
        try {
            SaveDefinition(wd, name, definition);
            ADD_FAILURE() << name << " saved";
        } catch (const StoreError& error) {
            EXPECT_EQ(error.cause(), cause) << name;
            EXPECT_EQ(std::string(error.what()), "Unable to write to " + paths::DefinitionFile(wd, name));
        }
        EXPECT_EQ(dir.read("tunnells/Real/tunnell.tun"), "[SSH Server]\r\nIpServer=old\r\n");
    }
    EXPECT_EQ(dir.read("tunnells/Full/tunnell.tun"), full);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("tunnells/Real")), {}), 1)
        << "no temporary file left";
}
