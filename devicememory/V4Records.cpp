#include "devicememory/V4Records.h"

#include "devicememory/RecordCursor.h"

namespace device::v4::memory {

using Cursor = device::memory::RecordCursor;

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
