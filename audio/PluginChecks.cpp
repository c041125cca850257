#include "audio/PluginChecks.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace audio {
namespace {

#if UINTPTR_MAX == UINT64_MAX
using Header = Elf64_Ehdr;
using ProgramHeader = Elf64_Phdr;
using SectionHeader = Elf64_Shdr;
constexpr unsigned char kClass = ELFCLASS64;
#else
using Header = Elf32_Ehdr;
using ProgramHeader = Elf32_Phdr;
using SectionHeader = Elf32_Shdr;
constexpr unsigned char kClass = ELFCLASS32;
#endif
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned char kByteOrder = ELFDATA2LSB;
#else
constexpr unsigned char kByteOrder = ELFDATA2MSB;
#endif

constexpr const char* kNotRegular = "не обычный файл";
constexpr const char* kDamaged = "файл повреждён: его части выходят за конец файла";

bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

class File {
public:
    explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~File() {
        if (fd_ >= 0) ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool open() const { return fd_ >= 0; }
    bool regular(std::uint64_t& size) const {
        struct stat status;
        if (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) return false;
        size = static_cast<std::uint64_t>(status.st_size);
        return true;
    }
    // Callers check first that the bytes lie within the file.
    bool read(std::uint64_t offset, void* data, std::size_t length) const {
        auto* at = static_cast<char*>(data);
        while (length > 0) {
            const ssize_t got = ::pread(fd_, at, length, static_cast<off_t>(offset));
            if (got <= 0) return false;
            at += got;
            offset += static_cast<std::uint64_t>(got);
            length -= static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int fd_;
};

}  // namespace

std::optional<std::string> elfLayoutRefusal(const std::string& path) {
    // Asked before it is opened: opening a device or a FIFO may wait, or do something of its own.
    struct stat status;
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return std::string(kNotRegular);
    const File file(path);
    if (!file.open()) return std::string("файл не открывается: ") + std::strerror(errno);
    std::uint64_t size = 0;
    if (!file.regular(size)) return std::string(kNotRegular);
    Header header;
    if (!within(0, sizeof header, size) || !file.read(0, &header, sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return std::string("не разделяемая библиотека ELF");
    if (header.e_ident[EI_CLASS] != kClass || header.e_ident[EI_DATA] != kByteOrder ||
        header.e_type != ET_DYN)
        return std::string("не разделяемая библиотека этой системы");

    if (header.e_phentsize != sizeof(ProgramHeader) || header.e_phnum == 0 || header.e_phnum == PN_XNUM ||
        !within(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(ProgramHeader), size))
        return std::string(kDamaged);
    std::vector<ProgramHeader> segments(header.e_phnum);
    if (!file.read(header.e_phoff, segments.data(), segments.size() * sizeof(ProgramHeader)))
        return std::string(kDamaged);
    for (const ProgramHeader& segment : segments) {
        if (!within(segment.p_offset, segment.p_filesz, size)) return std::string(kDamaged);
        if (segment.p_type == PT_LOAD && segment.p_filesz > segment.p_memsz) return std::string(kDamaged);
    }

    if (header.e_shoff == 0) return std::nullopt;
    if (header.e_shentsize != sizeof(SectionHeader) || !within(header.e_shoff, sizeof(SectionHeader), size))
        return std::string(kDamaged);
    // With very many sections their number stands in the first section header.
    std::uint64_t count = header.e_shnum;
    if (count == 0) {
        SectionHeader first;
        if (!file.read(header.e_shoff, &first, sizeof first)) return std::string(kDamaged);
        count = first.sh_size;
    }
    if (count > size / sizeof(SectionHeader) || !within(header.e_shoff, count * sizeof(SectionHeader), size))
        return std::string(kDamaged);
    std::vector<SectionHeader> sections(count);
    if (!file.read(header.e_shoff, sections.data(), sections.size() * sizeof(SectionHeader)))
        return std::string(kDamaged);
    for (const SectionHeader& section : sections)
        if (section.sh_type != SHT_NOBITS && !within(section.sh_offset, section.sh_size, size))
            return std::string(kDamaged);
    return std::nullopt;
}

std::optional<std::string> interfaceRefusal(melvox_input_plugin_entry entry, const melvox_input_plugin* api) {
    if (entry == nullptr) return std::string("нет функции " MELVOX_INPUT_PLUGIN_ENTRY);
    if (api == nullptr || api->version != MELVOX_INPUT_PLUGIN_VERSION)
        return std::string("другая версия интерфейса");
    const bool complete = api->description != nullptr && api->extensions != nullptr && api->init != nullptr &&
                          api->quit != nullptr && api->play != nullptr && api->stop != nullptr &&
                          api->pause != nullptr && api->get_length != nullptr && api->get_position != nullptr;
    if (!complete) return std::string("неполный интерфейс");
    return std::nullopt;
}

}  // namespace audio
