#pragma once
// Points the per-user data folder at a temporary folder for the life of one test, and
// puts back the previous one afterwards.

#include <string>

#include "support/TempFolder.h"

namespace test {

class DataRoot {
public:
    DataRoot();
    ~DataRoot();
    DataRoot(const DataRoot&) = delete;
    DataRoot& operator=(const DataRoot&) = delete;

    // The folder that stands in for the user's local application-data folder.
    const std::string& path() const { return folder_.path(); }
    // The program's data folder below it and its log folder (as paths, not created here).
    std::string dataFolder() const { return folder_.path() + "/KORVA Security Systems/Melvox/1.2"; }
    std::string logFolder() const { return dataFolder() + "/log"; }

private:
    TempFolder folder_;
    bool hadOldRoot_ = false;
    std::string oldRoot_;
};

}  // namespace test
