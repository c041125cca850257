#pragma once
// The give-back journal's records in a file of fixed slots mapped into the program's memory, one
// slot an address. A record stored here is in the kernel's page cache the moment it is stored: a
// program killed right after it leaves it in the file whatever its disk does, and storing it waits
// for no disk and no other thread, so that an alarm stores each loudspeaker's record before its
// first command. Only a power cut before the kernel or a flush (sync) has written the page loses it.
//
// Each slot holds two copies with the number of the change that stored them and a checksum, and a
// store writes the older copy: a program killed in the middle of one leaves the copy before it. An
// address given back keeps its slot, marked erased, until a new address needs it: the oldest erased
// one is taken then. The file's size is fixed; a file of another kind or size is kept aside and
// told, never written over.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "audio/GiveBackRecord.h"

namespace frm {

class GiveBackSlots {
public:
    // Four times the loudspeakers of a large site.
    static constexpr std::size_t kSlots = 4096;

    // An address's newest state in the file: its record, or that it has none (`erased`), and the
    // number of the change that stored it.
    struct Stored {
        GiveBackRecord record;
        bool erased = false;
        std::uint64_t change = 0;
    };

    // Opens the file, made when it is missing; an empty path keeps nothing.
    explicit GiveBackSlots(const std::wstring& path);
    ~GiveBackSlots();
    GiveBackSlots(const GiveBackSlots&) = delete;
    GiveBackSlots& operator=(const GiveBackSlots&) = delete;

    // Whether records are kept in the file.
    bool open() const { return base_ != nullptr; }
    // What the file held when it was opened: each address's newest state.
    const std::vector<Stored>& found() const { return found_; }
    // Stores the record in place of what its address had; false when every slot holds a record.
    // The caller keeps stores and erasures apart (its own lock).
    bool put(const GiveBackRecord& record, std::uint64_t change);
    // Stores that the address has no record any more.
    void erase(const net::HardwareAddress& address, std::uint64_t change);
    // Writes the file's changed pages to the disk; true when nothing is kept.
    bool sync();

private:
    using Key = std::pair<std::uint32_t, std::uint32_t>;
    bool map(int fd);
    void index();
    // A slot for a new address: one never used, else the one erased longest ago.
    bool take(std::size_t& slot);
    void store(std::size_t slot, const GiveBackRecord& record, bool erased, std::uint64_t change);

    const std::wstring path_;
    unsigned char* base_ = nullptr;
    std::vector<Stored> found_;
    std::map<Key, std::size_t> slotOf_;
    // Of each slot: the address it was last given, and whether it holds its record.
    std::vector<Key> owner_;
    std::vector<bool> holds_;
    std::vector<std::size_t> neverUsed_;
    std::deque<std::size_t> erased_;
};

}  // namespace frm
