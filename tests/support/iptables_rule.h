// A firewall rule on this machine for as long as a test needs it, for faults only a network can make.
#pragma once

#include <string>
#include <vector>

namespace quorvane::test {

// Why iptables cannot be used here, or "".
std::string iptablesGap();

// A rule at the top of a chain for as long as the object lives, also when the test stops half-way. Throws
// std::runtime_error when iptables refuses it; a rule left behind fails the test.
class IptablesRule {
public:
    explicit IptablesRule(std::vector<std::string> rule, std::string chain = "INPUT");
    ~IptablesRule();
    IptablesRule(const IptablesRule&) = delete;
    IptablesRule& operator=(const IptablesRule&) = delete;

private:
    int run(const char* action, std::string& output) const;
    std::vector<std::string> m_rule;
    std::string m_chain;
};

} // namespace quorvane::test
