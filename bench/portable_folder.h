// A portable folder of ordinary tunnels, none connecting at start, for the benchmarks that start the program.
#pragma once

#include <filesystem>
#include <string>

#include "store/tunnel_definition.h"

namespace quorvane::bench {

// root/tunnelsN/ with N tunnels (tunnel1000, tunnel1001, ...); the folder's path, with its separator.
inline std::string portableFolder(const std::filesystem::path& root, int tunnels) {
    const std::filesystem::path folder = root / ("tunnels" + std::to_string(tunnels));
    std::filesystem::create_directories(folder / "tunnells");
    for (int i = 0; i < tunnels; ++i) {
        const std::string name = "tunnel" + std::to_string(1000 + i);
        std::filesystem::create_directories(folder / "tunnells" / name);
        SaveDefinition(folder.string() + "/", name,
                       {"10.0.0." + std::to_string(i % 250 + 1), "22", "user", "secret", std::to_string(20000 + i),
                        "127.0.0.1", "80", false});
    }
    return folder.string() + "/";
}

} // namespace quorvane::bench
