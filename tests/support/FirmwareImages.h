#pragma once
// Firmware files for tests and benchmarks, built as the formats lay them out.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/FirmwareModels.h"

namespace test {

// An image of the unified format for `model`, `size` bytes (at least the header's end and the
// trailer), with its version and build stamp and the checksum trailer. `twin` writes the twin
// signature; `trailer` false leaves the trailer wrong.
std::string unifiedImage(const device::FirmwareModel& model, std::size_t size, std::uint8_t major = 1,
                         std::uint8_t minor = 2, std::uint16_t revision = 3, std::uint64_t stamp = 17,
                         bool twin = false, bool trailer = true);
// An image of the first Vokar-A format: `size` bytes, marker 1, the two version numbers.
std::string firstVokarAImage(std::size_t size, std::uint8_t minor = 1, std::uint16_t revision = 72);
// An image of the second Vokar-A format with the given header fields and a right trailer.
std::string secondVokarAImage(std::size_t size, std::uint8_t major = 2, std::uint16_t revision = 5,
                              std::uint64_t stamp = 42, const std::string& signature = "KORVA_FW");
// A collection file of the images, with a right checksum unless `checksum` is false.
std::string collectionFile(const std::vector<std::string>& images, bool checksum = true);
// The row of the model table with that name.
const device::FirmwareModel& firmwareModel(const std::string& name);

}  // namespace test
