#pragma once
// A temporary folder for one test, removed with everything in it when the test ends.

#include <string>
#include <vector>

namespace test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::wstring widePath() const;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readWholeFile(const std::string& path);
// The names of the folder's entries, hidden ones too, in name order.
std::vector<std::string> entryNames(const std::string& folder);

}  // namespace test
