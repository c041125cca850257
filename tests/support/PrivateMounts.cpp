#include "support/PrivateMounts.h"

#include <sched.h>
#include <sys/mount.h>

#include <filesystem>

namespace test {
namespace {
bool available = false;
}  // namespace

bool enterPrivateMountNamespace() {
    // Mounts made here must not reach the namespace the tests were started in.
    available =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return available;
}

bool privateMountsAvailable() {
    return available;
}

TmpfsMount::TmpfsMount(const std::string& folder) : folder_(folder) {
    if (!available) return;
    std::error_code ignored;
    std::filesystem::create_directories(folder_, ignored);
    mounted_ = ::mount("melvox-test", folder_.c_str(), "tmpfs", 0, "size=64m") == 0;
}

TmpfsMount::~TmpfsMount() {
    unmount();
}

bool TmpfsMount::unmount() {
    if (!mounted_) return false;
    mounted_ = ::umount2(folder_.c_str(), MNT_DETACH) != 0;
    return !mounted_;
}

}  // namespace test
