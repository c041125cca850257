#include "support/DataRoot.h"

#include <cstdlib>

#include "foundation/DataFolders.h"

namespace test {

DataRoot::DataRoot() {
    if (const char* old = std::getenv("LOCALAPPDATA")) {
        hadOldRoot_ = true;
        oldRoot_ = old;
    }
    setenv("LOCALAPPDATA", folder_.path().c_str(), 1);
    os::resetApplicationDataDirectory();
}

DataRoot::~DataRoot() {
    if (hadOldRoot_) {
        setenv("LOCALAPPDATA", oldRoot_.c_str(), 1);
    } else {
        unsetenv("LOCALAPPDATA");
    }
    os::resetApplicationDataDirectory();
}

}  // namespace test
