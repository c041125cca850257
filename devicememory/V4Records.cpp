#include "devicememory/V4Records.h"

namespace device::v4::memory {
namespace {

// Reads and writes little-endian fields one after the other.
class Cursor {
public:
    explicit Cursor(const std::uint8_t* bytes) : in_(bytes) {}
    explicit Cursor(std::uint8_t* bytes) : in_(bytes), out_(bytes) {}

    std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
    std::int16_t i16() { return static_cast<std::int16_t>(take(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }

    Cursor& put(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) out_[at_++] = static_cast<std::uint8_t>(value >> (8 * i));
        return *this;
    }
    Cursor& put16(std::int32_t value) { return put(static_cast<std::uint32_t>(value), 2); }
    Cursor& put32(std::uint32_t value) { return put(value, 4); }

private:
    std::uint32_t take(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value |= static_cast<std::uint32_t>(in_[at_++]) << (8 * i);
        return value;
    }

    const std::uint8_t* in_;
    std::uint8_t* out_ = nullptr;
    std::uint32_t at_ = 0;
};

}  // namespace

Root Root::read(const std::uint8_t* bytes) {
    Cursor in(bytes);
    Root root;
    root.version = in.u16();
    root.fragmentTable = in.u32();
    root.fragmentCount = in.u16();
    root.scenarioTable = in.u32();
    root.scenarioCount = in.u16();
    root.nameTable = in.u32();
    root.nameCount = in.u16();
    root.checksum = in.u32();
    return root;
}

void Root::write(std::uint8_t* bytes) const {
    Cursor(bytes)
        .put16(version)
        .put32(fragmentTable)
        .put16(fragmentCount)
        .put32(scenarioTable)
        .put16(scenarioCount)
        .put32(nameTable)
        .put16(nameCount)
        .put32(checksum);
}

Fragment Fragment::read(const std::uint8_t* bytes) {
    Cursor in(bytes);
    Fragment fragment;
    fragment.id = in.i16();
    fragment.order = in.u16();
    fragment.address = in.u32();
    fragment.dataSize = in.u32();
    fragment.dataCrc = in.u32();
    fragment.nameId = in.i16();
    return fragment;
}

void Fragment::write(std::uint8_t* bytes) const {
    Cursor(bytes).put16(id).put16(order).put32(address).put32(dataSize).put32(dataCrc).put16(nameId);
}

Scenario Scenario::read(const std::uint8_t* bytes) {
    Cursor in(bytes);
    Scenario scenario;
    scenario.id = in.i16();
    scenario.order = in.u16();
    scenario.value = in.u16();
    scenario.gongId = in.i16();
    scenario.fragmentId = in.i16();
    scenario.repeatPeriod = in.u16();
    scenario.nameId = in.i16();
    return scenario;
}

void Scenario::write(std::uint8_t* bytes) const {
    Cursor(bytes)
        .put16(id)
        .put16(order)
        .put16(value)
        .put16(gongId)
        .put16(fragmentId)
        .put16(repeatPeriod)
        .put16(nameId);
}

Name Name::read(const std::uint8_t* bytes) {
    Cursor in(bytes);
    Name name;
    name.id = in.i16();
    name.address = in.u32();
    name.length = in.u32();
    return name;
}

void Name::write(std::uint8_t* bytes) const {
    Cursor(bytes).put16(id).put32(address).put32(length);
}

}  // namespace device::v4::memory
