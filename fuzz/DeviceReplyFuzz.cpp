// A device's reply to a request: its frame, its echo of the command, its lines, its on/off words
// and whole-text numbers, the address tokens of settings replies, and the field readers under
// them, which never move past the text and leave the position alone when they refuse.

#include "FuzzSupport.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceReply.h"
#include "devices/ConfigExchange.h"
#include "foundation/ScanFields.h"

namespace {

template <class Reader>
void checkReader(const std::string& text, Reader read) {
    for (std::size_t start = 0; start <= text.size() && start < 4; ++start) {
        std::size_t at = start;
        const bool took = read(at);
        fuzz::require(took ? at > start && at <= text.size() : at == start,
                      "a field reader moves only over what it took");
    }
}

void checkFieldReaders(const std::string& text) {
    namespace scan = base::scan;
    std::uint32_t u32 = 0;
    std::int32_t i32 = 0;
    std::int64_t i64 = 0;
    std::uint64_t u64 = 0;
    std::string_view field;
    checkReader(text, [&](std::size_t& at) { return scan::readUnsigned(text, at, u32); });
    checkReader(text, [&](std::size_t& at) { return scan::readHex(text, at, u32); });
    checkReader(text, [&](std::size_t& at) { return scan::readInteger(text, at, i32); });
    checkReader(text, [&](std::size_t& at) { return scan::readDecimal(text, at, i64); });
    checkReader(text, [&](std::size_t& at) {
        const bool took = scan::readDigits(text, at, 16, 0xFFFF, u64, 5);
        fuzz::require(!took || u64 <= 0xFFFF, "digits saturate at their limit");
        return took;
    });
    checkReader(text, [&](std::size_t& at) {
        const bool took = scan::readUntil(text, at, ',', 17, field);
        fuzz::require(!took || (field.size() <= 17 && field.find(',') == std::string_view::npos),
                      "a field up to a stop is bounded and holds no stop");
        return took;
    });
    checkReader(text, [&](std::size_t& at) {
        const bool took = scan::readWord(text, at, 32, field);
        fuzz::require(!took || (!field.empty() && field.size() <= 32), "a word is bounded");
        return took;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> parts = fuzz::pieces(fuzz::text(data, size), '\x1F', 2);
    const std::string& reply = parts.front();
    const std::string request = parts.size() > 1 ? parts[1] : "get vol";

    device::DeviceReply::echoes(reply, request);
    device::DeviceReply::isBusy(reply);
    device::DeviceReply::inAnswerWords(reply);
    const std::string_view named = device::DeviceReply::namedCommand(reply);
    fuzz::require(named.empty() || named.size() + 4 <= reply.size(),
                  "the command a frame names lies within it");
    device::DeviceReply::naming(named, request);
    std::string stripped = reply;
    bool error = false;
    const bool ok = device::DeviceReply::strip(stripped, &error);
    fuzz::require(!(ok && error), "a reply is not both done and refused");
    fuzz::require(stripped.size() <= reply.size(), "the frame is only taken away");

    for (const std::string& line : device::DeviceReply::splitResponse(stripped)) {
        bool on = false;
        device::DeviceReply::parseBoolValue(line, on);
        std::int64_t number = 0;
        if (device::DeviceReply::parseIntValue(line, number, -100, 100))
            fuzz::require(number >= -100 && number <= 100, "a number read lies within its range");
        std::uint8_t small = 0;
        device::DeviceReply::parseIntValue(line, small, 0, 1000);
        std::string address;
        if (device::readAddressToken(line, address))
            fuzz::require(address.size() <= line.size(), "an address token is part of its line");
        device::isDottedAddress(line, false);
        device::namesDhcp(line);
    }
    checkFieldReaders(reply);
    return 0;
}
