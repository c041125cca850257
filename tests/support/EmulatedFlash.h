#pragma once
// The byte array of an emulated device's flash. Erased bytes read 0xFF. In strict mode a
// program that would turn a 0 bit back into 1 fails, as it does on NOR flash, so a write that
// programs a byte twice or skips the erase shows.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace test {

// Reads a number of a command's arguments and moves past it; false when there is none.
bool readArgument(std::string_view& arguments, std::uint64_t& value, int base);

class EmulatedFlash {
public:
    explicit EmulatedFlash(std::size_t size);

    std::size_t size() const;
    void setStrict(bool strict);
    void erase();
    // False when the range is outside the flash or, in strict mode, a bit would go from 0 to 1.
    bool program(std::uint64_t address, const std::string& bytes);
    std::optional<std::string> read(std::uint64_t address, std::uint64_t count) const;
    std::string contents() const;
    // Puts bytes in place as they are, without the rules of programming.
    void load(std::uint64_t address, const std::string& bytes);
    // Carries out a program command's arguments, "<address in hex> <count> <hex bytes>":
    // "SUCCESS", or the device's error reply under `word`.
    std::string program(const std::string& word, std::string_view arguments);

private:
    mutable std::mutex lock_;
    std::string bytes_;
    bool strict_ = false;
};

}  // namespace test
