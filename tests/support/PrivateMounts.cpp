#include "support/PrivateMounts.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

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

TmpfsMount::TmpfsMount(const std::string& folder, const std::string& size) : folder_(folder) {
    if (!available) return;
    std::error_code ignored;
    std::filesystem::create_directories(folder_, ignored);
    mounted_ = ::mount("melvox-test", folder_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

TmpfsMount::~TmpfsMount() {
    unmount();
}

bool TmpfsMount::unmount() {
    if (!mounted_) return false;
    mounted_ = ::umount2(folder_.c_str(), MNT_DETACH) != 0;
    return !mounted_;
}

ReadOnlyMount::ReadOnlyMount(const std::string& folder) : folder_(folder) {
    struct statvfs status {};
    if (!available || ::statvfs(folder_.c_str(), &status) != 0) return;
    if (::mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) != 0) return;
    mounted_ = true;
    // A remount must keep the flags that the mount it was taken from has (locked in a user namespace).
    unsigned long flags = MS_REMOUNT | MS_BIND | MS_RDONLY;
    for (const auto& [has, flag] : {std::pair{ST_NOSUID, MS_NOSUID},
                                    {ST_NODEV, MS_NODEV},
                                    {ST_NOEXEC, MS_NOEXEC},
                                    {ST_NOATIME, MS_NOATIME},
                                    {ST_NODIRATIME, MS_NODIRATIME},
                                    {ST_RELATIME, MS_RELATIME}}) {
        if (status.f_flag & has) flags |= flag;
    }
    if (::mount(nullptr, folder_.c_str(), nullptr, flags, nullptr) != 0) {
        ::umount2(folder_.c_str(), MNT_DETACH);
        mounted_ = false;
    }
}

ReadOnlyMount::~ReadOnlyMount() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

}  // namespace test
