// `--status` carried out here, on fake processes, over a tunnel folder that holds a huge tree.
#include "cli/command_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "support/fake_core_services.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

// POSIX only: under wine, making 50,000 folders in one takes far too long.
TEST(StatusHere, ListsTheTunnelsOnlyHoweverMuchATunnelFolderHolds) {
    test::TempDir work;
    work.makeFolder("tunnells/Home");
    const auto nested = [&work](int i) { return work.file("tunnells/Office/x" + std::to_string(i)); };
    work.makeFolder("tunnells/Office");
    for (int i = 0; i < 50000; ++i)
        ::mkdir(nested(i).c_str(), 0700);
    std::string deep = "tunnells/Office/Home";
    for (int i = 0; i < 200; ++i)
        deep += "/a";
    work.makeFolder(deep);

    const ProgramFolders folders{work.withSeparator(), work.withSeparator()};
    test::FakeProcessServices processes;
    test::FakeSocketTable sockets;
    test::RecordingLauncher launcher{&processes, &sockets};
    test::FakeClock clock;
    TunnelHealthTracker health{folders.data, sockets, clock};
    TunnelService service{folders, processes, launcher, health};
    BuiltInCommandHost host;
    CommandRunner runner(service, host);
    std::string output;
    std::string errors;
    EXPECT_EQ(runner.runHere(*parseStartCommand({"--status"}).command, output, errors), 0) << errors;
    EXPECT_EQ(output, "Home\tnot connected\nOffice\tnot connected\n");

    for (int i = 0; i < 50000; ++i) // far quicker than the temporary folder's clean-up, which opens each
        ::rmdir(nested(i).c_str());
}

} // namespace
} // namespace quorvane
