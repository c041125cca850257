#pragma once
// The images of one firmware file: a single image, or a collection file ("KORVA_FC") of
// several, kept in file order. A device takes them from the front, one per update step.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devicelink/IFirmware.h"

namespace device {

class FirmwareCollection : public IFirmwareCollection {
public:
    // The images of a file; with `force` the whole file as one image taken without any test.
    // Throws the refusals of open.
    static std::shared_ptr<FirmwareCollection> fromFile(const std::string& bytes, bool force);

    // Appends the images of a file's bytes. exception::UserResponse "incorrectFirmware" for a
    // file shorter than 32 KiB, of no known format, whose size table does not fit the file, or
    // whose checksum is wrong.
    void open(const std::string& data);
    // Appends a valid image and counts it; anything else is logged and skipped.
    void push(const std::shared_ptr<IFirmware>& image);

    std::shared_ptr<IFirmware> front() override;
    void popFront() override;
    std::vector<std::shared_ptr<IFirmware>> images() const override;
    bool empty() const override;
    std::size_t size() const override;
    std::uint32_t count() const override;
    void clear() override;

private:
    std::vector<std::shared_ptr<IFirmware>> images_;
    std::uint32_t count_ = 0;
};

}  // namespace device
