#pragma once
// A temporary folder for one test, removed with everything in it when the test ends.

#include <string>

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

}  // namespace test
