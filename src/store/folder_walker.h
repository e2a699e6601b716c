// TExpandedFolder: every folder name and every other entry's full path beneath a folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace quorvane {

// Which walked folders hold a temporary file left by an interrupted save, told from a walk's file paths.
class LeftoverFolders {
public:
    explicit LeftoverFolders(const std::vector<std::string>& filePaths);
    // A folder directly below the walked root, by name in any ASCII case (as the walker spells it).
    bool holds(const std::string& folderName) const;

private:
    std::unordered_set<std::string> m_upperNames;
};

// Walks a whole tree when given a folder, unless told not to enter sub-folders. Missing or unreadable
// folders give empty lists; nothing here reports an error. Symbolic links and hidden (".name") folders
// are listed as files, never entered.
class TExpandedFolder {
public:
    static constexpr std::uint8_t UnlimitedDepth = 255;

    // processMessages is called before each entry and before each descent, so a user interface
    // stays alive during a long walk; may be empty. Child walkers share it.
    explicit TExpandedFolder(std::function<void()> processMessages = {});
    virtual ~TExpandedFolder();

    TExpandedFolder(const TExpandedFolder&) = delete;
    TExpandedFolder& operator=(const TExpandedFolder&) = delete;

    // Trims blanks and control characters; a blank path changes nothing. Walks unless the path,
    // ASCII-upper-cased, equals RootFolder already. The file system is read with the given spelling.
    void SetFolder(const std::string& path);
    // 0..127 mean unlimited (255); 128..255 are kept. Walks again when the value differs and a folder is set.
    void SetMaxDepth(std::uint8_t value);
    // Off: the folder's own sub-folders are named but not walked, whatever the depth limit says (that limit
    // never stops a walk). Walks again when the value differs and a folder is set.
    void SetEnterSubfolders(bool enter);

    // Sort in place (case-insensitive, locale collation) and return the walker's own lists, valid
    // until the next walk or the walker's destruction.
    const std::vector<std::string>& GetFolderNames();
    const std::vector<std::string>& GetFilePaths();

    // Trimmed and ASCII-upper-cased; the folder part of every entry of FilePaths.
    const std::string& RootFolder() const { return m_rootFolder; }
    std::int8_t Level() const { return m_level; }
    std::uint8_t MaxDepth() const { return m_maxDepth; }
    bool EntersSubfolders() const { return m_enterSubfolders; }

    // True when the attribute word counts as a folder: 16, 17 or 20 exactly.
    static bool IsFolderEntry(std::uint32_t attributeWord);

private:
    void Walk();

    std::vector<std::string> m_folderNames;
    std::vector<std::string> m_filePaths;
    std::string m_rootFolder;
    std::int8_t m_level = 0;
    std::uint8_t m_maxDepth = UnlimitedDepth;
    bool m_enterSubfolders = true;
    std::function<void()> m_processMessages;
    // RootFolder as the caller spelled it: case-sensitive file systems must be read with this.
    std::string m_ioFolder;
};

} // namespace quorvane
