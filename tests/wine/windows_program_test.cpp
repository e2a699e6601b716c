// The Windows program as it is packed, run under wine on this machine: the portable ZIP and the installer, the
// window, the command line handed to the running program, a stand-in client that records what it is given, and
// the Windows plink against a loopback server. scripts/windows/check-program.sh builds the packages, starts a
// display and runs this with the paths below.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/ssh_server.h"
#include "support/tcp_service.h"
#include "support/temp_dir.h"
#include "support/test_processes.h"

namespace quorvane::test {
namespace {

namespace stdfs = std::filesystem;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool holdsPathEndingWith(const std::string& root, const std::string& suffix) {
    std::error_code error;
    for (stdfs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error))
        if (it->path().string().ends_with(suffix))
            return true;
    return false;
}

template <typename Condition> bool waitFor(Condition condition, int totalMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return true;
}

class WindowsProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix = new TempDir;
        // A prefix of its own, with no Mono or Gecko offered; C.UTF-8 makes Windows-1252 the ANSI code page.
        setenv("WINEPREFIX", prefix->path().c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        if (!environment("QUORVANE_WINE").empty()) {
            runProgram({environment("QUORVANE_WINE"), "wineboot", "--init"}, "", nullptr, 180000);
            runProgram({wineserver(), "-w"}, "", nullptr, 180000);
        }
    }
    static void TearDownTestSuite() {
        delete prefix;
        prefix = nullptr;
    }

    void SetUp() override {
        std::string gap;
        for (const char* name : {"QUORVANE_WINDOWS_ZIP", "QUORVANE_WINDOWS_SETUP", "QUORVANE_RECORDING_CLIENT",
                                 "QUORVANE_WINE", "DISPLAY"})
            if (environment(name).empty())
                gap += std::string(gap.empty() ? "" : ", ") + name;
        if (!gap.empty()) {
            gap = "not set: " + gap + " (scripts/windows/check-program.sh sets them)";
            if (prerequisitesRequired())
                FAIL() << gap;
            GTEST_SKIP() << gap;
        }
        // The pointer away from where windows open: wine turns a window mapped under it into a click now and
        // then, and a double click on the list connects the selected tunnel.
        runProgram({"/usr/bin/xdotool", "mousemove", "0", "0"}, "");
        // Each test gets the ZIP unpacked afresh on drive C:.
        folder = prefix->file("drive_c/q" + std::to_string(++unpacked));
        std::string output;
        ASSERT_EQ(runProgram({"/usr/bin/unzip", "-q", environment("QUORVANE_WINDOWS_ZIP"), "-d", folder}, "", &output),
                  0)
            << output;
        for (const stdfs::directory_entry& entry : stdfs::directory_iterator(folder))
            folder = entry.path().string(); // the archive's one top folder
        windowsFolder = "C:\\q" + std::to_string(unpacked) + "\\" + stdfs::path(folder).filename().string();
    }

    void TearDown() override {
        instance.reset();
        runProgram({wineserver(), "-k"}, "");
    }

    static std::string wineserver() { return stdfs::path(environment("QUORVANE_WINE")).parent_path() / "wineserver"; }

    int wine(const std::string& exe, const std::vector<std::string>& args, int timeoutMs = 120000) {
        std::vector<std::string> argv{environment("QUORVANE_WINE"), exe};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProgram(argv, "", &output, timeoutMs);
    }
    int quorvane(const std::vector<std::string>& args) { return wine(folder + "/quorvane.exe", args); }

    void start(const std::string& exe) {
        instance = std::make_unique<ChildProcess>(std::vector<std::string>{environment("QUORVANE_WINE"), exe},
                                                  prefix->file("instance.out"));
    }

    static bool windowShown(const std::string& title) {
        return runProgram({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, "") == 0;
    }

    void defineTunnel(const std::string& name, const std::string& serverLines, const std::string& tunnelLines) {
        stdfs::create_directories(folder + "/tunnells/" + name);
        std::ofstream(folder + "/tunnells/" + name + "/tunnell.tun", std::ios::binary) << "[SSH Server]\r\n"
                                                                                       << serverLines << "[Tunnell]\r\n"
                                                                                       << tunnelLines;
    }

    static TempDir* prefix;
    static int unpacked;
    std::string folder;
    std::string windowsFolder;
    std::string output;
    std::unique_ptr<ChildProcess> instance;
};

TempDir* WindowsProgram::prefix = nullptr;
int WindowsProgram::unpacked = 0;

TEST_F(WindowsProgram, TheZipRunsShowsItsWindowAndTheRunningProgramAnswersTheCommandLine) {
    defineTunnel("casa", "IpServer=127.0.0.1\r\nPortaServer=22\r\nUsername=u\r\nPassword=p\r\n",
                 "PortaLocale=18080\r\nIpServizio=127.0.0.1\r\nPortaServizio=80\r\n");
    start(folder + "/quorvane.exe");
    ASSERT_TRUE(waitFor([] { return windowShown("Quorvane"); }, 60000)) << readAll(prefix->file("instance.out"));
    const std::string artefacts = environment("QUORVANE_WINE_ARTEFACTS");
    if (!artefacts.empty())
        runProgram({"/usr/bin/import", "-window", "root", artefacts + "/windows-main-window.png"}, "");
    EXPECT_EQ(quorvane({"--status"}), 0) << output;
    EXPECT_EQ(output, "casa\tnot connected\r\n");
    EXPECT_EQ(quorvane({"--connect", "nessuno"}), 1);
    EXPECT_NE(output.find("no tunnel is named \"nessuno\""), std::string::npos) << output;
}

TEST_F(WindowsProgram, AnAutomaticConnectGivesEachFieldAsOneArgumentAndThePasswordThroughAFileThatGoes) {
    // A blank and quotes in the account, a character of the ANSI code page in the password.
    // A free port: under wine a listener of any program would count as the client's.
    const std::string port = std::to_string(freeLoopbackPort());
    defineTunnel("casa",
                 "IpServer=127.0.0.1\r\nPortaServer=2222\r\nUsername=utente \"con\" spazi\r\nPassword=p\xc3\xa0ss\r\n",
                 "PortaLocale=" + port + "\r\nIpServizio=127.0.0.1\r\nPortaServizio=80\r\nAutoConnessione=1\r\n");
    stdfs::copy_file(environment("QUORVANE_RECORDING_CLIENT"), folder + "/tunnells/casa/casaSSH.exe");
    const std::string record = folder + "/record.txt";
    setenv("QUORVANE_RECORD", (windowsFolder + "\\record.txt").c_str(), 1);
    start(folder + "/quorvane.exe");
    // The command line is shown before the client starts; OK lets it go.
    ASSERT_TRUE(waitFor([] { return windowShown("Quorvane - SSH Link Manager"); }, 60000));
    runProgram({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^Quorvane - SSH Link Manager$",
                "windowactivate", "--sync", "key", "Return"},
               "");
    // The box goes on the press: its release may reach no window, and a key the display thinks held repeats
    // into the list, where Return connects the selected tunnel again.
    runProgram({"/usr/bin/xdotool", "keyup", "Return"}, "");
    ASSERT_TRUE(waitFor([&] { return readAll(record).find("secret removed\n") != std::string::npos; }, 30000))
        << readAll(record);
    const std::string recorded = readAll(record);
    for (const std::string& line :
         {std::string("arg:-l\narg:utente \"con\" spazi\n"), std::string("arg:-P\narg:2222\n"),
          std::string("arg:-pwfile\n"), "arg:-L\narg:" + port + ":127.0.0.1:80\n", std::string("secret:p\xe0ss\n")})
        EXPECT_NE(recorded.find(line), std::string::npos) << line << " not in:\n" << recorded;
    EXPECT_EQ(recorded.find("p\xe0ss", recorded.find("secret:") + 8), std::string::npos) << "once, in the file";
    EXPECT_EQ(quorvane({"--status"}), 0) << output;
    EXPECT_EQ(output, "casa\tconnecting\r\n");
    EXPECT_EQ(quorvane({"--disconnect", "casa"}), 0) << output << readAll(prefix->file("instance.out"));
    const std::string disconnected = output;
    EXPECT_EQ(quorvane({"--status"}), 0);
    EXPECT_EQ(output, "casa\tnot connected\r\n")
        << "disconnect said: " << disconnected << "\nrecord:\n"
        << readAll(record) << "\nclient log:\n"
        << readAll(folder + "/tunnells/casa/client.log") << "\nprogram:\n"
        << readAll(prefix->file("instance.out"));
}

TEST_F(WindowsProgram, TheWindowsPlinkCarriesBytesThroughTheForwardOfALoopbackServer) {
    QUORVANE_REQUIRE_SSH_SERVER();
    SshServer server;
    TcpService service;
    const int localPort = freeLoopbackPort();
    defineTunnel("casa",
                 "IpServer=127.0.0.1\r\nPortaServer=" + std::to_string(server.port()) +
                     "\r\nUsername=" + server.user() + "\r\nPassword=" + server.password() +
                     "\r\nHostKey=" + server.hostKeyFingerprint() + "\r\n",
                 "PortaLocale=" + std::to_string(localPort) +
                     "\r\nIpServizio=127.0.0.1\r\nPortaServizio=" + std::to_string(service.port()) + "\r\n");
    stdfs::copy_file(folder + "/plink.exe", folder + "/tunnells/casa/casaSSH.exe");
    start(folder + "/quorvane.exe");
    ASSERT_TRUE(waitFor([] { return windowShown("Quorvane"); }, 60000));
    ASSERT_EQ(quorvane({"--connect", "casa"}), 0) << output << readAll(folder + "/tunnells/casa/client.log");
    EXPECT_EQ(askLineWithRetry(localPort, "ciao", 20000), "echo:ciao");
    EXPECT_EQ(quorvane({"--status"}), 0);
    EXPECT_EQ(output, "casa\tconnected\r\n");
    EXPECT_EQ(quorvane({"--disconnect", "casa"}), 0) << output;
    EXPECT_FALSE(askLine(localPort, "ciao"));
}

TEST_F(WindowsProgram, TheInstallerInstallsSilentlyItsProgramKeepsTunnelsInTheUsersFolderAndUninstalls) {
    ASSERT_EQ(wine(environment("QUORVANE_WINDOWS_SETUP"), {"/S"}), 0) << output;
    const std::string installed = prefix->file("drive_c/Program Files/Quorvane");
    ASSERT_TRUE(stdfs::exists(installed + "/quorvane.exe"));
    for (const char* file :
         {"plink.exe", "puttygen.exe", "Qt6Widgets.dll", "platforms/qwindows.dll", "lang/english.lng", "Uninstall.exe"})
        EXPECT_TRUE(stdfs::exists(installed + "/" + file)) << file;
    EXPECT_FALSE(stdfs::exists(installed + "/tunnells"));
    EXPECT_TRUE(holdsPathEndingWith(prefix->file("drive_c"), "/Quorvane.lnk")) << "no Start menu entry";

    folder = installed;
    start(installed + "/quorvane.exe");
    ASSERT_TRUE(waitFor([] { return windowShown("Quorvane"); }, 60000)) << readAll(prefix->file("instance.out"));
    EXPECT_EQ(quorvane({"--status"}), 0) << output;
    EXPECT_TRUE(holdsPathEndingWith(prefix->file("drive_c/users"), "/AppData/Local/Quorvane/tunnells"));
    instance.reset();
    runProgram({wineserver(), "-k"}, "");

    EXPECT_EQ(wine(installed + "/Uninstall.exe", {"/S"}), 0) << output;
    // The uninstaller goes on from a copy of itself in the temporary folder.
    EXPECT_TRUE(waitFor([&] { return !stdfs::exists(installed + "/quorvane.exe"); }, 30000));
}

} // namespace
} // namespace quorvane::test
