#pragma once
// A medium whose walk does not end: a file system that the test serves itself (through the
// kernel's user-space file system device, in the test's own mount namespace), holding
// "album/one.mp3" and the folder "deep", every folder of which holds eight more. A walk that is
// not stopped goes on until the medium's deadline, after which every folder it opens is empty.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

namespace test {

class EndlessMedium {
public:
    // Mounts it on the folder, which must exist, for the life of the object.
    EndlessMedium(const std::string& folder, std::chrono::seconds deadline);
    ~EndlessMedium();
    EndlessMedium(const EndlessMedium&) = delete;
    EndlessMedium& operator=(const EndlessMedium&) = delete;

    // False where the system lets the test serve no file system (no private mount namespace, or
    // no access to the device).
    bool mounted() const { return mounted_; }
    // The folders below "deep" that a walk opened so far.
    std::size_t foldersOpened() const { return opened_.load(); }
    // Whether a walk went on until the deadline and met the end.
    bool endReached() const { return endReached_.load(); }

private:
    void serve();
    // Answers one request; false when the file system is gone.
    bool answer(const char* request, std::size_t length);
    void reply(std::uint64_t unique, int error, const void* payload = nullptr, std::size_t size = 0);

    std::string folder_;
    std::chrono::steady_clock::time_point end_;
    int device_ = -1;
    int wake_[2] = {-1, -1};
    bool mounted_ = false;
    std::uint64_t nextNode_;
    std::atomic<std::size_t> opened_{0};
    std::atomic<bool> endReached_{false};
    std::thread server_;
};

}  // namespace test
