// Windows smoke run of the portable core: store, process services, client start and command lines on the real system.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "process/client_launcher.h"
#include "process/command_line.h"
#include "process/process_name_index.h"
#include "process/process_services.h"
#include "ras/ras_connection.h"
#include "store/file_system.h"
#include "store/folder_walker.h"
#include "store/ini_file.h"
#include "store/paths.h"
#include "store/tunnel_definition.h"
#include "store/working_dir.h"

using namespace quorvane;

namespace {

// A started copy of this program finds this variable and reports the arguments it received.
constexpr const char* kChildVariable = "QUORVANE_SMOKE_CHILD";
constexpr const char* kArgumentsFile = "arguments.txt";

int failures = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::printf("FAIL: %s\n", what.c_str());
    }
}

std::string modulePath() {
    char buffer[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return std::string(buffer, length < MAX_PATH ? length : 0);
}

std::string baseName(const std::string& path) {
    return path.substr(path.find_last_of("\\/") + 1);
}

std::string joinedLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// Child mode: the arguments, one a line, into the current folder (which must be the tunnel's), then a long sleep.
int runAsChild(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!fs::replaceFileContents(kArgumentsFile, joinedLines(arguments)))
        return 2;
    ::Sleep(60000);
    return 0;
}

void storeChecks(const std::string& workingDir) {
    check(executableFolder() + baseName(modulePath()) == modulePath(), "executable folder is the module's folder");

    const std::string tunnels = paths::TunnelsDirForListing(workingDir);
    const std::string folder = paths::TunnelFolderForAdd(workingDir, "Office");
    check(fs::createFolder(tunnels) && fs::createFolder(folder), "tunnel folders created");
    check(fs::createFolder(paths::TunnelFolderForDelete(workingDir, "OFFICE")), "an existing folder in another case");
    check(fs::folderExists(paths::TunnelFolderForDelete(workingDir, "office")), "folders found without case");

    CreateDefaultDefinition(folder);
    const TunnelDefinition defaults = LoadDefinition(workingDir, "Office");
    check(defaults.IpServer == "0.0.0.0" && defaults.PortaServer == "22" && !defaults.AutoConnessione,
          "new definition reads back its defaults");
    TunnelDefinition saved = defaults;
    saved.Username = "mario rossi";
    saved.Password = "pa=ss \"x\"";
    saved.IpServizio = "10.0.0.5";
    saved.AutoConnessione = true;
    SaveDefinition(workingDir, "Office", saved);
    check(LoadDefinition(workingDir, "office") == saved, "saved definition reads back equal");

    check(fs::copyFile(modulePath(), paths::ClientCopyForAdd(workingDir, "Office")), "client copied");
    check(fs::listOrdinaryFiles(folder) == std::vector<std::string>{"OfficeSSH.exe", "Tunnell.tun"},
          "tunnel folder holds the client and the definition, no temporary files: " +
              joinedLines(fs::listOrdinaryFiles(folder)));

    TExpandedFolder walker;
    walker.SetFolder(tunnels);
    check(walker.GetFolderNames() == std::vector<std::string>{"Office"}, "walker finds the tunnel folder");
    check(walker.GetFilePaths().size() == 2, "walker finds the tunnel's two files");

    // INI writes keep the file's attributes, and leave a read-only file as it was.
    const std::string iniPath = workingDir + "smoke.ini";
    const IniFile ini(iniPath);
    check(ini.writeString("A", "one", "1") && ini.writeString("A", "two", "2"), "INI keys written");
    check(::SetFileAttributesA(iniPath.c_str(), FILE_ATTRIBUTE_HIDDEN) != 0, "INI file hidden");
    check(ini.writeString("a", "ONE", "uno"), "INI key rewritten in another case");
    check(ini.readString("A", "one", "") == "uno" &&
              ini.readKeyNames("A", 100) == std::vector<std::string>{"one", "two"},
          "INI key keeps its place");
    check((::GetFileAttributesA(iniPath.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0, "a rewritten file stays hidden");
    check(fs::listOrdinaryFiles(workingDir).empty(), "hidden files are not listed");
    ::SetFileAttributesA(iniPath.c_str(), FILE_ATTRIBUTE_READONLY);
    check(!ini.writeString("A", "one", "lost"), "a read-only file is not rewritten");
    check(ini.readString("A", "one", "") == "uno", "a refused write changes nothing");
    ::SetFileAttributesA(iniPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    check(fs::deleteFile(iniPath), "INI file deleted");
}

void processChecks() {
    const std::unique_ptr<ProcessServices> services = createSystemProcessServices();
    const std::string ownName = baseName(modulePath());
    const ProcessId ownId = ::GetCurrentProcessId();

    VectorProcessList list;
    check(services->ListProcesses(list, false), "processes listed");
    bool listed = false;
    for (const ProcessEntry& entry : list.entries)
        listed = listed || (entry.id == ownId && foldAsciiCase(entry.name) == foldAsciiCase(ownName));
    check(listed, "own process listed under its bare name");
    check(ProcessNameIndex(list.entries).contains(ownName), "name index finds own name");

    std::string otherCase = ownName;
    for (char& c : otherCase)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    check(services->FindProcessIdByName(otherCase) != NoProcessId, "own process found in another case");
    check(services->FindProcessIdByName("no-such-process-name.exe") == NoProcessId, "unknown name not found");
    check(services->StopProcess(ownId, 5) == StopOutcome::Failed, "never stops itself");
    check(services->StopProcess(NoProcessId, 5) == StopOutcome::Failed, "no process, nothing stopped");
}

// Asks done() every tenth of a second for up to ten seconds.
template <class Done> bool within10s(Done done) {
    for (int round = 0; round < 100; ++round, ::Sleep(100)) {
        if (done())
            return true;
    }
    return false;
}

// Starts the tunnel's client (a copy of this program) as the connect command does, then stops it.
void launchChecks(const std::string& workingDir) {
    const std::string exe = paths::ClientExePath(workingDir, "Office");
    const std::string folder = paths::ClientWorkingFolder(exe);
    TunnelDefinition definition = LoadDefinition(workingDir, "Office");
    definition.IpServer = R"("ssh host" \"q\")";
    const std::string parameters = buildConnectCommandLine(definition);

    const std::unique_ptr<ClientLauncher> launcher = createSystemLauncher();
    ::SetEnvironmentVariableA(kChildVariable, "1");
    const std::optional<std::string> error = launcher->launch({exe, parameters, folder, false});
    check(!error, "client started: " + error.value_or(""));

    const std::unique_ptr<ProcessServices> services = createSystemProcessServices();
    ProcessId id = NoProcessId;
    within10s([&] { return (id = services->FindProcessIdByName("officessh.EXE")) != NoProcessId; });
    check(id != NoProcessId, "started client found by name");

    const std::string argumentsFile = folder + "\\" + kArgumentsFile;
    std::string reported;
    within10s([&] { return fs::readFileBytes(argumentsFile, reported); });
    check(reported == joinedLines(splitWindowsCommandLine(parameters)),
          "client received the arguments the splitter gives, in its folder: " + reported);

    if (id != NoProcessId) {
        // Its console window, where the system gives it one, may take the close request.
        check(services->StopProcess(id, 200) != StopOutcome::Failed, "started client stopped");
        check(within10s([&] { return services->FindProcessIdByName("OfficeSSH.exe") == NoProcessId; }),
              "stopped client is gone");
    }

    const std::optional<std::string> missing = launcher->launch({folder + "\\Missing.exe", "", folder, false});
    check(missing && !missing->empty(), "a missing client gives the system's error text");
}

// Dial-up is optional: report what the system has; only a missing library's own answer is checked.
void rasChecks() {
    TRasConnection ras(systemRasApi());
    if (!ras.RasAvailable()) {
        check(ras.LastResult() == 1157, "missing dial-up library reported as such");
        std::printf("RAS: %s\n", ras.StateText().c_str());
        return;
    }
    const std::uint32_t entries = ras.ReadEntryNames();
    const std::uint32_t connections = ras.RefreshConnections();
    std::printf("RAS: available, level %d, entries %zu (result %u), connections %d (result %u)\n", ras.ApiLevel(),
                ras.EntryNames().size(), entries, ras.Connections().Count(), connections);
    ras.PollStatus(0, 0);
    check(ras.StateCode() == 601, "a poll of no connection reports 601");
    std::printf("RAS: text for 601: %s\n", ras.StateText().c_str());
}

// Deletes what the run made; a just-ended client may hold its file for a moment.
void cleanUp(const std::string& base, const std::string& workingDir) {
    const std::string folder = paths::TunnelFolderForDelete(workingDir, "Office");
    for (int round = 0; round < 50; ++round) {
        for (const std::string& name : fs::listOrdinaryFiles(folder))
            fs::deleteFile(folder + "\\" + name);
        if (fs::removeFolder(folder))
            break;
        ::Sleep(100);
    }
    fs::removeFolder(paths::TunnelsDirForListing(workingDir));
    check(fs::removeFolder(base), "temporary folder removed");
}

} // namespace

int main(int argc, char** argv) {
    char flag[8];
    if (::GetEnvironmentVariableA(kChildVariable, flag, sizeof flag) > 0)
        return runAsChild(argc, argv);

    char temp[MAX_PATH];
    const DWORD tempLength = ::GetTempPathA(MAX_PATH, temp);
    const std::string base =
        std::string(temp, tempLength) + "quorvane-smoke-" + std::to_string(::GetCurrentProcessId());
    if (tempLength == 0 || !fs::createFolder(base)) {
        std::printf("FAIL: cannot create %s\n", base.c_str());
        return 1;
    }
    const std::string workingDir = base + "\\";

    try {
        storeChecks(workingDir);
        processChecks();
        launchChecks(workingDir);
        rasChecks();
    } catch (const std::exception& error) {
        check(false, std::string("unexpected error: ") + error.what());
    }
    cleanUp(base, workingDir);

    if (failures != 0) {
        std::printf("%d check(s) failed\n", failures);
        return 1;
    }
    std::printf("OK\n");
    return 0;
}
