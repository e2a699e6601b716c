// The client's log file trimmed while a client holds it open for appending (POSIX descriptors).
#include "tunnel/client_log.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace quorvane {
namespace {

TEST(ClientLogFileTest, ReadsTheTailAndTrimsInPlaceWhileTheClientKeepsAppending) {
    test::TempDir dir;
    const std::string path = dir.file("client.log");
    EXPECT_EQ(readTail(path, 100), "");
    EXPECT_FALSE(trimLog(path, 100));

    std::string lines;
    for (int i = 0; i < 100; ++i)
        lines += "line " + std::to_string(1000 + i) + "\n"; // 10 bytes each
    dir.write("client.log", lines);
    EXPECT_EQ(readTail(path, 13), "98\nline 1099\n");
    EXPECT_EQ(readTail(path, 5000), lines);

    EXPECT_TRUE(trimLog(path, 500));
    EXPECT_EQ(dir.read("client.log"), lines) << "not above twice the kept size";

    const int client = open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(client, 0);
    EXPECT_TRUE(trimLog(path, 205));
    EXPECT_EQ(dir.read("client.log"), lines.substr(800));
    ASSERT_EQ(write(client, "after\n", 6), 6);
    close(client);
    EXPECT_EQ(dir.read("client.log"), lines.substr(800) + "after\n");
}

} // namespace
} // namespace quorvane
