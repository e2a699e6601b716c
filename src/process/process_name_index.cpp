// Folded process names in a hash set: a monitor pass costs tunnels + processes, not their product.
#include "process/process_name_index.h"

#include <array>

namespace quorvane {

namespace {

constexpr std::string_view kClientSuffix = "ssh.exe"; // "SSH.exe" already folded

char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

ProcessNameIndex::ProcessNameIndex(const std::vector<ProcessEntry>& snapshot) {
    m_names.reserve(snapshot.size());
    for (const ProcessEntry& entry : snapshot)
        add(entry.name);
}

void ProcessNameIndex::add(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        c = foldAscii(c);
    m_names.insert(std::move(folded));
    ++m_count;
}

bool ProcessNameIndex::containsFolded(std::string_view head, std::string_view tail) const {
    // Folding goes into a stack buffer; only unusually long names pay for a heap string.
    std::array<char, 256> stackBuffer;
    std::string heapBuffer;
    char* out = stackBuffer.data();
    const std::size_t length = head.size() + tail.size();
    if (length > stackBuffer.size()) {
        heapBuffer.resize(length);
        out = heapBuffer.data();
    }
    std::size_t at = 0;
    for (const char c : head)
        out[at++] = foldAscii(c);
    for (const char c : tail)
        out[at++] = foldAscii(c);
    return m_names.find(std::string_view(out, length)) != m_names.end();
}

bool ProcessNameIndex::contains(std::string_view clientExeName) const {
    if (m_names.empty())
        return false;
    return containsFolded(clientExeName, {});
}

int ProcessNameIndex::pictureFor(std::string_view tunnelName, int currentPicture) const {
    if (empty())
        return currentPicture;
    return containsFolded(tunnelName, kClientSuffix) ? 1 : 0;
}

} // namespace quorvane
