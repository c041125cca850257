// The loudspeaker's zone lists, cached on the device, and its line reference.

#include <cstdio>
#include <mutex>

#include "devicelink/DeviceReply.h"
#include "devices/ListReplies.h"
#include "devices/VokarInfo.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device {
namespace {

constexpr int setLineRepeats = 2;
constexpr unsigned setLineIntervalMs = 1400;

}  // namespace

bool VokarInfo::hasZoneLists() {
    return getVersionId() >= vokarV3_A110;
}

void VokarInfo::requireZoneLists() {
    requireMinimumVersion(vokarV3_A110);
}

void VokarInfo::invalidateZoneLists() {
    std::lock_guard<std::recursive_mutex> guard(mutex());
    announceZones_.valid = false;
    zoneAddresses_.valid = false;
    ++announceZones_.generation;
    ++zoneAddresses_.generation;
}

template <class Entry>
void VokarInfo::addToZoneList(ZoneList<Entry> VokarInfo::*list, Entry entry, const std::string& command) {
    requireZoneLists();
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        const ZoneList<Entry>& cached = this->*list;
        if (cached.valid && cached.entries.count(entry) != 0) return;
    }
    sendZoneListChange(list, command);
}

template <class Entry>
void VokarInfo::sendZoneListChange(ZoneList<Entry> VokarInfo::*list, const std::string& command) {
    requireZoneLists();
    transfer(command);
    std::lock_guard<std::recursive_mutex> guard(mutex());
    (this->*list).valid = false;
    ++(this->*list).generation;
}

template <class Entry>
std::set<Entry> VokarInfo::readZoneList(ZoneList<Entry> VokarInfo::*list, const char* request,
                                        std::set<Entry> (*reader)(const std::string&)) {
    std::lock_guard<std::mutex> reading(zoneReadLock_);
    std::uint64_t generation = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        const ZoneList<Entry>& cached = this->*list;
        if (cached.valid) return cached.entries;
        generation = cached.generation;
    }
    const std::set<Entry> entries = reader(transfer(request));
    std::lock_guard<std::recursive_mutex> guard(mutex());
    ZoneList<Entry>& cached = this->*list;
    // A change sent while the list was read may be missing from what it read.
    if (cached.generation == generation) {
        cached.entries = entries;
        cached.valid = true;
    }
    return entries;
}

void VokarInfo::addAnnounceZone(std::int32_t zone) {
    addToZoneList(&VokarInfo::announceZones_, zone, "zoneAnnAdd " + std::to_string(zone));
}

void VokarInfo::removeAnnounceZone(std::int32_t zone) {
    sendZoneListChange(&VokarInfo::announceZones_, "zoneAnnDel " + std::to_string(zone));
}

std::set<std::int32_t> VokarInfo::readAnnounceZones() {
    if (!hasZoneLists()) return {};
    return readZoneList(&VokarInfo::announceZones_, "zoneAnnRead", &readAnnounceZoneList);
}

namespace {

std::string hexText(std::uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

}  // namespace

void VokarInfo::addZoneAddress(std::uint32_t address) {
    addToZoneList(&VokarInfo::zoneAddresses_, address, "zoneAddrAdd " + hexText(address));
}

void VokarInfo::removeZoneAddress(std::uint32_t address) {
    sendZoneListChange(&VokarInfo::zoneAddresses_, "zoneAddrDel " + hexText(address));
}

std::set<std::uint32_t> VokarInfo::readZoneAddresses() {
    if (!hasZoneLists()) return {};
    return readZoneList(&VokarInfo::zoneAddresses_, "zoneAddrRead", &readZoneAddressList);
}

std::set<std::uint32_t> VokarInfo::readZoneAddressesOff() {
    if (getVersionId() < vokarV3_A131) return {};
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        if (state_.health.fireZoneBound) return {};
    }
    return readZoneAddressList(transfer("zoneAddrOffRead"));
}

std::pair<bool, bool> VokarInfo::setLine() {
    std::string reply;
    if (!protocol_->sync(getAddress(), "set line", reply, setLineRepeats, setLineIntervalMs))
        throw exception::Offline();
    const std::string raw = reply;
    const bool framed =
        raw.compare(0, 2, "OK") == 0 || raw.compare(0, 7, "SUCCESS") == 0 || raw.compare(0, 3, "ERR") == 0;
    bool refused = false;
    DeviceReply::strip(reply, &refused);
    // A busy device's reply, or one without a frame, tells nothing about the lines.
    if (!framed || DeviceReply::isBusy(raw)) throw exception::UnexpectedResponseOfDevice(raw);
    if (!refused) return {true, true};
    debug::Place("device::VokarInfo::setLine").debug(L"Setting the line reference failed: '%1%'", reply);
    return {reply.find('1') == std::string::npos, reply.find('2') == std::string::npos};
}

}  // namespace device
