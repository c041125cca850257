#include "support/EmulatedFlash.h"

#include <stdexcept>

namespace test {

EmulatedFlash::EmulatedFlash(std::size_t size) : bytes_(size, '\xFF') {}

std::size_t EmulatedFlash::size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_.size();
}

void EmulatedFlash::setStrict(bool strict) {
    std::lock_guard<std::mutex> guard(lock_);
    strict_ = strict;
}

void EmulatedFlash::erase() {
    std::lock_guard<std::mutex> guard(lock_);
    bytes_.assign(bytes_.size(), '\xFF');
}

bool EmulatedFlash::program(std::uint64_t address, const std::string& bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    if (address > bytes_.size() || bytes.size() > bytes_.size() - address) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto old = static_cast<std::uint8_t>(bytes_[address + i]);
        const auto data = static_cast<std::uint8_t>(bytes[i]);
        if (strict_ && (old & data) != data) return false;
    }
    bytes_.replace(address, bytes.size(), bytes);
    return true;
}

std::optional<std::string> EmulatedFlash::read(std::uint64_t address, std::uint64_t count) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (address > bytes_.size() || count > bytes_.size() - address) return std::nullopt;
    return bytes_.substr(address, count);
}

std::string EmulatedFlash::contents() const {
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_;
}

void EmulatedFlash::load(std::uint64_t address, const std::string& bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    if (address > bytes_.size() || bytes.size() > bytes_.size() - address)
        throw std::out_of_range("flash load");
    bytes_.replace(address, bytes.size(), bytes);
}

}  // namespace test
