// The core on the Windows system itself: attributes and folder case, own processes, starting a client, and the
// text a started client receives from a definition with non-ASCII names and passwords.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "process/client_launcher.h"
#include "process/command_line.h"
#include "process/process_services.h"
#include "ras/ras_connection.h"
#include "store/file_system.h"
#include "store/folder_walker.h"
#include "store/ini_file.h"
#include "store/paths.h"
#include "store/tunnel_definition.h"
#include "store/wide_text_win32.h"
#include "store/working_dir.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using Record = std::multimap<std::string, std::string>;

std::string modulePath() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return toUtf8(buffer, length < MAX_PATH ? length : 0);
}

// Asks done() every 50 ms for up to ms milliseconds.
template <class Done> bool within(int ms, Done done) {
    for (int waited = 0; waited <= ms; waited += 50, Sleep(50)) {
        if (done())
            return true;
    }
    return false;
}

std::string hex(const std::string& bytes) {
    std::string text;
    for (const char c : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X ", static_cast<unsigned char>(c));
        text += digits;
    }
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

TEST(WindowsStore, FoldersMatchInAnyCaseAndRewrittenFilesKeepTheirAttributes) {
    EXPECT_EQ(executableFolder() + "windows_tests.exe", modulePath());
    test::TempDir dir;
    const std::string wd = dir.path() + "\\";
    ASSERT_TRUE(fs::createFolder(paths::TunnelsDirForListing(wd)) &&
                fs::createFolder(paths::TunnelFolderForAdd(wd, "Office")));
    EXPECT_TRUE(fs::createFolder(paths::TunnelFolderForDelete(wd, "OFFICE"))) << "an existing folder in another case";
    EXPECT_TRUE(fs::folderExists(paths::TunnelFolderForDelete(wd, "office")));
    EXPECT_TRUE(fs::makeFolderPrivate(paths::TunnelFolderForAdd(wd, "Office")));
    CreateDefaultDefinition(paths::TunnelFolderForAdd(wd, "Office"));
    EXPECT_FALSE(fs::makeFolderPrivate(paths::DefinitionFile(wd, "Office"))) << "a file is not a folder";
    ASSERT_TRUE(fs::copyFile(modulePath(), paths::ClientCopyForAdd(wd, "Office")));
    EXPECT_EQ(fs::listOrdinaryFiles(paths::TunnelFolderForAdd(wd, "Office")),
              (std::vector<std::string>{"OfficeSSH.exe", "Tunnell.tun"}))
        << "no temporary file left";

    const std::string iniPath = wd + "hidden.ini";
    const IniFile ini(iniPath);
    ASSERT_TRUE(ini.writeString("A", "one", "1") && ini.writeString("A", "two", "2"));
    ASSERT_TRUE(SetFileAttributesW(toWide(iniPath).c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(ini.writeString("a", "ONE", "uno"));
    EXPECT_EQ(ini.readKeyNames("A", 100), (std::vector<std::string>{"one", "two"}));
    EXPECT_NE(GetFileAttributesW(toWide(iniPath).c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u) << "stays hidden";
    EXPECT_TRUE(fs::listOrdinaryFiles(wd).empty()) << "hidden files are not listed";
    SetFileAttributesW(toWide(iniPath).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(ini.writeString("A", "one", "lost"));
    EXPECT_EQ(ini.readString("A", "one", ""), "uno");
    SetFileAttributesW(toWide(iniPath).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsProcesses, OwnProcessIsListedFoundInAnyCaseAndNeverStopped) {
    const auto services = createSystemProcessServices();
    const std::string ownName = modulePath().substr(modulePath().find_last_of('\\') + 1);
    VectorProcessList list;
    ASSERT_TRUE(services->ListProcesses(list, false));
    EXPECT_TRUE(std::any_of(list.entries.begin(), list.entries.end(), [&](const ProcessEntry& entry) {
        return entry.id == GetCurrentProcessId() && foldAsciiCase(entry.name) == foldAsciiCase(ownName);
    }));
    EXPECT_NE(services->FindProcessIdByName("WINDOWS_TESTS.exe"), NoProcessId);
    EXPECT_EQ(services->FindProcessIdByName("no-such-process-name.exe"), NoProcessId);
    EXPECT_EQ(services->StopProcess(GetCurrentProcessId(), 5), StopOutcome::Failed);
    EXPECT_EQ(services->StopProcess(NoProcessId, 5), StopOutcome::Failed);
    const std::string canonical = fs::canonicalPath("no-such-file.txt");
    EXPECT_TRUE(canonical.find(":\\") == 1 && canonical.ends_with("\\no-such-file.txt")) << canonical;
}

TEST(WindowsRas, TheSystemLibraryAnswersInItsOwnTerms) {
    TRasConnection ras(systemRasApi());
    if (!ras.RasAvailable()) {
        EXPECT_EQ(ras.LastResult(), 1157);
        return;
    }
    EXPECT_EQ(ras.ReadEntryNames(), 0u) << "the wide entry names, at the layout's size";
    EXPECT_EQ(ras.RefreshConnections(), 0u);
    ras.PollStatus(0, 0);
    EXPECT_EQ(ras.StateCode(), 601);
}

// A tunnel whose client copy is the recorder, in a folder whose name is not ASCII.
class WindowsClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        wd = dir.path() + "\\Citt\u00E0\\";
        ASSERT_TRUE(fs::createFolder(wd) && fs::createFolder(paths::TunnelsDirForListing(wd)));
        ASSERT_TRUE(fs::createFolder(paths::TunnelFolderForAdd(wd, kTunnel)));
        exe = paths::ClientCopyForAdd(wd, kTunnel);
        ASSERT_TRUE(fs::copyFile(executableFolder() + "quorvane_client_recorder.exe", exe));
        folder = paths::ClientWorkingFolder(exe);
    }

    void TearDown() override {
        // A stopped client may hold its file for a moment after it has gone.
        within(5000, [&] { return services->FindProcessIdByName(exe) == NoProcessId; });
    }

    // The recorder's record in the tunnel folder; empty when none came.
    Record waitForRecord() {
        std::string text;
        within(10000, [&] { return fs::readFileBytes(folder + "\\record.txt", text); });
        Record record;
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string line = text.substr(start, end - start);
            const auto equals = line.find('=');
            if (equals != std::string::npos)
                record.emplace(line.substr(0, equals), line.substr(equals + 1));
        }
        return record;
    }

    static std::vector<std::string> arguments(const Record& record) {
        std::vector<std::string> values;
        for (auto [it, end] = record.equal_range("arg"); it != end; ++it)
            values.push_back(it->second);
        return values;
    }

    static constexpr const char* kTunnel = "B\u00FCro";
    test::TempDir dir;
    std::string wd, exe, folder;
    std::unique_ptr<ClientLauncher> launcher = createSystemLauncher();
    std::unique_ptr<ProcessServices> services = createSystemProcessServices();
};

TEST_F(WindowsClientTest, StartedClientRunsInItsFolderWithSplitArgumentsAndIsStoppedOnlyByItsExecutable) {
    const std::string secretFile = launcher->secretFile();
    const std::string parameters = "-ssh -l \"my user\" -pwfile " + secretFile + " \"ssh host\" \\\"q\\\"";
    ASSERT_EQ(launcher->launch({exe, parameters, folder, false, "pa=ss \"x\""}), std::nullopt);
    const Record record = waitForRecord();
    EXPECT_EQ(arguments(record), splitWindowsCommandLine(parameters));
    EXPECT_EQ(record.find("pwfile")->second, "pa=ss \"x\"");
    EXPECT_EQ(record.find("cwd")->second, fs::canonicalPath(folder));

    const ProcessId id = services->FindProcessIdByName("b\u00FCroSSH.EXE");
    ASSERT_NE(id, NoProcessId) << "found by its name in any case";
    std::vector<OwnProcess> own;
    ASSERT_TRUE(services->ListOwnProcesses(own));
    EXPECT_EQ(std::count(own.begin(), own.end(), OwnProcess{id, fs::canonicalPath(exe)}), 1)
        << "the tunnel's own client, by its full path";
    EXPECT_EQ(services->StopOwnProcess(id, modulePath(), 200), StopOutcome::Failed);
    EXPECT_EQ(services->StopOwnProcess(id, exe + ".other", 200), StopOutcome::Failed);
    const HANDLE held = OpenProcess(SYNCHRONIZE, FALSE, id); // as the program's end watch holds one
    EXPECT_NE(services->StopOwnProcess(id, fs::canonicalPath(exe), 200), StopOutcome::Failed);
    EXPECT_EQ(WaitForSingleObject(held, 0), WAIT_OBJECT_0) << "ended when the stop returns";
    own.clear();
    ASSERT_TRUE(services->ListOwnProcesses(own));
    EXPECT_EQ(std::count(own.begin(), own.end(), OwnProcess{id, fs::canonicalPath(exe)}), 0)
        << "listed as running while a handle to it stays open";
    CloseHandle(held);
    EXPECT_TRUE(within(10000, [&] { return services->FindProcessIdByName(exe) == NoProcessId; }));
    EXPECT_TRUE(within(2000, [&] { return !fs::fileExists(secretFile); })) << "secret removed after the client";
}

TEST_F(WindowsClientTest, AHiddenClientsOutputAndErrorsFollowWhatItsFileHeld) {
    const std::string outputFile = folder + "\\client.log";
    ASSERT_TRUE(fs::replaceFileContents(outputFile, "before\n"));
    const std::string secretFile = launcher->secretFile();
    ASSERT_EQ(launcher->launch({exe, "-print -pwfile " + secretFile, folder, false, "second", outputFile}),
              std::nullopt);
    const std::string started = std::to_string(launcher->lastStarted());
    std::string output;
    EXPECT_TRUE(within(10000, [&] {
        return fs::readFileBytes(outputFile, output) && output == "before\nout " + started + "\nerr " + started + "\n";
    })) << output;
    EXPECT_TRUE(within(2000, [&] { return !fs::fileExists(secretFile); }));
}

TEST_F(WindowsClientTest, AClientThatCannotStartGivesTheSystemsTextAndLeavesNoSecret) {
    for (const std::string& outputFile : {std::string(), folder + "\\client.log"}) {
        const std::string secretFile = launcher->secretFile();
        const auto error = launcher->launch({folder + "\\Missing.exe", "", folder, false, "pw", outputFile});
        EXPECT_TRUE(error && !error->empty()) << outputFile;
        EXPECT_FALSE(fs::fileExists(secretFile)) << outputFile;
    }
    // A password the client could not be given is refused before anything starts.
    const auto refused = launcher->launch({exe, "-pwfile " + launcher->secretFile(), folder, false, "\u4E2D"});
    EXPECT_TRUE(refused.has_value());
    EXPECT_FALSE(fs::fileExists(folder + "\\record.txt"));
}

// The same characters in an 8-bit definition and in a UTF-8 one reach the client as the code page's bytes.
TEST_F(WindowsClientTest, NonAsciiDefinitionsReachTheClientByteForByte) {
    ASSERT_EQ(GetACP(), 1252u) << "the bytes below are Windows-1252";
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"cp1252", "[SSH Server]\r\nIpServer=h\xF6st\r\nUsername=J\xFCrgen\r\nPassword=p\xE4ss \xA7\x80\r\n"
                   "[Tunnell]\r\nPortaLocale=9001\r\nIpServizio=127.0.0.1\r\nPortaServizio=80\r\n"},
        {"UTF-8", "[SSH Server]\r\nIpServer=h\u00F6st\r\nUsername=J\u00FCrgen\r\nPassword=p\u00E4ss \u00A7\u20AC\r\n"
                  "[Tunnell]\r\nPortaLocale=9001\r\nIpServizio=127.0.0.1\r\nPortaServizio=80\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(fs::replaceFileContents(paths::DefinitionFile(wd, kTunnel), c.file));
        const TunnelDefinition definition = LoadDefinition(wd, kTunnel);
        const std::string parameters = buildConnectCommandLine(definition, launcher->secretFile());
        ASSERT_EQ(launcher->launch({exe, parameters, folder, false, definition.Password}), std::nullopt);
        const Record record = waitForRecord();
        const std::vector<std::string> received = arguments(record);
        ASSERT_GE(received.size(), 4u);
        EXPECT_EQ(received.back(), "h\xF6st");
        EXPECT_EQ(std::count(received.begin(), received.end(),
                             "J\xFC"
                             "rgen"),
                  1);
        EXPECT_EQ(record.find("pwfile")->second, "p\xE4ss \xA7\x80");
        EXPECT_EQ(record.find("exe")->second, fs::canonicalPath(exe));
        std::printf("[ ROUND TRIP ] %s definition Password bytes %s -> client read %s; Username -> argv %s\n", c.name,
                    hex(c.file.substr(c.file.find("Password=") + 9,
                                      c.file.find("\r\n[Tunnell]") - c.file.find("Password=") - 9))
                        .c_str(),
                    hex(record.find("pwfile")->second).c_str(),
                    hex(*(std::find(received.begin(), received.end(), "-l") + 1)).c_str());
        ASSERT_NE(services->StopOwnProcess(launcher->lastStarted(), fs::canonicalPath(exe), 200), StopOutcome::Failed);
        within(5000, [&] { return services->FindProcessIdByName(exe) == NoProcessId; });
        fs::deleteFile(folder + "\\record.txt");
    }
}

} // namespace
} // namespace quorvane
