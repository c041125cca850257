#include "audio/GiveBackSlots.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "foundation/Crc32.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

constexpr char kMagic[8] = {'M', 'V', 'X', 'G', 'B', 'S', '0', '1'};

struct Header {
    char magic[8];
    std::uint32_t slots;
    std::uint32_t copySize;
    unsigned char unused[48];
};
static_assert(sizeof(Header) == 64, "the header takes one slot's room");

// One state of an address; a slot holds two, of which a store writes the older one.
struct Copy {
    // 0: never written.
    std::uint64_t change;
    std::uint32_t high;
    std::uint32_t low;
    std::uint8_t flags;
    std::uint8_t channels[2];
    std::uint8_t unused;
    std::int32_t decibels;
    std::int32_t percent;
    // Of the bytes before it: a store that a kill cut short does not read.
    std::uint32_t crc;
};
static_assert(sizeof(Copy) == 32, "two copies in a slot of 64 bytes, none across a page");

enum Flag : std::uint8_t { holds = 1, switched = 2, level = 4, perChannel = 8, told = 16 };

constexpr std::size_t kCopiesOffset = sizeof(Header);
constexpr std::size_t kFileSize = kCopiesOffset + GiveBackSlots::kSlots * 2 * sizeof(Copy);

std::uint32_t checksum(const Copy& copy) {
    return base::crc32(&copy, offsetof(Copy, crc));
}

bool readable(const Copy& copy) {
    return copy.change != 0 && checksum(copy) == copy.crc;
}

// The state a copy tells; a level that does not read is left out, as the journal's own file leaves
// it out.
GiveBackSlots::Stored storedOf(const Copy& copy) {
    GiveBackSlots::Stored stored;
    stored.change = copy.change;
    stored.erased = !(copy.flags & holds);
    stored.record.address = net::HardwareAddress(copy.high, copy.low);
    stored.record.switched = copy.flags & switched;
    stored.record.told = copy.flags & told;
    if (copy.flags & level) {
        device::VokarInfo::Level written;
        written.perChannel = copy.flags & perChannel;
        written.decibels = copy.decibels;
        written.channels = {copy.channels[0], copy.channels[1]};
        stored.record.level =
            device::VokarInfo::Level::fromText(written.perChannel, written.text(), copy.percent);
    }
    return stored;
}

std::wstring systemError(int error) {
    return base::fromUtf8(std::strerror(error));
}

// A new file in place, whole or not at all, its pages on the disk: made at the start, so that no
// store of an alarm has to find room for them.
bool make(const std::string& path, int& error) {
    std::string bytes(kFileSize, '\0');
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.slots = GiveBackSlots::kSlots;
    header.copySize = sizeof(Copy);
    std::memcpy(bytes.data(), &header, sizeof header);
    const base::AtomicWriteResult written = base::writeFileAtomically(base::fromUtf8(path), bytes);
    error = written.systemError;
    return written.ok();
}

// What is wrong with the open file; empty when it is one of these files.
std::wstring damage(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return L"это не обычный файл";
    Header header{};
    if (static_cast<std::size_t>(status.st_size) != kFileSize ||
        ::pread(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
        std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.slots != GiveBackSlots::kSlots ||
        header.copySize != sizeof(Copy)) {
        return L"это не список громкоговорителей, которым не возвращены канал и громкость после "
               L"оповещения";
    }
    return std::wstring();
}

}  // namespace

GiveBackSlots::GiveBackSlots(const std::wstring& path) : path_(path) {
    if (path_.empty()) return;
    const auto unkept = [this](const wchar_t* step, int error) {
        debug::Place("frm::GiveBackSlots::GiveBackSlots")
            .important(
                L"'%1%' cannot be %2% (%3%): the loudspeakers to give back after an alarm are kept "
                L"in the journal alone, which a program killed at an alarm's start may not have "
                L"written yet",
                path_, step, systemError(error));
    };
    const std::string name = base::toUtf8(path_);
    int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        const std::wstring why = damage(fd);
        if (!why.empty()) {
            ::close(fd);
            fd = -1;
            error = ENOENT;
            // Told there; one that cannot be renamed is never written over.
            if (storage::keepAsideDamaged(path_, why) != storage::StateFileRead::keptAside) return;
        }
    }
    if (fd < 0 && error != ENOENT) {
        unkept(L"opened", error);
        return;
    }
    if (fd < 0 && (!make(name, error) || (fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC)) < 0)) {
        unkept(L"made", error != 0 ? error : errno);
        return;
    }
    const bool mapped = map(fd);
    error = errno;
    ::close(fd);
    if (mapped) {
        index();
    } else {
        unkept(L"mapped", error);
    }
}

GiveBackSlots::~GiveBackSlots() {
    if (base_ != nullptr) ::munmap(base_, kFileSize);
}

bool GiveBackSlots::map(int fd) {
    void* base = ::mmap(nullptr, kFileSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (base == MAP_FAILED) return false;
    base_ = static_cast<unsigned char*>(base);
    // Kept in memory where the system allows it, so that no store waits for a page read back.
    ::mlock(base_, kFileSize);
    // Each page written once now, so that a store finds it writable.
    const long page = ::sysconf(_SC_PAGESIZE);
    for (std::size_t at = 0; at < kFileSize; at += static_cast<std::size_t>(page > 0 ? page : 4096)) {
        volatile unsigned char* byte = base_ + at;
        *byte = *byte;
    }
    return true;
}

void GiveBackSlots::index() {
    owner_.assign(kSlots, Key{0, 0});
    holds_.assign(kSlots, false);
    // Of each address, its states and their slots, the newest last.
    std::map<Key, std::vector<std::pair<Stored, std::size_t>>> states;
    std::size_t unread = 0;
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        Copy copies[2];
        std::memcpy(copies, base_ + kCopiesOffset + slot * sizeof copies, sizeof copies);
        const bool first = readable(copies[0]);
        const bool second = readable(copies[1]);
        if (!first && !second) {
            if (copies[0].change != 0 || copies[1].change != 0) ++unread;
            neverUsed_.push_back(slot);
            continue;
        }
        const Copy& newest =
            !second || (first && copies[0].change > copies[1].change) ? copies[0] : copies[1];
        owner_[slot] = Key{newest.high, newest.low};
        states[owner_[slot]].emplace_back(storedOf(newest), slot);
    }
    std::vector<std::pair<std::uint64_t, std::size_t>> erased;
    for (auto& [key, each] : states) {
        std::sort(each.begin(), each.end(),
                  [](const auto& a, const auto& b) { return a.first.change < b.first.change; });
        const auto& [newest, slot] = each.back();
        found_.push_back(newest);
        slotOf_[key] = slot;
        holds_[slot] = !newest.erased;
        if (newest.erased) erased.emplace_back(newest.change, slot);
        // A second slot of one address (a damaged file's) is emptied, so that it never outlives the
        // newest.
        for (std::size_t n = 0; n + 1 < each.size(); ++n) {
            std::memset(base_ + kCopiesOffset + each[n].second * 2 * sizeof(Copy), 0, 2 * sizeof(Copy));
            owner_[each[n].second] = Key{0, 0};
            neverUsed_.push_back(each[n].second);
        }
    }
    std::sort(erased.begin(), erased.end());
    for (const auto& entry : erased) erased_.push_back(entry.second);
    // Taken from the back: the first slots first.
    std::sort(neverUsed_.rbegin(), neverUsed_.rend());
    if (unread > 0) {
        debug::Place("frm::GiveBackSlots::index")
            .info(L"%1% slots of '%2%' do not read and are taken as unused", unread, path_);
    }
}

bool GiveBackSlots::take(std::size_t& slot) {
    if (!neverUsed_.empty()) {
        slot = neverUsed_.back();
        neverUsed_.pop_back();
        return true;
    }
    while (!erased_.empty()) {
        slot = erased_.front();
        erased_.pop_front();
        if (holds_[slot]) continue;
        const auto previous = slotOf_.find(owner_[slot]);
        if (previous != slotOf_.end() && previous->second == slot) slotOf_.erase(previous);
        return true;
    }
    return false;
}

bool GiveBackSlots::put(const GiveBackRecord& record, std::uint64_t change) {
    if (base_ == nullptr) return false;
    const Key key{record.address.getHigh(), record.address.getLow()};
    std::size_t slot = 0;
    const auto own = slotOf_.find(key);
    if (own != slotOf_.end()) {
        slot = own->second;
    } else {
        if (!take(slot)) return false;
        slotOf_[key] = slot;
        owner_[slot] = key;
    }
    holds_[slot] = true;
    store(slot, record, false, change);
    return true;
}

void GiveBackSlots::erase(const net::HardwareAddress& address, std::uint64_t change) {
    const auto own = slotOf_.find({address.getHigh(), address.getLow()});
    if (base_ == nullptr || own == slotOf_.end() || !holds_[own->second]) return;
    holds_[own->second] = false;
    GiveBackRecord record;
    record.address = address;
    store(own->second, record, true, change);
    erased_.push_back(own->second);
}

void GiveBackSlots::store(std::size_t slot, const GiveBackRecord& record, bool erased, std::uint64_t change) {
    unsigned char* at = base_ + kCopiesOffset + slot * 2 * sizeof(Copy);
    Copy copies[2];
    std::memcpy(copies, at, sizeof copies);
    // The older copy, or one that does not read, gives way; the other stays as it was.
    const std::size_t older = !readable(copies[0])   ? 0
                              : !readable(copies[1]) ? 1
                                                     : (copies[0].change < copies[1].change ? 0 : 1);
    Copy copy{};
    copy.change = change;
    copy.high = record.address.getHigh();
    copy.low = record.address.getLow();
    copy.flags = static_cast<std::uint8_t>((erased ? 0 : holds) | (record.switched ? switched : 0) |
                                           (record.told ? told : 0));
    if (record.level) {
        copy.flags |= level | (record.level->perChannel ? perChannel : 0);
        copy.decibels = record.level->decibels;
        copy.channels[0] = record.level->channels[0];
        copy.channels[1] = record.level->channels[1];
        copy.percent = record.level->percent;
    }
    copy.crc = checksum(copy);
    // The checksum last: a store cut short leaves a copy that does not read.
    std::memcpy(at + older * sizeof(Copy), &copy, offsetof(Copy, crc));
    std::atomic_signal_fence(std::memory_order_release);
    std::memcpy(at + older * sizeof(Copy) + offsetof(Copy, crc), &copy.crc, sizeof copy.crc);
}

bool GiveBackSlots::sync() {
    return base_ == nullptr || ::msync(base_, kFileSize, MS_SYNC) == 0;
}

}  // namespace frm
