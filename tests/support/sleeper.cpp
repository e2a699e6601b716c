// Sleeps for the seconds given (default 60); tests copy it under chosen names to make named processes.
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return 0;
}
