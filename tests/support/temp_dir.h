// A fresh temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace quorvane::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, without a trailing separator.
    const std::string& path() const { return m_path; }
    // The folder with a trailing separator, as WorkingDir is.
    std::string withSeparator() const { return m_path + "/"; }

    std::string file(const std::string& relative) const { return m_path + "/" + relative; }
    void write(const std::string& relative, const std::string& bytes) const; // makes parent folders
    std::string read(const std::string& relative) const;                     // whole file, or ""
    void makeFolder(const std::string& relative) const;

private:
    std::string m_path;
};

} // namespace quorvane::test
