// KeyGenerator on Windows: not offered; the program starts puttygen.exe in its own window instead.
#include "process/key_generator.h"

namespace quorvane {

bool keyGenerationAvailable() {
    return false;
}

KeyResult generateKey(const std::string& /*puttygenPath*/, const KeyRequest& /*request*/) {
    KeyResult result;
    result.error = "Key generation is not available on this system";
    return result;
}

KeyResult convertKey(const std::string& /*puttygenPath*/, const std::string& /*keyFile*/,
                     const std::string& /*target*/) {
    KeyResult result;
    result.error = "Key conversion is not available on this system";
    return result;
}

} // namespace quorvane
