// A new temporary directory for a test's files, removed with everything in it when destroyed.
#pragma once

#include <string>

namespace korvel::test
{

class TempDir
{
public:
    explicit TempDir(const std::string& prefix = "korvel-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // The path of `name` in the directory.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Writes `text` to a file of the directory with the given permission bits; returns its path.
    std::string WriteFile(const std::string& name, const std::string& text, unsigned mode = 0600) const;

private:
    std::string path_;
};

} // namespace korvel::test
