#pragma once
// What the line page shows of a loudspeaker's line-control module, decided without the window:
// the row of each end device, the buttons the module's state allows, the version line and the
// status text.

#include <cstdint>
#include <string>

#include "devicelink/Version.h"
#include "devices/LineControl.h"

namespace frm::line {

enum class Colour { green, red, yellow };

struct TipRow {
    std::wstring number;
    Colour numberColour = Colour::yellow;
    // Debug mode: the share of the two counters and the raw report.
    std::wstring share;
    Colour shareColour = Colour::red;
    std::wstring report;
    std::wstring name;
    // "Удалить" for a device in the line, else "Добавить".
    std::wstring button;
    bool buttonEnabled = false;
};
TipRow tipRow(const device::tip_device::TipDevice& device, bool powerSave);

struct Buttons {
    bool powerSaveEnabled = false;
    bool addAllEnabled = false;
    bool removeAllEnabled = false;
    bool rebootEnabled = false;
    bool rebootShown = false;
};
// `vokarB`: the loudspeaker is of the type the module's restart is offered for.
Buttons buttons(device::tip_device::LineControl::State state, std::uint32_t powerSaveMode, bool vokarB,
                bool debugMode);

std::wstring versionLine(const device::Version& version, const std::string& address);
std::wstring initialisation(std::uint32_t percent);
// The percent the status text shows: the module's, asked while it answers. One that left a query
// unanswered is asked nothing more: the page shows what it gave last.
std::uint32_t initialisationProgress(device::tip_device::LineControl& module, bool answers);

}  // namespace frm::line
