#include "support/EmulatedFlash.h"

#include <charconv>
#include <stdexcept>

#include "foundation/HexText.h"

namespace test {

bool readArgument(std::string_view& arguments, std::uint64_t& value, int base) {
    while (!arguments.empty() && arguments.front() == ' ') arguments.remove_prefix(1);
    const auto [end, error] =
        std::from_chars(arguments.data(), arguments.data() + arguments.size(), value, base);
    if (error != std::errc() || end == arguments.data()) return false;
    arguments.remove_prefix(static_cast<std::size_t>(end - arguments.data()));
    return true;
}

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

std::string EmulatedFlash::program(const std::string& word, std::string_view arguments) {
    std::uint64_t address = 0;
    std::uint64_t count = 0;
    std::string bytes;
    if (!readArgument(arguments, address, 16) || !readArgument(arguments, count, 10) ||
        arguments.size() != 2 * count + 1 ||
        base::fromHex(std::string(arguments.substr(1)), bytes) != count) {
        return "ERR[" + word + "]: bad arguments";
    }
    if (!program(address, bytes)) return "ERR[" + word + "]: write failed";
    return "SUCCESS";
}

}  // namespace test
