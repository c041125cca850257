#pragma once
// Owns one socket descriptor and closes it when it goes, so that no early return leaks it.

#include <unistd.h>

#include <utility>

namespace os {

class SocketHandle {
public:
    SocketHandle() = default;
    explicit SocketHandle(int descriptor) : descriptor_(descriptor) {}
    ~SocketHandle() { reset(); }

    SocketHandle(SocketHandle&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept {
        if (this != &other) {
            reset();
            descriptor_ = std::exchange(other.descriptor_, -1);
        }
        return *this;
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    int get() const { return descriptor_; }
    bool isOpen() const { return descriptor_ >= 0; }
    void reset() {
        if (descriptor_ >= 0) ::close(descriptor_);
        descriptor_ = -1;
    }

private:
    int descriptor_ = -1;
};

}  // namespace os
