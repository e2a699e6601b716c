// Folder walker: recursive listing of folder names and file paths, sorted without regard to case.
#include "store/folder_walker.h"

#include "store/directory_search.h"
#include "store/file_system.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <utility>

namespace quorvane {

namespace {

std::string trimmed(const std::string& text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::string::size_type begin = 0;
    std::string::size_type end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// ASCII only: bytes of multibyte characters must pass through untouched, whatever the C locale.
std::string asciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// A collation key in the current C locale, with case folded first. Bytes that do not decode are kept
// as their own values so that every name gets a key and the ordering stays consistent.
std::wstring collationKey(const std::string& text) {
    std::wstring folded;
    std::mbstate_t state{};
    const char* cursor = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        wchar_t wide = 0;
        std::size_t used = std::mbrtowc(&wide, cursor, left, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
            wide = static_cast<wchar_t>(static_cast<unsigned char>(*cursor));
            used = 1;
            state = std::mbstate_t{};
        } else if (used == 0) {
            used = 1; // an embedded NUL
        }
        folded.push_back(static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(wide))));
        cursor += used;
        left -= used;
    }

    const std::size_t length = std::wcsxfrm(nullptr, folded.c_str(), 0);
    if (length == static_cast<std::size_t>(-1))
        return folded;
    std::wstring key(length + 1, L'\0');
    std::wcsxfrm(key.data(), folded.c_str(), key.size());
    key.resize(length);
    return key;
}

void sortWithoutCase(std::vector<std::string>& list) {
    // Keys are computed once per name; comparing keys keeps the ordering strict and cheap.
    std::vector<std::pair<std::wstring, std::string>> keyed;
    keyed.reserve(list.size());
    for (std::string& name : list)
        keyed.emplace_back(collationKey(name), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i] = std::move(keyed[i].second);
}

std::string joined(const std::string& folder, const std::string& name) {
    if (!folder.empty() && isPathSeparator(folder.back()))
        return folder + name;
    return folder + pathSeparator() + name;
}

template <typename T> void appendMoved(std::vector<T>& target, std::vector<T>& source) {
    target.insert(target.end(), std::make_move_iterator(source.begin()), std::make_move_iterator(source.end()));
}

} // namespace

LeftoverFolders::LeftoverFolders(const std::vector<std::string>& filePaths) {
    for (const std::string& path : filePaths) {
        const auto fileStart = path.find_last_of(pathSeparator());
        unsigned long processId = 0;
        if (fileStart == std::string::npos || fileStart == 0 ||
            !fs::isTemporaryName(path.substr(fileStart + 1), processId))
            continue;
        const auto folderStart = path.find_last_of(pathSeparator(), fileStart - 1);
        const auto nameStart = folderStart == std::string::npos ? 0 : folderStart + 1;
        m_upperNames.insert(asciiUpper(path.substr(nameStart, fileStart - nameStart)));
    }
}

bool LeftoverFolders::holds(const std::string& folderName) const {
    return m_upperNames.count(asciiUpper(folderName)) > 0;
}

TExpandedFolder::TExpandedFolder(std::function<void()> processMessages)
    : m_processMessages(std::move(processMessages)) {}

TExpandedFolder::~TExpandedFolder() = default;

void TExpandedFolder::SetFolder(const std::string& path) {
    std::string spelled = trimmed(path);
    if (spelled.empty())
        return;
    std::string upper = asciiUpper(spelled);
    if (upper == m_rootFolder)
        return;
    m_rootFolder = std::move(upper);
    m_ioFolder = std::move(spelled);
    Walk();
}

void TExpandedFolder::SetMaxDepth(std::uint8_t value) {
    if (value == m_maxDepth)
        return;
    m_maxDepth = value < 128 ? UnlimitedDepth : value;
    if (!m_rootFolder.empty())
        Walk();
}

void TExpandedFolder::SetEnterSubfolders(bool enter) {
    if (enter == m_enterSubfolders)
        return;
    m_enterSubfolders = enter;
    if (!m_rootFolder.empty())
        Walk();
}

const std::vector<std::string>& TExpandedFolder::GetFolderNames() {
    sortWithoutCase(m_folderNames);
    return m_folderNames;
}

const std::vector<std::string>& TExpandedFolder::GetFilePaths() {
    sortWithoutCase(m_filePaths);
    return m_filePaths;
}

bool TExpandedFolder::IsFolderEntry(std::uint32_t attributeWord) {
    return attributeWord == 16 || attributeWord == 17 || attributeWord == 20;
}

void TExpandedFolder::Walk() {
    m_folderNames.clear();
    m_filePaths.clear();

    std::string searchFolder = m_ioFolder;
    if (!searchFolder.empty() && isPathSeparator(searchFolder.back()))
        searchFolder.pop_back();

    for (const DirectoryEntry& entry : searchDirectory(searchFolder)) {
        if (m_processMessages)
            m_processMessages();
        // Also skips "." and "..", which would otherwise lead back up or into the same folder forever.
        if (entry.name.empty() || entry.name.back() == '.')
            continue;

        const std::string ioPath = joined(m_ioFolder, entry.name);
        // A regular file is never a folder entry, whatever its other attributes: no need to read them.
        if (!entry.plainFolder && (entry.plainFile || !IsFolderEntry(attributeWord(ioPath)))) {
            m_filePaths.push_back(joined(m_rootFolder, entry.name));
            continue;
        }

        m_folderNames.push_back(entry.name);
        if (m_enterSubfolders && (m_maxDepth == UnlimitedDepth || static_cast<std::int8_t>(m_maxDepth) < m_level)) {
            if (m_processMessages)
                m_processMessages();
            TExpandedFolder child(m_processMessages);
            child.m_level = static_cast<std::int8_t>(m_level + 1);
            child.SetMaxDepth(m_maxDepth);
            // Set directly rather than through SetFolder: its trimming would turn a POSIX folder
            // named "x " into its sibling "x".
            child.m_rootFolder = asciiUpper(ioPath);
            child.m_ioFolder = ioPath;
            child.Walk();
            child.GetFolderNames();
            child.GetFilePaths();
            appendMoved(m_folderNames, child.m_folderNames);
            appendMoved(m_filePaths, child.m_filePaths);
        }
    }
}

} // namespace quorvane
