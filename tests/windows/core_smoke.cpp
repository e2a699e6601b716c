// Windows smoke run of the portable core: store, process services, client start and command lines on the real system.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <optional>
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

using namespace quorvane;

namespace {

// A started copy of this program finds this variable and reports the arguments it received, and what it read from
// the file named after "-pwfile".
constexpr const wchar_t* kChildVariable = L"QUORVANE_SMOKE_CHILD";
constexpr const char* kArgumentsFile = "arguments.txt";
constexpr const char* kSecretCopyFile = "secret.txt";
// As its first argument: the child writes a line to standard output and one to standard error, then ends.
constexpr const char* kPrintOption = "-print";
constexpr const char* kOutputFile = "client.log";

int failures = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::printf("FAIL: %s\n", what.c_str());
    }
}

std::string utf8(const wchar_t* text, DWORD length) {
    return toUtf8(text, length);
}

std::wstring wide(const std::string& text) {
    return toWide(text);
}

std::string modulePath() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return utf8(buffer, length < MAX_PATH ? length : 0);
}

std::string upperAscii(std::string text) {
    for (char& c : text)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return text;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return foldAsciiCase(a) == foldAsciiCase(b);
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

bool writeTo(DWORD stream, const std::string& text) {
    DWORD written = 0;
    return ::WriteFile(::GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// Child mode: a copy of the secret, then the arguments, one a line, into the current folder (which must be the
// tunnel's), then a long sleep. With kPrintOption, "out ID" and "err ID" to its two streams instead, and no sleep.
int runAsChild(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        std::string secret;
        if (arguments[i] == "-pwfile" && fs::readFileBytes(arguments[i + 1], secret))
            fs::replaceFileContents(kSecretCopyFile, secret);
    }
    if (!arguments.empty() && arguments[0] == kPrintOption) {
        const std::string id = std::to_string(::GetCurrentProcessId());
        return writeTo(STD_OUTPUT_HANDLE, "out " + id + "\n") && writeTo(STD_ERROR_HANDLE, "err " + id + "\n") ? 0 : 3;
    }
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
    check(fs::makeFolderPrivate(folder) && !fs::makeFolderPrivate(paths::DefinitionFile(workingDir, "Office")),
          "a folder is made private, a file is not");

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
    check(::SetFileAttributesW(wide(iniPath).c_str(), FILE_ATTRIBUTE_HIDDEN) != 0, "INI file hidden");
    check(ini.writeString("a", "ONE", "uno"), "INI key rewritten in another case");
    check(ini.readString("A", "one", "") == "uno" &&
              ini.readKeyNames("A", 100) == std::vector<std::string>{"one", "two"},
          "INI key keeps its place");
    check((::GetFileAttributesW(wide(iniPath).c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0, "a rewritten file stays hidden");
    check(fs::listOrdinaryFiles(workingDir).empty(), "hidden files are not listed");
    ::SetFileAttributesW(wide(iniPath).c_str(), FILE_ATTRIBUTE_READONLY);
    check(!ini.writeString("A", "one", "lost"), "a read-only file is not rewritten");
    check(ini.readString("A", "one", "") == "uno", "a refused write changes nothing");
    ::SetFileAttributesW(wide(iniPath).c_str(), FILE_ATTRIBUTE_NORMAL);
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

    check(services->FindProcessIdByName(upperAscii(ownName)) != NoProcessId, "own process found in another case");
    check(services->FindProcessIdByName("no-such-process-name.exe") == NoProcessId, "unknown name not found");
    check(services->StopProcess(ownId, 5) == StopOutcome::Failed, "never stops itself");
    check(services->StopProcess(NoProcessId, 5) == StopOutcome::Failed, "no process, nothing stopped");

    const std::string canonical = fs::canonicalPath("no-such-file.txt");
    check(canonical.size() > 3 && canonical.find(":\\") == 1 && canonical.ends_with("\\no-such-file.txt"),
          "a relative path becomes absolute: " + canonical);
}

// Asks done() every tenth of a second for up to ms milliseconds.
template <class Done> bool within(int ms, Done done) {
    for (int waited = 0; waited <= ms; waited += 100, ::Sleep(100)) {
        if (done())
            return true;
    }
    return false;
}

// Whether id is one of this user's processes, running executable.
bool runsOwn(ProcessServices& services, ProcessId id, const std::string& executable) {
    std::vector<OwnProcess> own;
    services.ListOwnProcesses(own);
    for (const OwnProcess& process : own) {
        if (process.id == id && sameIgnoringCase(process.executable, executable))
            return true;
    }
    return false;
}

// Starts the tunnel's client (a copy of this program) as the connect command does, the password in a secret file,
// then stops it by its executable.
void launchChecks(const std::string& workingDir) {
    const std::string exe = paths::ClientExePath(workingDir, "Office");
    const std::string folder = paths::ClientWorkingFolder(exe);
    TunnelDefinition definition = LoadDefinition(workingDir, "Office");
    definition.IpServer = R"("ssh host" \"q\")";

    const std::unique_ptr<ClientLauncher> launcher = createSystemLauncher();
    const std::string secretFile = launcher->secretFile();
    const std::string parameters = buildConnectCommandLine(definition, secretFile);
    ::SetEnvironmentVariableW(kChildVariable, L"1");
    const std::optional<std::string> error = launcher->launch({exe, parameters, folder, false, definition.Password});
    check(!error, "client started: " + error.value_or(""));

    const std::unique_ptr<ProcessServices> services = createSystemProcessServices();
    ProcessId id = NoProcessId;
    within(10000, [&] { return (id = services->FindProcessIdByName("officessh.EXE")) != NoProcessId; });
    check(id != NoProcessId, "started client found by name");

    const std::string argumentsFile = folder + "\\" + kArgumentsFile;
    std::string reported;
    within(10000, [&] { return fs::readFileBytes(argumentsFile, reported); });
    check(reported == joinedLines(splitWindowsCommandLine(parameters)),
          "client received the arguments the splitter gives, in its folder: " + reported);
    std::string secret;
    check(fs::readFileBytes(folder + "\\" + kSecretCopyFile, secret) && secret == definition.Password,
          "client read exactly the secret from the file its parameters name: " + secret);

    if (id != NoProcessId) {
        const std::string running = fs::canonicalPath(exe);
        check(runsOwn(*services, id, running), "own processes hold the client with its full path " + running);
        check(services->StopOwnProcess(id, modulePath(), 200) == StopOutcome::Failed && runsOwn(*services, id, running),
              "a client is not stopped under another executable");
        // Its console window, where the system gives it one, may take the close request.
        check(services->StopOwnProcess(id, upperAscii(running), 200) != StopOutcome::Failed,
              "started client stopped by its executable, in any case");
        check(within(10000, [&] { return services->FindProcessIdByName("OfficeSSH.exe") == NoProcessId; }),
              "stopped client is gone");
        check(within(2000, [&] { return !fs::fileExists(secretFile); }), "secret file removed after the client");
    }

    // Hidden with an output file the client is started directly: its output and errors go after what the file held.
    const std::string outputFile = folder + "\\" + kOutputFile;
    // The child rewrites its secret copy by a relative name that exists already.
    check(fs::replaceFileContents(outputFile, "before\n"), "output file prepared");
    const std::string printSecretFile = launcher->secretFile();
    const std::string printParameters = std::string(kPrintOption) + " -pwfile " + quoteWindowsArgument(printSecretFile);
    const std::optional<std::string> printError =
        launcher->launch({exe, printParameters, folder, false, "second secret", outputFile});
    check(!printError, "client with an output file started: " + printError.value_or(""));
    const std::string started = std::to_string(launcher->lastStarted());
    std::string output;
    check(within(10000,
                 [&] {
                     return fs::readFileBytes(outputFile, output) &&
                            output == "before\nout " + started + "\nerr " + started + "\n";
                 }),
          "the file holds the output and errors of the client started, " + started + ": " + output);
    check(fs::readFileBytes(folder + "\\" + kSecretCopyFile, secret) && secret == "second secret",
          "client with an output file read its secret in its folder: " + secret);
    check(within(2000, [&] { return !fs::fileExists(printSecretFile); }), "its secret file removed after it ended");

    // Either way of starting gives the system's error text and removes the secret file.
    for (const std::string& missingOutput : {std::string(), outputFile}) {
        const std::string unusedSecretFile = launcher->secretFile();
        const std::optional<std::string> missing =
            launcher->launch({folder + "\\Missing.exe", "", folder, false, definition.Password, missingOutput});
        check(missing && !missing->empty(), "a missing client gives the system's error text: " + missingOutput);
        check(!fs::fileExists(unusedSecretFile), "a failed start leaves no secret file: " + missingOutput);
    }
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
    wchar_t flag[8];
    if (::GetEnvironmentVariableW(kChildVariable, flag, 8) > 0)
        return runAsChild(argc, argv);

    wchar_t temp[MAX_PATH];
    const DWORD tempLength = ::GetTempPathW(MAX_PATH, temp);
    const std::string base = utf8(temp, tempLength < MAX_PATH ? tempLength : 0) + "quorvane-smoke-" +
                             std::to_string(::GetCurrentProcessId());
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
