// Which programs named by a tunnel's definition the user has approved: kept in the user's own settings,
// never in the definition, so a definition received from someone else carries no approval.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorvane {

// The definition keys that name a program to run.
enum class ProgramSlot { Before, After, Open };

// The key that names the slot in a definition ("Prima", "Dopo", "Apri").
const char* programSlotKey(ProgramSlot slot);

// One approval per tunnel and slot: approving another command replaces the one before. Only
// fingerprints are stored (of the tunnel's name in any letter case with the slot, and of the command),
// so the settings file tells no one which programs a tunnel runs.
class ProgramApprovals {
public:
    explicit ProgramApprovals(std::string dataFolder);

    // True for an empty command: there is nothing to run.
    bool approved(const std::string& tunnel, ProgramSlot slot, const std::string& command) const;
    // False when the settings file could not be written (a link, not a file, full disk): the approval
    // then holds for this object's life only.
    bool approve(const std::string& tunnel, ProgramSlot slot, const std::string& command);
    // The approvals of a renamed tunnel follow it, and its old name keeps none.
    bool carryOver(const std::string& from, const std::string& to);
    // A deleted tunnel's approvals go with it: a new folder of that name must be approved anew.
    bool forget(const std::string& tunnel);

private:
    std::string fingerprint(const std::string& key) const;
    bool store(const std::vector<std::pair<std::string, std::string>>& keysAndFingerprints);

    std::string m_settingsFile;
    std::unordered_map<std::string, std::string> m_unsaved; // key -> fingerprint, when the file refused them
};

} // namespace quorvane
