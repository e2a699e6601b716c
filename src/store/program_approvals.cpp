// Approvals of the programs a definition names, as fingerprints in the program's settings file.
#include "store/program_approvals.h"

#include "store/ini_file.h"
#include "store/program_settings.h"
#include "store/sha256.h"

#include <vector>

namespace quorvane {

namespace {

const char* const kSection = "Approvazioni";

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string keyOf(const std::string& tunnel, ProgramSlot slot) {
    std::string folded = tunnel;
    for (char& c : folded)
        c = lowerAscii(c);
    return sha256Hex(folded + '\n' + programSlotKey(slot));
}

std::string fingerprintOf(const std::string& command) {
    return sha256Hex(command);
}

} // namespace

const char* programSlotKey(ProgramSlot slot) {
    return slot == ProgramSlot::Before ? "Prima" : "Dopo";
}

ProgramApprovals::ProgramApprovals(std::string dataFolder) : m_settingsFile(settingsFile(dataFolder)) {}

bool ProgramApprovals::approved(const std::string& tunnel, ProgramSlot slot, const std::string& command) const {
    if (command.empty())
        return true;
    return IniFile(m_settingsFile).readString(kSection, keyOf(tunnel, slot), "") == fingerprintOf(command);
}

bool ProgramApprovals::approve(const std::string& tunnel, ProgramSlot slot, const std::string& command) const {
    if (command.empty())
        return true;
    return IniFile(m_settingsFile).writeStrings({{kSection, keyOf(tunnel, slot), fingerprintOf(command)}}) ==
           IniWriteResult::Written;
}

bool ProgramApprovals::carryOver(const std::string& from, const std::string& to) const {
    const IniFile file(m_settingsFile);
    std::vector<IniEntry> entries;
    for (const ProgramSlot slot : {ProgramSlot::Before, ProgramSlot::After}) {
        const std::string fingerprint = file.readString(kSection, keyOf(from, slot), "");
        if (!fingerprint.empty())
            entries.push_back({kSection, keyOf(to, slot), fingerprint});
    }
    return entries.empty() || file.writeStrings(entries) == IniWriteResult::Written;
}

} // namespace quorvane
