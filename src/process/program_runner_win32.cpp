// Running a program and waiting for it on Windows: CreateProcessW and the process handle.
#include "process/program_runner.h"

#include <windows.h>

#include "store/wide_text_win32.h"

namespace quorvane {

ProgramRun runProgramAndWait(const std::string& commandLine, const std::string& directory, int timeoutMs) {
    ProgramRun run;
    std::wstring line = toWide(commandLine);
    const std::wstring folder = toWide(directory);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    // The program is found the way Windows finds the first word of a command line.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        wchar_t text[512];
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                            GetLastError(), 0, text, sizeof text / sizeof text[0], nullptr);
        run.error = toUtf8(text, length);
        while (!run.error.empty() && (run.error.back() == '\n' || run.error.back() == '\r' || run.error.back() == '.'))
            run.error.pop_back();
        return run;
    }
    CloseHandle(process.hThread);
    run.started = true;
    run.finished = WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
    if (!run.finished)
        TerminateProcess(process.hProcess, 1);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.exitCode = static_cast<int>(code);
    CloseHandle(process.hProcess);
    return run;
}

} // namespace quorvane
