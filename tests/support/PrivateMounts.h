#pragma once
// File systems that only the test process sees: the process enters a mount namespace of its own
// at the start of main, and a test mounts a tmpfs where it needs another file system or a medium
// that comes and goes.

#include <string>

namespace test {

// Called once at the start of main, before any thread: a thread that enters a namespace takes
// only itself there. False (and private mounts unavailable) where the system does not allow it.
bool enterPrivateMountNamespace();
bool privateMountsAvailable();

// A tmpfs of `size` (as mount takes it: "64m") mounted on the folder (created when missing) for
// the life of the object.
class TmpfsMount {
public:
    explicit TmpfsMount(const std::string& folder, const std::string& size = "64m");
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return mounted_; }
    // Unmounts it now, as when a medium is taken out; false when that failed.
    bool unmount();

private:
    std::string folder_;
    bool mounted_ = false;
};

// The folder, as it is, made read-only for the life of the object (a bind mount over itself), as a
// failing disk that the system remounted read-only.
class ReadOnlyMount {
public:
    explicit ReadOnlyMount(const std::string& folder);
    ~ReadOnlyMount();
    ReadOnlyMount(const ReadOnlyMount&) = delete;
    ReadOnlyMount& operator=(const ReadOnlyMount&) = delete;

    bool mounted() const { return mounted_; }

private:
    std::string folder_;
    bool mounted_ = false;
};

}  // namespace test

// Skips the test where the process could not enter a mount namespace of its own.
#define MELVOX_REQUIRE_PRIVATE_MOUNTS() \
    if (!test::privateMountsAvailable()) GTEST_SKIP() << "no mount namespace of the test's own";
