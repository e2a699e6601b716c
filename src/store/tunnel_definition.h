// A tunnel's definition file "tunnell.tun": create with defaults, load, save.
#pragma once

#include <stdexcept>
#include <string>

namespace quorvane {

// The eight values of a definition, named by their keys.
struct TunnelDefinition {
    std::string IpServer;
    std::string PortaServer;
    std::string Username;
    std::string Password;
    std::string PortaLocale;
    std::string IpServizio;
    std::string PortaServizio;
    bool AutoConnessione = false;

    bool operator==(const TunnelDefinition&) const = default;
};

// A write the file system refused: "Unable to write to <path>".
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kPlaceholderPassword = "password";

// The switch rule: integer (hex after "0x"/"0X" when longer than two characters), non-zero is on;
// missing or not an integer is off.
bool parseSwitch(const std::string& text);

// Writes the eight defaults into tunnelFolder + "\Tunnell.tun". Throws StoreError at the first
// refused key; keys written before it stay.
void CreateDefaultDefinition(const std::string& tunnelFolder);

// Reads WorkingDir + "\tunnells\" + name + "\tunnell.tun"; never fails (missing values are empty/off).
TunnelDefinition LoadDefinition(const std::string& workingDir, const std::string& name);

// Writes all eight keys in table order to the same path. Throws StoreError at the first refused key.
void SaveDefinition(const std::string& workingDir, const std::string& name, const TunnelDefinition& definition);

} // namespace quorvane
