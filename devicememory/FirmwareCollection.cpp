#include "devicememory/FirmwareCollection.h"

#include "devicememory/Crc32Mpeg2.h"
#include "devicememory/FirmwareDetection.h"
#include "devicememory/FirmwareUnify.h"
#include "devicememory/LittleEndian.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace device {
namespace {

constexpr std::size_t kSmallestFile = 0x8000;
constexpr std::size_t kHeaderSize = 20;
constexpr std::size_t kCheckedHeader = 16;

[[noreturn]] void refuse(const wchar_t* text) {
    throw exception::UserResponse(L"incorrectFirmware", text);
}

}  // namespace

std::shared_ptr<FirmwareCollection> FirmwareCollection::fromFile(const std::string& bytes, bool force) {
    auto collection = std::make_shared<FirmwareCollection>();
    if (force) {
        debug::Place("device::DeviceBase::upgradeFirmware")
            .mark(L"Started upgrading a firmware with the force option");
        collection->push(std::make_shared<FirmwareUnify>(bytes, true, FirmwareUnify::noModel));
    } else {
        collection->open(bytes);
    }
    return collection;
}

void FirmwareCollection::open(const std::string& data) {
    const debug::Place place("device::FirmwareCollection::open");
    place.trace(L"");
    if (data.size() < kSmallestFile) {
        place.debug(L"The firmware collection has small size, %1% bytes", data.size());
        refuse(L"Firmware is very small!");
    }
    if (const std::shared_ptr<IFirmware> image = detectFirmware(data)) {
        push(image);
        count_ = 1;
        return;
    }
    const std::uint16_t entries = readLittleEndian<std::uint16_t>(data, 10);
    if (data.compare(0, 8, "KORVA_FC") != 0 || readLittleEndian<std::uint16_t>(data, 8) != 2 ||
        entries == 0) {
        place.debug(L"The firmware collection has unknown format of data or corrupted");
        refuse(L"The firmware collection has unknown format of data or corrupted");
    }
    // The size table and every entry must lie inside the file before any of it is read.
    const std::uint64_t tableEnd = kHeaderSize + 4ull * entries;
    std::uint64_t end = tableEnd;
    if (tableEnd <= data.size()) {
        for (std::size_t i = 0; i < entries; ++i)
            end += readLittleEndian<std::uint32_t>(data, kHeaderSize + 4 * i);
    }
    if (tableEnd > data.size() || end > data.size()) {
        place.warn(L"Коллекция прошивок повреждена!");
        refuse(L"Коллекция повреждена!");
    }

    std::uint32_t crc = kCrc32Mpeg2Start;
    std::size_t at = tableEnd;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint32_t size = readLittleEndian<std::uint32_t>(data, kHeaderSize + 4 * i);
        if (size == 0) {
            place.debug(L"Skip item in firmware collection.");
            continue;
        }
        push(detectFirmware(data.substr(at, size)));
        crc = crc32Mpeg2(data.data() + at, size, crc);
        at += size;
    }
    crc = crc32Mpeg2(data.data(), kCheckedHeader, crc);
    if (crc != readLittleEndian<std::uint32_t>(data, kCheckedHeader)) refuse(L"Wrong CRC32");
    count_ = static_cast<std::uint32_t>(images_.size());
    place.trace(L"Collection is opened, size is %1%", count_);
}

void FirmwareCollection::push(const std::shared_ptr<IFirmware>& image) {
    if (!image || !image->isValid()) {
        debug::Place("device::FirmwareCollection::push").warn(L"Прошивка пропущена");
        return;
    }
    images_.push_back(image);
    ++count_;
}

std::shared_ptr<IFirmware> FirmwareCollection::front() {
    if (images_.empty()) {
        debug::Place("device::FirmwareCollection::front").error(L"Коллекция прошивок пуста!");
        throw exception::ServerError();
    }
    return images_.front();
}

void FirmwareCollection::popFront() {
    if (!images_.empty()) images_.erase(images_.begin());
}

std::vector<std::shared_ptr<IFirmware>> FirmwareCollection::images() const {
    return images_;
}

bool FirmwareCollection::empty() const {
    return images_.empty();
}

std::size_t FirmwareCollection::size() const {
    return images_.size();
}

std::uint32_t FirmwareCollection::count() const {
    return count_;
}

void FirmwareCollection::clear() {
    images_.clear();
}

}  // namespace device
