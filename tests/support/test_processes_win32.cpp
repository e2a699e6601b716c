// Named child processes and free ports for tests on Windows.
#include "support/test_processes.h"

#include <filesystem>
#include <stdexcept>
#include <windows.h>
#include <winsock2.h>

#include "store/wide_text_win32.h"

#ifndef QUORVANE_SLEEPER
#error "QUORVANE_SLEEPER must name the sleeper program"
#endif

namespace quorvane::test {

void copySleeper(const std::string& path) {
    const std::wstring target = toWide(path);
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    if (!::CopyFileW(toWide(QUORVANE_SLEEPER).c_str(), target.c_str(), FALSE))
        throw std::runtime_error("cannot copy the sleeper to " + path);
}

NamedProcess::NamedProcess(const std::string& folder, const std::string& exeName, int seconds)
    : m_path(folder + "\\" + exeName) {
    copySleeper(m_path);
    std::wstring commandLine = L"\"" + toWide(m_path) + L"\" " + std::to_wstring(seconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(toWide(m_path).c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &startup, &info))
        throw std::runtime_error("cannot start " + m_path);
    ::CloseHandle(info.hThread);
    m_handle = info.hProcess;
    m_pid = static_cast<pid_t>(info.dwProcessId);
}

NamedProcess::~NamedProcess() {
    if (m_handle) {
        ::TerminateProcess(m_handle, 1);
        ::WaitForSingleObject(m_handle, 5000);
        ::CloseHandle(m_handle);
    }
}

bool NamedProcess::running() const {
    return m_handle && ::WaitForSingleObject(m_handle, 0) == WAIT_TIMEOUT;
}

bool NamedProcess::waitForEnd(int ms) {
    return !m_handle || ::WaitForSingleObject(m_handle, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

int freeLoopbackPort() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        throw std::runtime_error("no sockets");
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    const bool ok = s != INVALID_SOCKET && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (s != INVALID_SOCKET)
        ::closesocket(s);
    ::WSACleanup();
    if (!ok)
        throw std::runtime_error("no free loopback port");
    return ntohs(address.sin_port);
}

} // namespace quorvane::test
