// The two complete definitions the saver program alternates between; every value differs between them.
#pragma once

#include "store/tunnel_definition.h"

namespace quorvane::test {

inline const TunnelDefinition kSaverDefinitions[2] = {
    {"old.example.org", "22", "Jos\xC3\xA9", "  old secret  ", "9001", "10.0.0.1", "3389", false},
    {"a-much-longer-name.new.example.org", "2222", "\xE6\x97\xA5", "\"new\" secret", "19001", "192.168.100.200", "443",
     true},
};

} // namespace quorvane::test
