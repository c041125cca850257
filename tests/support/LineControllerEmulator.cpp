#include "support/LineControllerEmulator.h"

#include "support/EmulatorText.h"

namespace test {

LineControllerEmulator::LineControllerEmulator(EmulatedDevice& loudspeaker) {
    loudspeaker.on("lsensor", [shared = shared_](const std::string& command) {
        return std::optional<std::string>(answer(*shared, command));
    });
}

std::string LineControllerEmulator::answer(Shared& s, const std::string& command) {
    std::lock_guard<std::mutex> guard(s.lock);
    if (command == "lsensor ver") return okReply(command, "1.02.3,hwaddr 02:7E:41:00:10:01");
    if (command == "lsensor dbg") return okReply(command, "Normal mode");
    if (command == "lsensor") {
        std::string items;
        for (const auto& [address, d] : s.devices) {
            items += (items.empty() ? "" : ";") + decimal(address) + ":" + hex(d.flags, 1) + ":" +
                     hex(d.firstValue, 1) + ":" + hex(d.secondValue, 1) + ":" + d.tag;
        }
        return okReply(command, "Active," + decimal(s.powerSave) + ",40: " + items);
    }
    const std::string power = "lsensor power ";
    if (command.compare(0, power.size(), power) == 0) {
        if (!setNumber(s.powerSave, command.substr(power.size()), 0, 1)) return "ERR[lsensor]: bad mode";
        return okReply(command, "power save " + decimal(s.powerSave));
    }
    for (const bool adding : {true, false}) {
        const std::string prefix = adding ? "lsensor add " : "lsensor del ";
        std::uint32_t address = 0;
        if (command.compare(0, prefix.size(), prefix) != 0) continue;
        if (!setNumber(address, command.substr(prefix.size()), 0, 127) || s.devices.count(address) == 0)
            return "ERR[lsensor]: no such device";
        std::uint32_t& flags = s.devices[address].flags;
        flags = adding ? flags | 1u : flags & ~1u;
        return okReply(command, adding ? "added" : "removed");
    }
    if (command == "lsensor addAll" || command == "lsensor prefReset") {
        const bool adding = command == "lsensor addAll";
        for (auto& [address, d] : s.devices) d.flags = adding ? d.flags | 1u : d.flags & ~1u;
        return okReply(command, adding ? "added" : "reset");
    }
    if (command == "lsensor reboot") return okReply(command, "reboot");
    return unknownCommand(command);
}

std::uint32_t LineControllerEmulator::powerSave() const {
    std::lock_guard<std::mutex> guard(shared_->lock);
    return shared_->powerSave;
}

void LineControllerEmulator::setEndDevice(std::uint32_t address, const EndDevice& device) {
    std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->devices[address] = device;
}

std::map<std::uint32_t, LineControllerEmulator::EndDevice> LineControllerEmulator::endDevices() const {
    std::lock_guard<std::mutex> guard(shared_->lock);
    return shared_->devices;
}

}  // namespace test
