// Which programs named by a tunnel's definition the user has approved: kept in the user's own settings,
// never in the definition, so a definition received from someone else carries no approval.
#pragma once

#include <string>

namespace quorvane {

// The definition keys that name a program to run.
enum class ProgramSlot { Before, After };

// The key that names the slot in a definition ("Prima", "Dopo").
const char* programSlotKey(ProgramSlot slot);

// One approval per tunnel and slot: approving another command replaces the one before. Only
// fingerprints are stored (of the tunnel's name in any letter case with the slot, and of the command),
// so the settings file tells no one which programs a tunnel runs.
class ProgramApprovals {
public:
    explicit ProgramApprovals(std::string dataFolder);

    // True for an empty command: there is nothing to run.
    bool approved(const std::string& tunnel, ProgramSlot slot, const std::string& command) const;
    // False when the settings file could not be written (a link, not a file, full disk).
    bool approve(const std::string& tunnel, ProgramSlot slot, const std::string& command) const;
    // The approvals of a renamed tunnel follow it.
    bool carryOver(const std::string& from, const std::string& to) const;

private:
    std::string m_settingsFile;
};

} // namespace quorvane
