#pragma once
// What the device base needs of firmware: one image that can be written into a bound device
// block by block, and the collection of images of one update that a device works through,
// first to last. The image formats and the collection file live in devicememory/.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devicelink/Version.h"
#include "foundation/NetworkAddress.h"

namespace device {

class DeviceBase;
class TransferProtocol;

class IFirmware {
public:
    IFirmware() = default;
    IFirmware(const IFirmware&) = delete;
    IFirmware& operator=(const IFirmware&) = delete;
    virtual ~IFirmware() = default;

    // Replaces the image; false (and an empty image) when the bytes are not a valid image.
    virtual bool setData(const std::string& bytes) = 0;
    virtual bool isValid() = 0;
    virtual void clear() = 0;
    virtual std::uint32_t getSize() = 0;
    virtual std::uint32_t getChecksum() = 0;
    // All zero when the image is not valid.
    virtual Version getVersion() = 0;
    virtual std::string getData() = 0;
    // Queues the whole image for the bound device and returns; the progress (0..100, -1 after a
    // failure) comes later from the transport's completions.
    virtual bool upgrade(std::function<void(int)> progress) = 0;
    virtual std::int32_t getProgress() = 0;
    virtual std::wstring getModelName() = 0;
    // The commands of the format; an empty text means the format has no such step.
    virtual std::string getEraseCommand() = 0;
    virtual std::string getProgramCommand(std::uint32_t address, std::uint32_t length, const char* hex) = 0;
    virtual std::string getFinishCommand(std::uint32_t size) = 0;
    virtual std::string getMemorySizeCommand() = 0;
    // Ties the image to the device it will be written to.
    virtual void bind(const net::IpAndPort& address, std::shared_ptr<TransferProtocol> transport,
                      std::weak_ptr<DeviceBase> device) = 0;
};

// The images of one update. The device that holds it as its update queue takes them from the
// front and shortens it under its own lock; the count stays the size of the whole update.
class IFirmwareCollection {
public:
    virtual ~IFirmwareCollection() = default;
    // A copy of the first image's pointer; exception::ServerError when there is none.
    virtual std::shared_ptr<IFirmware> front() = 0;
    // Removes the first image; nothing on an empty collection.
    virtual void popFront() = 0;
    virtual std::vector<std::shared_ptr<IFirmware>> images() const = 0;
    virtual bool empty() const = 0;
    // How many images still wait.
    virtual std::size_t size() const = 0;
    // How many images the update had when it was filled.
    virtual std::uint32_t count() const = 0;
    // Drops every image still waiting.
    virtual void clear() = 0;
};

}  // namespace device
