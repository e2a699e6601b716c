// A tunnel's definition file: the eight keys, their defaults and the order every write takes.
#include "store/tunnel_definition.h"

#include "store/file_system.h"
#include "store/ini_file.h"
#include "store/paths.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <limits>
#include <vector>

namespace quorvane {

namespace {

constexpr const char* kServerSection = "SSH Server";
constexpr const char* kTunnelSection = "Tunnell";
constexpr const char* kAutoConnectKey = "AutoConnessione";
constexpr const char* kHostKeyKey = "HostKey";
constexpr const char* kReconnectKey = "Riconnessione";
constexpr const char* kKeyFileKey = "FileChiave";
constexpr const char* kDirectionKey = "Direzione";
constexpr const char* kDebugKey = "Debug";
constexpr const char* kBeforeKey = "Prima";
constexpr const char* kAfterKey = "Dopo";
constexpr const char* kExtraForwardsKey = "Inoltri";
constexpr const char* kProbeKey = "Sonda";
constexpr const char* kConnectWaitKey = "AttesaConnessione";
constexpr const char* kJumpKey = "PassaPer";
constexpr const char* kOpenKey = "Apri";
constexpr const char* kOpenOnConnectKey = "ApriAllaConnessione";
constexpr const char kKindLetters[] = {'L', 'R', 'D'};

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}
// Marks a key that is not in the file at all.
constexpr const char* kAbsent = "\x01";

// The seven texts in the order they are written, each with its default for a new tunnel, and whether
// that default only says what belongs there.
struct TextKey {
    const char* section;
    const char* key;
    std::string TunnelDefinition::*field;
    const char* createdValue;
    bool placeholder;
};

const std::array<TextKey, 7> kTextKeys = {{
    {kServerSection, "IpServer", &TunnelDefinition::IpServer, "0.0.0.0", false},
    {kServerSection, "PortaServer", &TunnelDefinition::PortaServer, "22", false},
    {kServerSection, "Username", &TunnelDefinition::Username, "Nome Utente", true},
    {kServerSection, "Password", &TunnelDefinition::Password, kPlaceholderPassword, true},
    {kTunnelSection, "PortaLocale", &TunnelDefinition::PortaLocale, "Numero Porta Locale", true},
    {kTunnelSection, "IpServizio", &TunnelDefinition::IpServizio, "IP Intranet del servizio", true},
    {kTunnelSection, "PortaServizio", &TunnelDefinition::PortaServizio, "Numero Porta su IP Intranet del servizio",
     true},
}};

// The entries a write gives the file. The newer keys are written when set, or to clear a value the file
// holds (current): a definition that never used them keeps its eight keys.
std::vector<IniEntry> entriesOf(const TunnelDefinition& definition, const IniText& current) {
    std::vector<IniEntry> entries;
    for (const TextKey& row : kTextKeys)
        entries.push_back({row.section, row.key, definition.*row.field});
    entries.push_back({kTunnelSection, kAutoConnectKey, definition.AutoConnessione ? "1" : "0"});
    const auto present = [&](const char* section, const char* key) {
        return current.readString(section, key, kAbsent) != kAbsent;
    };
    if (!definition.HostKey.empty() || present(kServerSection, kHostKeyKey))
        entries.push_back({kServerSection, kHostKeyKey, definition.HostKey});
    if (definition.Riconnessione || present(kTunnelSection, kReconnectKey))
        entries.push_back({kTunnelSection, kReconnectKey, definition.Riconnessione ? "1" : "0"});
    if (!definition.FileChiave.empty() || present(kServerSection, kKeyFileKey))
        entries.push_back({kServerSection, kKeyFileKey, definition.FileChiave});
    if (definition.Direzione != kForwardLocal || present(kTunnelSection, kDirectionKey))
        entries.push_back({kTunnelSection, kDirectionKey, std::to_string(definition.Direzione)});
    if (definition.Debug || present(kTunnelSection, kDebugKey))
        entries.push_back({kTunnelSection, kDebugKey, definition.Debug ? "1" : "0"});
    if (!definition.Prima.empty() || present(kTunnelSection, kBeforeKey))
        entries.push_back({kTunnelSection, kBeforeKey, definition.Prima});
    if (!definition.Dopo.empty() || present(kTunnelSection, kAfterKey))
        entries.push_back({kTunnelSection, kAfterKey, definition.Dopo});
    if (!definition.Inoltri.empty() || !definition.InoltriIllegibili.empty() ||
        present(kTunnelSection, kExtraForwardsKey)) {
        std::string forwards = formatExtraForwards(definition.Inoltri);
        for (const std::string& entry : definition.InoltriIllegibili)
            forwards += (forwards.empty() ? "" : ";") + entry;
        entries.push_back({kTunnelSection, kExtraForwardsKey, forwards});
    }
    if (definition.Sonda != kDefaultProbeSeconds || present(kTunnelSection, kProbeKey))
        entries.push_back({kTunnelSection, kProbeKey, std::to_string(definition.Sonda)});
    if (!definition.PassaPer.empty() || present(kTunnelSection, kJumpKey))
        entries.push_back({kTunnelSection, kJumpKey, definition.PassaPer});
    if (!definition.Apri.empty() || present(kTunnelSection, kOpenKey))
        entries.push_back({kTunnelSection, kOpenKey, definition.Apri});
    if (definition.ApriAllaConnessione || present(kTunnelSection, kOpenOnConnectKey))
        entries.push_back({kTunnelSection, kOpenOnConnectKey, definition.ApriAllaConnessione ? "1" : "0"});
    if (definition.AttesaConnessione != kDefaultConnectSeconds || present(kTunnelSection, kConnectWaitKey))
        entries.push_back({kTunnelSection, kConnectWaitKey, std::to_string(definition.AttesaConnessione)});
    return entries;
}

// All eight keys in one replacement of the file: a crash between keys would leave a mixed definition.
void writeAll(const std::string& path, const TunnelDefinition& definition) {
    // One read serves every check; a file that cannot be read here is refused by the write itself.
    std::string bytes;
    fs::readFileNoFollow(path, kDefinitionMaxBytes, bytes);
    const std::vector<IniEntry> entries = entriesOf(definition, IniText(std::move(bytes)));
    StoreError::Cause cause = StoreError::Cause::WriteFailed;
    switch (IniFile(path).writeStrings(entries, kDefinitionMaxBytes)) {
    case IniWriteResult::Written:
        return;
    case IniWriteResult::Refused:
        cause = StoreError::Cause::BadValue;
        break;
    case IniWriteResult::Link:
        cause = StoreError::Cause::Link;
        break;
    case IniWriteResult::TooLarge:
        cause = StoreError::Cause::TooLarge;
        break;
    case IniWriteResult::Failed:
        break;
    }
    throw StoreError("Unable to write to " + path, cause);
}

// Seconds: a whole number up to limit, 0 for none; anything else keeps the default.
int parseSeconds(const std::string& text, int fallback, int limit) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return fallback;
    const int seconds = std::stoi(text);
    return seconds <= limit ? seconds : fallback;
}

DefinitionProblem problemOf(fs::FileStatus status) {
    switch (status) {
    case fs::FileStatus::Ok:
        return DefinitionProblem::None;
    case fs::FileStatus::Missing:
        return DefinitionProblem::Missing;
    case fs::FileStatus::Link:
    case fs::FileStatus::HardLinked:
        return DefinitionProblem::Link;
    case fs::FileStatus::NotAFile:
        return DefinitionProblem::NotAFile;
    case fs::FileStatus::TooLarge:
        return DefinitionProblem::TooLarge;
    case fs::FileStatus::Failed:
        break;
    }
    return DefinitionProblem::Unreadable;
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

char forwardKindLetter(int kind) {
    return kind >= kForwardLocal && kind <= kForwardDynamic ? kKindLetters[kind] : kKindLetters[kForwardLocal];
}

std::optional<int> forwardKindOf(char letter) {
    const char upper = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
    const char* found = std::find(std::begin(kKindLetters), std::end(kKindLetters), upper);
    if (found == std::end(kKindLetters))
        return std::nullopt;
    return static_cast<int>(found - std::begin(kKindLetters));
}

std::string formatExtraForwards(const std::vector<ExtraForward>& forwards) {
    std::string text;
    for (const ExtraForward& forward : forwards) {
        if (forward.kind < kForwardLocal || forward.kind > kForwardDynamic)
            continue;
        if (!text.empty())
            text += ';';
        text += kKindLetters[forward.kind];
        text += ',' + forward.localPort + ',' + forward.address + ',' + forward.port;
    }
    return text;
}

std::vector<ExtraForward> parseExtraForwards(const std::string& text, std::vector<std::string>* unreadable) {
    std::vector<ExtraForward> forwards;
    if (text.empty())
        return forwards;
    for (const std::string& entry : splitAt(text, ';')) {
        if (entry.empty())
            continue; // a separator too many holds nothing to forward
        const std::vector<std::string> fields = splitAt(entry, ',');
        const char* letter = fields.size() == 4 && fields[0].size() == 1
                                 ? std::find(std::begin(kKindLetters), std::end(kKindLetters), fields[0][0])
                                 : std::end(kKindLetters);
        if (letter == std::end(kKindLetters)) {
            if (unreadable)
                unreadable->push_back(entry);
            continue;
        }
        forwards.push_back({static_cast<int>(letter - std::begin(kKindLetters)), fields[1], fields[2], fields[3]});
    }
    return forwards;
}

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

std::string_view placeholderOf(std::string TunnelDefinition::*field) {
    for (const TextKey& row : kTextKeys) {
        if (row.field == field)
            return row.placeholder ? row.createdValue : std::string_view();
    }
    return {};
}

void CreateDefaultDefinition(const std::string& tunnelFolder) {
    TunnelDefinition defaults;
    for (const TextKey& row : kTextKeys)
        defaults.*row.field = row.createdValue;
    defaults.AutoConnessione = false;
    writeAll(paths::DefinitionFileForAdd(tunnelFolder), defaults);
}

std::string DefinitionLoad::message() const {
    switch (problem) {
    case DefinitionProblem::None:
        return {};
    case DefinitionProblem::Missing:
        return "Unable to read " + path + ": it does not exist";
    case DefinitionProblem::Link:
        return "Unable to read " + path + ": it or its folder is a symbolic link";
    case DefinitionProblem::NotAFile:
        return "Unable to read " + path + ": it is not a file";
    case DefinitionProblem::TooLarge:
        return "Unable to read " + path + ": it is larger than " + std::to_string(kDefinitionMaxBytes / 1024) + " KiB";
    case DefinitionProblem::ValueCut:
        return "Unable to use " + path + ": the value of " + cutKey + " is longer than " +
               std::to_string(IniText::kValueBufferChars - 1) + " characters";
    case DefinitionProblem::NotADefinition:
        return "Unable to use " + path + ": it is not a tunnel definition";
    case DefinitionProblem::Unreadable:
        break;
    }
    return "Unable to read " + path;
}

namespace {

DefinitionLoad definitionFrom(const std::string& path, fs::FileStatus read, std::string bytes, bool mustHoldKeys) {
    DefinitionLoad load;
    load.path = path;
    load.problem = problemOf(read);
    if (!load.ok())
        return load;
    // One read for all eight keys: they come from one version of the file.
    const IniText text(std::move(bytes));
    if (mustHoldKeys && text.readKeyNames(kServerSection, IniText::kValueBufferChars).empty() &&
        text.readKeyNames(kTunnelSection, IniText::kValueBufferChars).empty()) {
        load.problem = DefinitionProblem::NotADefinition;
        return load;
    }
    for (const TextKey& row : kTextKeys)
        load.definition.*row.field = text.readString(row.section, row.key, "");
    load.definition.AutoConnessione = parseSwitch(text.readString(kTunnelSection, kAutoConnectKey, ""));
    load.definition.HostKey = text.readString(kServerSection, kHostKeyKey, "");
    load.definition.Riconnessione = parseSwitch(text.readString(kTunnelSection, kReconnectKey, ""));
    load.definition.FileChiave = text.readString(kServerSection, kKeyFileKey, "");
    // An unknown kind (a newer program's) falls back to the local forward every version knows.
    const std::string direction = text.readString(kTunnelSection, kDirectionKey, "");
    load.definition.Direzione = direction == "1" ? kForwardRemote : direction == "2" ? kForwardDynamic : kForwardLocal;
    load.definition.Debug = parseSwitch(text.readString(kTunnelSection, kDebugKey, ""));
    load.definition.Prima = text.readString(kTunnelSection, kBeforeKey, "");
    load.definition.Dopo = text.readString(kTunnelSection, kAfterKey, "");
    load.definition.Inoltri =
        parseExtraForwards(text.readString(kTunnelSection, kExtraForwardsKey, ""), &load.definition.InoltriIllegibili);
    load.definition.Sonda =
        parseSeconds(text.readString(kTunnelSection, kProbeKey, ""), kDefaultProbeSeconds, kMaxProbeSeconds);
    load.definition.AttesaConnessione =
        parseSeconds(text.readString(kTunnelSection, kConnectWaitKey, ""), kDefaultConnectSeconds, kMaxConnectSeconds);
    load.definition.PassaPer = text.readString(kTunnelSection, kJumpKey, "");
    load.definition.Apri = text.readString(kTunnelSection, kOpenKey, "");
    load.definition.ApriAllaConnessione = parseSwitch(text.readString(kTunnelSection, kOpenOnConnectKey, ""));
    // A cut value would pass for a whole one (a list of forwards without its last, a shorter port): refused.
    const auto fits = [&](const char* section, const char* key) {
        if (!load.ok() || text.fitsWhole(section, key))
            return;
        load.problem = DefinitionProblem::ValueCut;
        load.cutKey = key;
    };
    for (const TextKey& row : kTextKeys)
        fits(row.section, row.key);
    for (const char* key : {kHostKeyKey, kKeyFileKey})
        fits(kServerSection, key);
    for (const char* key : {kBeforeKey, kAfterKey, kExtraForwardsKey, kJumpKey, kOpenKey})
        fits(kTunnelSection, key);
    return load;
}

DefinitionLoad readDefinition(const std::string& path, bool mustHoldKeys) {
    std::string bytes;
    const fs::FileStatus read = fs::readFileNoFollow(path, kDefinitionMaxBytes, bytes);
    return definitionFrom(path, read, std::move(bytes), mustHoldKeys);
}

} // namespace

DefinitionLoad loadDefinitionChecked(const std::string& workingDir, const std::string& name) {
    return readDefinition(paths::DefinitionFile(workingDir, name), false);
}

DefinitionLoad loadDefinitionChecked(const fs::OpenFolder& tunnelsDir, const std::string& name) {
    const std::string relative = paths::DefinitionFileInTunnels(name);
    std::string bytes;
    const fs::FileStatus read = tunnelsDir.readFileNoFollow(relative, kDefinitionMaxBytes, bytes);
    return definitionFrom(tunnelsDir.path() + relative, read, std::move(bytes), false);
}

DefinitionLoad loadDefinitionFile(const std::string& path) {
    return readDefinition(path, true);
}

void exportDefinition(const std::string& path, const TunnelDefinition& definition) {
    IniText text;
    if (!text.write(entriesOf(definition, IniText())))
        throw StoreError("Unable to write to " + path, StoreError::Cause::BadValue);
    if (text.bytes().size() > kDefinitionMaxBytes)
        throw StoreError("Unable to write to " + path, StoreError::Cause::TooLarge);
    switch (fs::replacePrivateFileNoFollow(path, text.bytes())) {
    case fs::FileStatus::Ok:
        return;
    case fs::FileStatus::Link:
        throw StoreError("Unable to write to " + path, StoreError::Cause::Link);
    default:
        throw StoreError("Unable to write to " + path);
    }
}

TunnelDefinition LoadDefinition(const std::string& workingDir, const std::string& name) {
    return loadDefinitionChecked(workingDir, name).definition;
}

void SaveDefinition(const std::string& workingDir, const std::string& name, const TunnelDefinition& definition) {
    const std::string path = paths::DefinitionFile(workingDir, name);
    // A folder made before tunnel folders were private is closed to other users at its next save.
    fs::makeFolderPrivate(paths::ClientWorkingFolder(path));
    writeAll(path, definition);
}

std::size_t removeLeftoverFiles(const std::string& workingDir, const std::string& name) {
    return fs::removeLeftoverTemporaryFiles(paths::ClientWorkingFolder(paths::DefinitionFile(workingDir, name)));
}

} // namespace quorvane
