// KeyGenerator: the checks and puttygen arguments shared by every platform.
#include "process/key_generator.h"

#include <algorithm>
#include <array>

namespace quorvane {

namespace {

struct KeyType {
    const char* name;
    std::array<int, 3> bits; // all zero: the type takes no size
};

constexpr KeyType kKeyTypes[] = {
    {"ed25519", {0, 0, 0}},
    {"ecdsa", {256, 384, 521}},
    {"rsa", {2048, 3072, 4096}},
};

const KeyType* findType(const std::string& name) {
    for (const KeyType& type : kKeyTypes)
        if (name == type.name)
            return &type;
    return nullptr;
}

bool takesBits(const KeyType& type) {
    return type.bits[0] != 0;
}

// puttygen reads a single line from a passphrase file, so a line break would cut the passphrase short.
bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

} // namespace

std::optional<std::string> checkKeyRequest(const KeyRequest& request) {
    const KeyType* type = findType(request.type);
    if (!type)
        return "Unknown key type \"" + request.type + "\"";
    if (takesBits(*type) && std::find(type->bits.begin(), type->bits.end(), request.bits) == type->bits.end())
        return std::to_string(request.bits) + " bits do not fit a key of type " + request.type;
    if (hasLineBreak(request.passphrase))
        return std::string("The passphrase cannot contain a line break");
    if (hasLineBreak(request.comment))
        return std::string("The comment cannot contain a line break");
    if (request.outputFile.empty())
        return std::string("No key file given");
    return std::nullopt;
}

std::vector<std::string> generationArguments(const KeyRequest& request, const std::string& passphraseFile) {
    std::vector<std::string> arguments = {"-t", request.type};
    const KeyType* type = findType(request.type);
    if (type && takesBits(*type))
        arguments.insert(arguments.end(), {"-b", std::to_string(request.bits)});
    arguments.insert(arguments.end(),
                     {"-C", request.comment, "-o", request.outputFile, "--new-passphrase", passphraseFile});
    return arguments;
}

std::vector<std::string> publicKeyArguments(const std::string& keyFile) {
    // The public half of a .ppk is stored in the clear: no passphrase is needed to read it. A name that
    // starts with a dash would be taken for an option.
    return {keyFile.starts_with('-') ? "./" + keyFile : keyFile, "-O", "public-openssh"};
}

std::vector<std::string> conversionArguments(const std::string& keyFile, const std::string& target) {
    return {keyFile.starts_with('-') ? "./" + keyFile : keyFile, "-O", "private", "-o", target};
}

} // namespace quorvane
