// Saves a tunnel's definition in a loop, alternating two complete values, until it is killed.
// Usage: quorvane_definition_saver <working dir with separator> <tunnel name>
#include "definition_saver.h"

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <working dir> <tunnel name>\n", argv[0]);
        return 2;
    }
    const std::string workingDir = argv[1];
    const std::string name = argv[2];
    // One byte on standard output: started, so the test's random moment falls among the saves.
    if (::write(1, "+", 1) != 1)
        return 3;
    try {
        for (unsigned long round = 0;; ++round)
            quorvane::SaveDefinition(workingDir, name, quorvane::test::kSaverDefinitions[round % 2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
