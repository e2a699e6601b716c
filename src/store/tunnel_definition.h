// A tunnel's definition file "tunnell.tun": create with defaults, load, save.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::fs {
class OpenFolder;
}

namespace quorvane {

// A forward besides the main one: kind kForwardLocal, kForwardRemote or kForwardDynamic, and its
// texts as typed (a dynamic forward has no address or port).
struct ExtraForward {
    int kind = 0;
    std::string localPort;
    std::string address;
    std::string port;
    bool operator==(const ExtraForward&) const = default;
};

// A connected tunnel's server is asked this often whether it still answers, unless its definition says otherwise.
inline constexpr int kDefaultProbeSeconds = 5;
inline constexpr int kMaxProbeSeconds = 3600;
// A connect is given up after this many seconds unless its definition says otherwise.
inline constexpr int kDefaultConnectSeconds = 20;
inline constexpr int kMaxConnectSeconds = 3600;

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
    // Newer keys; a file without them reads as before and gets them only when they are set.
    std::string HostKey{};      // [SSH Server] HostKey: the server's trusted key fingerprint ("SHA256:...")
    bool Riconnessione = false; // [Tunnell] Riconnessione: restart the client after an unexpected end
    std::string FileChiave{}; // [SSH Server] FileChiave: private key file, relative to the tunnel folder when inside it
    int Direzione = 0;        // [Tunnell] Direzione: kForwardLocal, kForwardRemote or kForwardDynamic
    bool Debug = false;       // [Tunnell] Debug: the client in a visible window
    std::string Prima{};      // [Tunnell] Prima: a program run (and waited for) before the client starts
    std::string Dopo{};       // [Tunnell] Dopo: a program started after the client has ended
    std::vector<ExtraForward> Inoltri{}; // [Tunnell] Inoltri: "K,LP,ADDRESS,PORT" entries joined by ";"
    // Entries of Inoltri that are no forward (not four parts, an unknown kind), as the file holds them: kept
    // when the definition is written again, refused by connect.
    std::vector<std::string> InoltriIllegibili{};
    // [Tunnell] Sonda: seconds between two checks that the server still answers; 0 turns them off.
    int Sonda = kDefaultProbeSeconds;
    // [Tunnell] PassaPer: another tunnel of the list whose server is the way to this one's (a jump host).
    std::string PassaPer{};
    // [Tunnell] Apri: what to open once connected, a web address or a program ("{porta}": the local port).
    std::string Apri{};
    bool ApriAllaConnessione = false; // [Tunnell] ApriAllaConnessione: open it at each connect the user makes
    // [Tunnell] AttesaConnessione: seconds a connect may take before it is given up; 0 waits for ever.
    int AttesaConnessione = kDefaultConnectSeconds;

    bool operator==(const TunnelDefinition&) const = default;
};

// The forward kinds of Direzione: -L (what every older definition means), -R, and -D (a SOCKS proxy on the local port).
inline constexpr int kForwardLocal = 0;
inline constexpr int kForwardRemote = 1;
inline constexpr int kForwardDynamic = 2;

// A forward kind's letter in the Inoltri list ('L', 'R', 'D'; 'L' for a kind out of range), and back
// (nothing for any other letter, case aside).
char forwardKindLetter(int kind);
std::optional<int> forwardKindOf(char letter);

// A refused write: what() is "Unable to write to <path>" whatever the cause; the file is untouched.
class StoreError : public std::runtime_error {
public:
    enum class Cause {
        WriteFailed, // the file system refused (missing folder, permissions, a folder in the file's place)
        Link,        // the definition or its tunnel folder is a symbolic link: never written through
        BadValue,    // a value that would not read back as given (CR/LF, longer than 2047 characters, not UTF-8)
        TooLarge,    // the definition, before or after, is larger than kDefinitionMaxBytes
    };

    explicit StoreError(const std::string& message, Cause cause = Cause::WriteFailed)
        : std::runtime_error(message), m_cause(cause) {}

    Cause cause() const { return m_cause; }

private:
    Cause m_cause;
};

inline constexpr const char* kPlaceholderPassword = "password";

// A definition holds eight short values: a larger file is refused, and never read past this size.
inline constexpr std::size_t kDefinitionMaxBytes = 64 * 1024;

// Why a definition could not be loaded.
enum class DefinitionProblem {
    None,
    Missing,        // no file (or no tunnel folder)
    Link,           // the file or the tunnel folder is a symbolic link (the tunnels folder itself may be one)
    NotAFile,       // a folder, pipe or device in its place
    TooLarge,       // larger than kDefinitionMaxBytes
    Unreadable,     // permissions or I/O
    ValueCut,       // a value longer than reading can give whole (the definition holds it cut)
    NotADefinition, // a file to import that holds no key of a definition
};

struct DefinitionLoad {
    TunnelDefinition definition; // all empty/off unless ok() or ValueCut
    DefinitionProblem problem = DefinitionProblem::None;
    std::string path;   // the definition file, as the message names it
    std::string cutKey; // for ValueCut

    bool ok() const { return problem == DefinitionProblem::None; }
    // For the user: "Unable to read <path>", then the reason; empty when ok().
    std::string message() const;
};

// The Inoltri value and back. Entries that cannot be read (an unknown kind, missing fields) go to unreadable; address
// and ports must hold no "," or ";" to be written (checkConnectFields refuses them).
std::string formatExtraForwards(const std::vector<ExtraForward>& forwards);
std::vector<ExtraForward> parseExtraForwards(const std::string& text, std::vector<std::string>* unreadable = nullptr);

// The switch rule: integer (hex after "0x"/"0X" when longer than two characters), non-zero is on;
// missing or not an integer is off.
bool parseSwitch(const std::string& text);

// The text a new tunnel's definition holds in that field to say what belongs there ("Nome Utente",
// "Numero Porta Locale", the password "password"): a field still holding it was never set. Empty for a
// field whose new value is a real one (the server's address and port) or that starts empty.
std::string_view placeholderOf(std::string TunnelDefinition::*field);

// Writes the eight defaults into tunnelFolder + "\Tunnell.tun", as SaveDefinition writes.
void CreateDefaultDefinition(const std::string& tunnelFolder);

// Reads WorkingDir + "\tunnells\" + name + "\tunnell.tun", reporting a file that cannot serve: for
// the commands that act on a definition (connect) and must refuse and tell the user.
DefinitionLoad loadDefinitionChecked(const std::string& workingDir, const std::string& name);
// The same, for many tunnels: the tunnels folder (TunnelsDirForListing) held open once.
DefinitionLoad loadDefinitionChecked(const fs::OpenFolder& tunnelsDir, const std::string& name);

// A definition file outside the tunnels folder (one exported, to import), read as loadDefinitionChecked reads a
// tunnel's, with the same limits and refusals; a file that holds none of a definition's keys is NotADefinition.
DefinitionLoad loadDefinitionFile(const std::string& path);

// Writes the definition alone into a new file at path (one already there is replaced, never merged with, and
// never written through a link): the keys a definition written afresh holds, readable by its owner alone.
// Throws StoreError, the file untouched, when the write is refused.
void exportDefinition(const std::string& path, const TunnelDefinition& definition);

// loadDefinitionChecked's definition: never fails (missing values, and every value of a file it
// refuses, are empty/off). For the editor.
TunnelDefinition LoadDefinition(const std::string& workingDir, const std::string& name);

// Writes all eight keys in table order to the same path in one atomic replacement of the file: a
// crash leaves the old definition or the new one, never a mix. Keys keep their line and spelling,
// other lines stay byte for byte, missing keys and sections are added. Throws StoreError (file
// untouched) when the write is refused.
void SaveDefinition(const std::string& workingDir, const std::string& name, const TunnelDefinition& definition);

// Removes the temporary files an interrupted save or client copy left in the tunnel's folder
// (fs::removeLeftoverTemporaryFiles on WorkingDir + "\tunnells\" + name); returns how many. For the
// load sequence, before reading each tunnel, and the delete command, before listing the folder.
std::size_t removeLeftoverFiles(const std::string& workingDir, const std::string& name);

} // namespace quorvane
