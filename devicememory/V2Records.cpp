#include "devicememory/V2Records.h"

#include "devicememory/RecordCursor.h"

namespace device::v2::memory {

using Cursor = device::memory::RecordCursor;

root_t root_t::read(const std::uint8_t* bytes) {
    Cursor in(bytes);
    root_t root;
    root.version = in.u8();
    root.fragmentTable = in.u32();
    root.fragmentCount = in.u16();
    root.scenarioTable = in.u32();
    root.scenarioCount = in.u16();
    root.nameTable = in.u32();
    root.nameCount = in.u16();
    return root;
}

void root_t::write(std::uint8_t* bytes) const {
    Cursor(bytes)
        .put8(version)
        .put32(fragmentTable)
        .put16(fragmentCount)
        .put32(scenarioTable)
        .put16(scenarioCount)
        .put32(nameTable)
        .put16(nameCount);
}

fragment_t fragment_t::read(const std::uint8_t* bytes) {
    Cursor in(bytes);
    fragment_t fragment;
    fragment.address = in.u32();
    fragment.dataSize = in.u32();
    fragment.nameId = in.i16();
    return fragment;
}

void fragment_t::write(std::uint8_t* bytes) const {
    Cursor(bytes).put32(address).put32(dataSize).put16(nameId);
}

scenario_t scenario_t::read(const std::uint8_t* bytes) {
    Cursor in(bytes);
    scenario_t scenario;
    scenario.value = in.u16();
    scenario.gongId = in.i16();
    scenario.fragmentId = in.i16();
    scenario.repeatPeriod = in.u16();
    scenario.nameId = in.i16();
    return scenario;
}

void scenario_t::write(std::uint8_t* bytes) const {
    Cursor(bytes).put16(value).put16(gongId).put16(fragmentId).put16(repeatPeriod).put16(nameId);
}

name_t name_t::read(const std::uint8_t* bytes) {
    Cursor in(bytes);
    name_t name;
    name.id = in.i16();
    name.length = in.u32();
    name.address = in.u32();
    return name;
}

void name_t::write(std::uint8_t* bytes) const {
    Cursor(bytes).put16(id).put32(length).put32(address);
}

}  // namespace device::v2::memory
