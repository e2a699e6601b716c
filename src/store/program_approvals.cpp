// Approvals of the programs a definition names, as fingerprints in the program's settings file.
#include "store/program_approvals.h"

#include "store/ini_file.h"
#include "store/ini_line.h"
#include "store/program_settings.h"
#include "store/sha256.h"

namespace quorvane {

namespace {

const char* const kSection = "Approvazioni";

std::string keyOf(const std::string& tunnel, ProgramSlot slot) {
    std::string folded = tunnel;
    for (char& c : folded)
        c = ini::lowerAscii(c);
    return sha256Hex(folded + '\n' + programSlotKey(slot));
}

std::string fingerprintOf(const std::string& command) {
    return sha256Hex(command);
}

} // namespace

const char* programSlotKey(ProgramSlot slot) {
    return slot == ProgramSlot::Before ? "Prima" : slot == ProgramSlot::After ? "Dopo" : "Apri";
}

ProgramApprovals::ProgramApprovals(std::string dataFolder) : m_settingsFile(settingsFile(dataFolder)) {}

std::string ProgramApprovals::fingerprint(const std::string& key) const {
    const auto unsaved = m_unsaved.find(key);
    if (unsaved != m_unsaved.end())
        return unsaved->second;
    return IniFile(m_settingsFile).readString(kSection, key, "");
}

bool ProgramApprovals::store(const std::vector<std::pair<std::string, std::string>>& keysAndFingerprints) {
    std::vector<IniEntry> entries;
    for (const auto& [key, value] : keysAndFingerprints)
        entries.push_back({kSection, key, value});
    if (IniFile(m_settingsFile).writeStrings(entries) == IniWriteResult::Written) {
        for (const auto& [key, value] : keysAndFingerprints)
            m_unsaved.erase(key);
        return true;
    }
    for (const auto& [key, value] : keysAndFingerprints)
        m_unsaved[key] = value;
    return false;
}

bool ProgramApprovals::approved(const std::string& tunnel, ProgramSlot slot, const std::string& command) const {
    return command.empty() || fingerprint(keyOf(tunnel, slot)) == fingerprintOf(command);
}

bool ProgramApprovals::approve(const std::string& tunnel, ProgramSlot slot, const std::string& command) {
    if (command.empty())
        return true;
    return store({{keyOf(tunnel, slot), fingerprintOf(command)}});
}

bool ProgramApprovals::carryOver(const std::string& from, const std::string& to) {
    if (keyOf(from, ProgramSlot::Before) == keyOf(to, ProgramSlot::Before))
        return true; // only the letter case changed: the same approvals
    std::vector<std::pair<std::string, std::string>> entries;
    for (const ProgramSlot slot : {ProgramSlot::Before, ProgramSlot::After, ProgramSlot::Open}) {
        // Written even when empty: an approval left under the new name by a tunnel long gone must not hold.
        entries.emplace_back(keyOf(to, slot), fingerprint(keyOf(from, slot)));
        entries.emplace_back(keyOf(from, slot), std::string());
    }
    return store(entries);
}

bool ProgramApprovals::forget(const std::string& tunnel) {
    return store({{keyOf(tunnel, ProgramSlot::Before), std::string()},
                  {keyOf(tunnel, ProgramSlot::After), std::string()},
                  {keyOf(tunnel, ProgramSlot::Open), std::string()}});
}

} // namespace quorvane
