#pragma once
// Telling a firmware image from its bytes: the rows of the firmware model table first, then the
// two Vokar-A formats.

#include <memory>
#include <string>

#include "devicelink/IFirmware.h"

namespace device {

// The image the bytes are, or null when no format takes them.
std::shared_ptr<IFirmware> detectFirmware(const std::string& data);

}  // namespace device
