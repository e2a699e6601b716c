// KeyGenerator: makes a PuTTY key file and its OpenSSH public line by running puttygen without a terminal.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvane {

struct KeyRequest {
    std::string type;       // "ed25519", "ecdsa", "rsa"
    int bits = 0;           // rsa: 2048/3072/4096; ecdsa: 256/384/521; ed25519: ignored
    std::string comment;    // kept in the key file and at the end of the public line
    std::string passphrase; // empty: the key is not encrypted
    std::string outputFile; // the .ppk to create; an existing file is never replaced
};

struct KeyResult {
    bool ok = false;
    std::string error;         // when not ok: our text, or puttygen's own last error line
    std::string publicKeyLine; // OpenSSH authorized_keys line, without the line end
};

// What is wrong with the request before anything runs (unknown type, bits that do not fit the type,
// a line break in the passphrase or comment, no file), or nothing.
std::optional<std::string> checkKeyRequest(const KeyRequest& request);

// The arguments after the program name: the passphrase is read from passphraseFile, never given itself.
std::vector<std::string> generationArguments(const KeyRequest& request, const std::string& passphraseFile);
std::vector<std::string> publicKeyArguments(const std::string& keyFile);

// The arguments that write target, a PuTTY key file, from a private key in OpenSSH or PEM form (which plink
// cannot read).
std::vector<std::string> conversionArguments(const std::string& keyFile, const std::string& target);

// Whether generateKey works on this system; where it does not, the caller starts puttygen interactively.
bool keyGenerationAvailable();

// Creates request.outputFile (readable by the user alone) and returns its public line. Blocks until
// puttygen ends. On failure no new file is left behind, except when only reading the public line failed.
KeyResult generateKey(const std::string& puttygenPath, const KeyRequest& request);

// Writes target (readable by the user alone; an existing file is never replaced) from keyFile, which is only
// read. A key with a passphrase is refused: there is no terminal to ask it on. Blocks until puttygen ends; on
// failure no target is left behind. Where generateKey is not available, neither is this.
KeyResult convertKey(const std::string& puttygenPath, const std::string& keyFile, const std::string& target);

} // namespace quorvane
