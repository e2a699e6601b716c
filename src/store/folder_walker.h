// TExpandedFolder: every folder name and every other entry's full path beneath a folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvane {

class TExpandedFolder {
public:
    static constexpr std::uint8_t UnlimitedDepth = 255;

    // processMessages is called between entries so a user interface stays alive; may be empty.
    explicit TExpandedFolder(std::function<void()> processMessages = {});
    virtual ~TExpandedFolder();

    TExpandedFolder(const TExpandedFolder&) = delete;
    TExpandedFolder& operator=(const TExpandedFolder&) = delete;

    void SetFolder(const std::string& path);
    void SetMaxDepth(std::uint8_t value);

    // Sort in place (case-insensitive, locale collation) and return the walker's own lists.
    const std::vector<std::string>& GetFolderNames();
    const std::vector<std::string>& GetFilePaths();

    const std::string& RootFolder() const { return m_rootFolder; }
    std::int8_t Level() const { return m_level; }
    std::uint8_t MaxDepth() const { return m_maxDepth; }

    // True when the attribute word counts as a folder: 16, 17 or 20 exactly.
    static bool IsFolderEntry(std::uint32_t attributeWord);

private:
    void Walk();

    std::vector<std::string> m_folderNames;
    std::vector<std::string> m_filePaths;
    std::string m_rootFolder;
    std::int8_t m_level = 0;
    std::uint8_t m_maxDepth = UnlimitedDepth;
    std::function<void()> m_processMessages;
};

} // namespace quorvane
