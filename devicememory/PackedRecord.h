#pragma once
// Reading and writing of a flash record, the same for every layout: the record lists its fields
// in the order they lie in the flash, and each lies there little-endian, packed, as wide as its
// type. A record derives from PackedRecord<itself> and supplies
//
//     static constexpr std::uint32_t size = ...;  // bytes in the flash
//     template <class Record> static auto fields(Record& record) { return std::tie(record.a, ...); }
//
// `fields` also ties the same-named members of another record type, so a layout's record and
// the model's record convert into each other field by field (copyFields).

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

namespace device::memory {

template <class Record>
struct PackedRecord {
    // The record in the `Record::size` bytes at `bytes`.
    static Record read(const std::uint8_t* bytes) {
        static_assert(packedSize() == Record::size, "the fields must fill the record");
        Record record;
        std::apply([&bytes](auto&... field) { (take(bytes, field), ...); }, Record::fields(record));
        return record;
    }
    // Writes the `Record::size` bytes of the record to `bytes`.
    void write(std::uint8_t* bytes) const {
        static_assert(packedSize() == Record::size, "the fields must fill the record");
        std::apply([&bytes](const auto&... field) { (put(bytes, field), ...); },
                   Record::fields(static_cast<const Record&>(*this)));
    }

private:
    template <class... Fields>
    static constexpr std::size_t sizeOf(std::tuple<Fields...>*) {
        return (sizeof(Fields) + ... + 0);
    }
    static constexpr std::size_t packedSize() {
        return sizeOf(static_cast<decltype(Record::fields(std::declval<Record&>()))*>(nullptr));
    }

    template <class Field>
    static void take(const std::uint8_t*& bytes, Field& field) {
        static_assert(std::is_integral_v<Field> && sizeof(Field) <= 4,
                      "fields are integers of up to 4 bytes");
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < sizeof(Field); ++i) value |= std::uint32_t{bytes[i]} << (8 * i);
        field = static_cast<Field>(value);
        bytes += sizeof(Field);
    }
    template <class Field>
    static void put(std::uint8_t*& bytes, Field field) {
        const auto value = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Field>>(field));
        for (std::size_t i = 0; i < sizeof(Field); ++i)
            bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
        bytes += sizeof(Field);
    }
};

// A record of type To with the fields that Stored lists taken from `from`; the others as To
// starts them.
template <class Stored, class To, class From>
To copyFields(const From& from) {
    To to;
    Stored::fields(to) = Stored::fields(from);
    return to;
}

}  // namespace device::memory
