// Firewall rules for tests, put in and taken out with iptables.
#include "support/iptables_rule.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <unistd.h>

#include "support/ssh_server.h"

namespace quorvane::test {

namespace {
constexpr const char* kIptables = "/usr/sbin/iptables";
}

std::string iptablesGap() {
    if (access(kIptables, X_OK) != 0)
        return "no /usr/sbin/iptables (install iptables)";
    std::string output;
    if (runProgram({kIptables, "-w", "-L", "INPUT", "-n"}, "", &output) != 0)
        return "iptables cannot be used here: " + output;
    return "";
}

IptablesRule::IptablesRule(std::vector<std::string> rule, std::string chain)
    : m_rule(std::move(rule)), m_chain(std::move(chain)) {
    std::string output;
    if (run("-I", output) != 0)
        throw std::runtime_error("iptables refused the rule: " + output);
}

IptablesRule::~IptablesRule() {
    std::string output;
    if (run("-D", output) != 0)
        ADD_FAILURE() << "an iptables rule was left behind: " << output;
}

int IptablesRule::run(const char* action, std::string& output) const {
    std::vector<std::string> argv{kIptables, "-w", action, m_chain};
    argv.insert(argv.end(), m_rule.begin(), m_rule.end());
    return runProgram(argv, "", &output);
}

} // namespace quorvane::test
