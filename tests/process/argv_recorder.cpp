// Test client: writes its arguments, folder, parent and standard streams to record.txt in its folder.
#include <climits>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

std::string link(const char* path) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink(path, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string("?");
}

} // namespace

int main(int argc, char** argv) {
    char cwd[PATH_MAX] = "?";
    if (!getcwd(cwd, sizeof cwd))
        return 1;
    std::string text;
    text += "cwd=" + std::string(cwd) + "\n";
    text += "ppid=" + std::to_string(getppid()) + "\n";
    for (int fd = 0; fd <= 2; ++fd)
        text += "fd" + std::to_string(fd) + "=" + link(("/proc/self/fd/" + std::to_string(fd)).c_str()) + "\n";
    struct sigaction term {};
    sigaction(SIGTERM, nullptr, &term);
    text += std::string("sigterm=") + (term.sa_handler == SIG_IGN ? "ignored" : "default") + "\n";
    sigset_t blocked;
    sigprocmask(SIG_SETMASK, nullptr, &blocked);
    text += std::string("sigusr1=") + (sigismember(&blocked, SIGUSR1) ? "blocked" : "open") + "\n";
    for (int i = 0; i < argc; ++i) {
        text += "arg=" + std::string(argv[i]) + "\n";
        // What a client given a password file would read there.
        if (std::string(argv[i]) == "-pwfile" && i + 1 < argc) {
            std::string secret;
            if (FILE* file = std::fopen(argv[i + 1], "rb")) {
                for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
                    secret += static_cast<char>(c);
                std::fclose(file);
            }
            text += "pwfile=" + secret + "\n";
        }
    }

    // Written under another name first, so a reader never sees half a record.
    FILE* out = std::fopen("record.tmp", "wb");
    if (!out)
        return 1;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    return std::rename("record.tmp", "record.txt") == 0 ? 0 : 1;
}
