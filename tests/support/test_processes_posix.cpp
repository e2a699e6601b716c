// Named child processes and free ports for tests.
#include "support/test_processes.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef QUORVANE_SLEEPER
#error "QUORVANE_SLEEPER must name the sleeper program"
#endif

namespace quorvane::test {

void copySleeper(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::copy_file(QUORVANE_SLEEPER, path, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
}

NamedProcess::NamedProcess(const std::string& folder, const std::string& exeName, int seconds)
    : m_path(folder + "/" + exeName) {
    copySleeper(m_path);
    const std::string secondsText = std::to_string(seconds);
    m_pid = fork();
    if (m_pid == 0) {
        execl(m_path.c_str(), m_path.c_str(), secondsText.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    // Let the kernel finish the exec so /proc shows the new executable.
    for (int i = 0; i < 200; ++i) {
        std::error_code ec;
        auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(m_pid) + "/exe", ec);
        if (!ec && exe.filename() == exeName)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

NamedProcess::~NamedProcess() {
    if (!m_reaped && m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

bool NamedProcess::running() const {
    if (!m_reaped && waitpid(m_pid, nullptr, WNOHANG) == m_pid)
        m_reaped = true;
    return !m_reaped;
}

bool NamedProcess::waitForEnd(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return !running();
}

int freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("no free loopback port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

} // namespace quorvane::test
