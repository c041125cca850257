#include "support/EndlessMedium.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "support/PrivateMounts.h"

namespace test {
namespace {

constexpr std::uint64_t kRoot = FUSE_ROOT_ID;
constexpr std::uint64_t kAlbum = 2;
constexpr std::uint64_t kSong = 3;
constexpr std::uint64_t kDeep = 4;
constexpr std::uint64_t kFirstEndless = 5;
constexpr int kSubfolders = 8;
// Long names keep the walk shallow: the path reaches its limit some thirty folders down.
const std::string kSubfolderName(120, 'x');
// Names and attributes stay in the kernel's cache for the test's life.
constexpr std::uint64_t kCacheSeconds = 3600;

struct Entry {
    std::string name;
    std::uint64_t node;
    bool folder;
};

fuse_attr attributes(std::uint64_t node) {
    fuse_attr attr{};
    attr.ino = node;
    attr.mode = node == kSong ? (S_IFREG | 0644) : (S_IFDIR | 0755);
    attr.nlink = node == kSong ? 1 : 2;
    attr.size = node == kSong ? 1 : 0;
    attr.uid = ::getuid();
    attr.gid = ::getgid();
    attr.blksize = 4096;
    return attr;
}

}  // namespace

EndlessMedium::EndlessMedium(const std::string& folder, std::chrono::seconds deadline)
    : folder_(folder), end_(std::chrono::steady_clock::now() + deadline), nextNode_(kFirstEndless) {
    if (!privateMountsAvailable()) return;
    device_ = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (device_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0) return;
    const std::string options = "fd=" + std::to_string(device_) +
                                ",rootmode=40000,user_id=" + std::to_string(::getuid()) +
                                ",group_id=" + std::to_string(::getgid());
    mounted_ = ::mount("melvox-endless", folder_.c_str(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    if (mounted_) server_ = std::thread([this] { serve(); });
}

EndlessMedium::~EndlessMedium() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    if (server_.joinable()) {
        const char stop = 0;
        [[maybe_unused]] const ssize_t written = ::write(wake_[1], &stop, 1);
        server_.join();
    }
    for (const int fd : {device_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

void EndlessMedium::serve() {
    // The device takes a whole request at a time, into a buffer of at least a written page's size.
    std::vector<char> request(1 << 20);
    for (;;) {
        pollfd waits[] = {{device_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (waits[1].revents != 0) return;
        const ssize_t length = ::read(device_, request.data(), request.size());
        if (length < 0) {
            // A request taken back by its caller, or a read woken for nothing.
            if (errno == ENOENT || errno == EINTR || errno == EAGAIN) continue;
            return;
        }
        if (!answer(request.data(), static_cast<std::size_t>(length))) return;
    }
}

bool EndlessMedium::answer(const char* request, std::size_t length) {
    if (length < sizeof(fuse_in_header)) return false;
    fuse_in_header header;
    std::memcpy(&header, request, sizeof header);
    const char* body = request + sizeof header;
    const std::size_t bodyLength = length - sizeof header;
    const std::uint64_t node = header.nodeid;

    const auto entries = [&]() -> std::vector<Entry> {
        if (node == kRoot) return {{"album", kAlbum, true}, {"deep", kDeep, true}};
        if (node == kAlbum) return {{"one.mp3", kSong, false}};
        if (node == kSong) return {};
        if (std::chrono::steady_clock::now() >= end_) {
            endReached_ = true;
            return {};
        }
        std::vector<Entry> children;
        for (int index = 0; index < kSubfolders; ++index)
            children.push_back({kSubfolderName + std::to_string(index), 0, true});
        return children;
    };

    switch (header.opcode) {
        case FUSE_INIT: {
            fuse_init_in in{};
            std::memcpy(&in, body, std::min(bodyLength, sizeof in));
            fuse_init_out out{};
            out.major = FUSE_KERNEL_VERSION;
            out.minor = FUSE_KERNEL_MINOR_VERSION;
            out.max_readahead = in.max_readahead;
            out.max_background = 16;
            out.congestion_threshold = 12;
            out.max_write = 4096;
            out.time_gran = 1;
            reply(header.unique, 0, &out, sizeof out);
            return true;
        }
        case FUSE_LOOKUP: {
            const std::string_view name(body, strnlen(body, bodyLength));
            std::uint64_t found = 0;
            if (node == kRoot || node == kAlbum) {
                for (const Entry& entry : entries())
                    if (entry.name == name) found = entry.node;
            } else if (node >= kDeep && name.substr(0, kSubfolderName.size()) == kSubfolderName) {
                // Every folder down there is new to the kernel: no two paths share one.
                found = nextNode_++;
            }
            if (found == 0) {
                reply(header.unique, -ENOENT);
                return true;
            }
            fuse_entry_out out{};
            out.nodeid = found;
            out.entry_valid = kCacheSeconds;
            out.attr_valid = kCacheSeconds;
            out.attr = attributes(found);
            reply(header.unique, 0, &out, sizeof out);
            return true;
        }
        case FUSE_GETATTR: {
            fuse_attr_out out{};
            out.attr_valid = kCacheSeconds;
            out.attr = attributes(node);
            reply(header.unique, 0, &out, sizeof out);
            return true;
        }
        case FUSE_OPENDIR: {
            if (node >= kFirstEndless) ++opened_;
            fuse_open_out out{};
            reply(header.unique, 0, &out, sizeof out);
            return true;
        }
        case FUSE_READDIR: {
            fuse_read_in in{};
            std::memcpy(&in, body, std::min(bodyLength, sizeof in));
            // Each entry's offset is the index of the one after it, where the next read goes on.
            std::vector<char> out;
            const std::vector<Entry> all = entries();
            for (std::size_t index = in.offset; index < all.size(); ++index) {
                const Entry& entry = all[index];
                const std::size_t size = FUSE_DIRENT_ALIGN(FUSE_NAME_OFFSET + entry.name.size());
                if (out.size() + size > in.size) break;
                std::vector<char> record(size, 0);
                fuse_dirent dirent{};
                dirent.ino = 1000 + index;
                dirent.off = index + 1;
                dirent.namelen = static_cast<std::uint32_t>(entry.name.size());
                dirent.type = entry.folder ? DT_DIR : DT_REG;
                std::memcpy(record.data(), &dirent, FUSE_NAME_OFFSET);
                std::memcpy(record.data() + FUSE_NAME_OFFSET, entry.name.data(), entry.name.size());
                out.insert(out.end(), record.begin(), record.end());
            }
            reply(header.unique, 0, out.data(), out.size());
            return true;
        }
        case FUSE_RELEASEDIR:
            reply(header.unique, 0);
            return true;
        case FUSE_FORGET:
        case FUSE_BATCH_FORGET:
        case FUSE_INTERRUPT:
            // These take no answer.
            return true;
        case FUSE_DESTROY:
            reply(header.unique, 0);
            return false;
        default:
            reply(header.unique, -ENOSYS);
            return true;
    }
}

void EndlessMedium::reply(std::uint64_t unique, int error, const void* payload, std::size_t size) {
    std::vector<char> out(sizeof(fuse_out_header) + size);
    fuse_out_header header{};
    header.len = static_cast<std::uint32_t>(out.size());
    header.error = error;
    header.unique = unique;
    std::memcpy(out.data(), &header, sizeof header);
    if (size != 0) std::memcpy(out.data() + sizeof header, payload, size);
    // A request its caller took back takes no answer: the device refuses it, and that is no fault.
    [[maybe_unused]] const ssize_t written = ::write(device_, out.data(), out.size());
}

}  // namespace test
