#pragma once
// What the main window's device list shows: one row per device the registry holds, in the order
// the window learnt of them, each made from a snapshot of the device's state. Lives on the GUI
// thread.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/ProgramTables.h"

namespace device {
class DeviceBase;
}

namespace frm {

// A device's state as the list shows it, read at one moment.
struct DeviceView {
    std::string hardwareAddress;  // "AA:BB:CC:DD:EE:FF"
    std::wstring name;
    std::string ip;           // empty while unknown
    std::string typeText;     // empty while unknown
    std::string versionText;  // the device's whole version text; empty while unknown
    bool console = false;
    bool online = false;
    bool responding = false;
    std::int32_t volume = 0;  // percent; device::kUnknownVolume while unknown

    static DeviceView of(device::DeviceBase& device);
};

class DeviceListModel {
public:
    enum Column { name, address, type, version, state, volume, columnCount };
    static const std::array<const wchar_t*, columnCount> columnTitles;

    struct Row {
        std::array<std::wstring, columnCount> texts;
        base::RgbColour colour;
        int image;  // the number of the window image (resources/ResourceTable)
    };

    static Row describe(const DeviceView& view);

    // Stores the device's new state; its row index, and whether the row is new.
    std::size_t update(const DeviceView& view, bool* inserted = nullptr);
    // Drops the row of the device (a hardware address text as DeviceView has it); the rows after
    // it move up one. The index it had, or nothing when it had none.
    std::optional<std::size_t> remove(const std::string& hardwareAddress);
    // The rows still chosen once row `removed` is gone, in their new places.
    static std::vector<std::size_t> chosenAfterRemoval(const std::vector<std::size_t>& chosen,
                                                       std::size_t removed);
    std::size_t size() const { return rows_.size(); }
    const Row& row(std::size_t index) const { return rows_.at(index); }
    // The hardware address of the row's device.
    const std::string& addressAt(std::size_t index) const { return addresses_.at(index); }

private:
    std::vector<Row> rows_;
    std::vector<std::string> addresses_;
    std::map<std::string, std::size_t> indexes_;
};

}  // namespace frm
