// A tunnel's definition file: the eight keys, their defaults and the order every write takes.
#include "store/tunnel_definition.h"

#include "store/file_system.h"
#include "store/ini_file.h"
#include "store/paths.h"

#include <array>
#include <cstdint>
#include <limits>

namespace quorvane {

namespace {

constexpr const char* kServerSection = "SSH Server";
constexpr const char* kTunnelSection = "Tunnell";
constexpr const char* kAutoConnectKey = "AutoConnessione";

// The seven texts in the order they are written, each with its default for a new tunnel.
struct TextKey {
    const char* section;
    const char* key;
    std::string TunnelDefinition::*field;
    const char* createdValue;
};

const std::array<TextKey, 7> kTextKeys = {{
    {kServerSection, "IpServer", &TunnelDefinition::IpServer, "0.0.0.0"},
    {kServerSection, "PortaServer", &TunnelDefinition::PortaServer, "22"},
    {kServerSection, "Username", &TunnelDefinition::Username, "Nome Utente"},
    {kServerSection, "Password", &TunnelDefinition::Password, kPlaceholderPassword},
    {kTunnelSection, "PortaLocale", &TunnelDefinition::PortaLocale, "Numero Porta Locale"},
    {kTunnelSection, "IpServizio", &TunnelDefinition::IpServizio, "IP Intranet del servizio"},
    {kTunnelSection, "PortaServizio", &TunnelDefinition::PortaServizio, "Numero Porta su IP Intranet del servizio"},
}};

void writeOrThrow(const IniFile& file, const char* section, const char* key, const std::string& value) {
    if (!file.writeString(section, key, value))
        throw StoreError("Unable to write to " + file.path());
}

void writeAll(const IniFile& file, const TunnelDefinition& definition) {
    for (const TextKey& row : kTextKeys)
        writeOrThrow(file, row.section, row.key, definition.*row.field);
    writeOrThrow(file, kTunnelSection, kAutoConnectKey, definition.AutoConnessione ? "1" : "0");
}

bool isDigitOf(char c, int base, int& digit) {
    if (c >= '0' && c <= '9')
        digit = c - '0';
    else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
    else
        return false;
    return digit < base;
}

} // namespace

bool parseSwitch(const std::string& text) {
    // Values that do not fit in 32 bits are not integers either.
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::size_t pos = hex ? 2 : 0;
    bool negative = false;
    if (!hex && pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos == text.size())
        return false;
    const int base = hex ? 16 : 10;
    const std::uint64_t limit =
        hex ? std::numeric_limits<std::uint32_t>::max()
            : static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) + (negative ? 1 : 0);
    std::uint64_t value = 0;
    for (; pos < text.size(); ++pos) {
        int digit = 0;
        if (!isDigitOf(text[pos], base, digit))
            return false;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > limit)
            return false;
    }
    return value != 0;
}

void CreateDefaultDefinition(const std::string& tunnelFolder) {
    TunnelDefinition defaults;
    for (const TextKey& row : kTextKeys)
        defaults.*row.field = row.createdValue;
    defaults.AutoConnessione = false;
    writeAll(IniFile(paths::DefinitionFileForAdd(tunnelFolder)), defaults);
}

TunnelDefinition LoadDefinition(const std::string& workingDir, const std::string& name) {
    const IniFile file(paths::DefinitionFile(workingDir, name));
    TunnelDefinition definition;
    for (const TextKey& row : kTextKeys)
        definition.*row.field = file.readString(row.section, row.key, "");
    definition.AutoConnessione = parseSwitch(file.readString(kTunnelSection, kAutoConnectKey, ""));
    return definition;
}

void SaveDefinition(const std::string& workingDir, const std::string& name, const TunnelDefinition& definition) {
    const std::string path = paths::DefinitionFile(workingDir, name);
    // A folder made before tunnel folders were private is closed to other users at its next save.
    fs::makeFolderPrivate(paths::ClientWorkingFolder(path));
    writeAll(IniFile(path), definition);
}

} // namespace quorvane
